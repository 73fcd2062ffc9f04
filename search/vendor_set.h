// The makers' libraries, loaded once by name, with every call the tool makes
// resolved. A library that is missing (or lacks a call) leaves its pointers
// null: that maker contributes nothing.
#pragma once

#include <memory>

#include "vendors/cam_search.h"
#include "vendors/i8_netsdk.h"
#include "vendors/js_net_protocol.h"
#include "vendors/loader.h"
#include "vendors/net_sdk.h"

namespace zynsearch {

struct VendorSet {
    static std::shared_ptr<VendorSet> Load();

    std::shared_ptr<vendors::VendorLibrary> i8_lib, cam_lib, net_client_lib, net_sdk_lib, js_lib,
        js_dec_lib;

    I8_NET_DVR_Init_t i8_init = nullptr;
    I8_NET_DVR_Cleanup_t i8_cleanup = nullptr;
    I8_NET_DVR_StartDiscoveryIPC_t i8_start_discovery = nullptr;
    I8_NET_DVR_StopDiscoveryIPC_t i8_stop_discovery = nullptr;
    I8_NET_DVR_SetDiscoveryCallBack_t i8_set_discovery_callback = nullptr;
    I8_NET_DVR_ModifyIPC_t i8_modify = nullptr;
    I8_NET_DVR_Login_t i8_login = nullptr;
    I8_NET_DVR_Logout_t i8_logout = nullptr;
    I8_NET_DVR_RebootDVR_t i8_reboot = nullptr;
    I8_NET_DVR_RestoreConfig_t i8_restore = nullptr;
    I8_NET_DVR_Upgrade_t i8_upgrade = nullptr;
    I8_NET_DVR_GetUpgradeProgress_t i8_upgrade_progress = nullptr;
    I8_NET_DVR_GetUpgradeState_t i8_upgrade_state = nullptr;
    I8_NET_DVR_CloseUpgradeHandle_t i8_close_upgrade = nullptr;

    CamSearch_Ord1_t cam_init = nullptr;
    CamSearch_Ord2_t cam_cleanup = nullptr;
    CamSearch_Ord3_t cam_prepare = nullptr;
    CamSearch_Ord4_t cam_search = nullptr;
    CamSearch_Ord5_t cam_modify = nullptr;
    NetClient_Ord35_t nc_upgrade = nullptr;
    NetClient_Ord36_t nc_upgrade_result = nullptr;
    NetClient_Ord37_t nc_reboot = nullptr;
    NetClient_Ord53_t nc_restore = nullptr;

    NetSDK_Ord1_t ns_init = nullptr;
    NetSDK_Ord2_t ns_cleanup = nullptr;
    NetSDK_Ord5_t ns_login = nullptr;
    NetSDK_Ord7_t ns_logout = nullptr;
    NetSDK_Ord12_t ns_restore = nullptr;
    NetSDK_Ord13_t ns_set_network = nullptr;
    NetSDK_Ord34_t ns_upgrade = nullptr;
    NetSDK_Ord39_t ns_reboot = nullptr;
    NetSDK_Ord40_t ns_search = nullptr;

    JSNetProtocol_Ord2_t js_init = nullptr;
    JSNetProtocol_Ord3_t js_cleanup = nullptr;
    JSNetProtocol_Ord5_t js_login = nullptr;
    JSNetProtocol_Ord6_t js_logout = nullptr;
    JSNetProtocol_Ord24_t js_search = nullptr;
    JSNetProtocol_Ord44_t js_get_network = nullptr;
    JSNetProtocol_Ord45_t js_set_network = nullptr;
    JSNetProtocol_Ord50_t js_restore = nullptr;
    JSNetProtocol_Ord51_t js_reboot = nullptr;
    JSNetProtocol_Ord65_t js_upgrade_start = nullptr;
    JSNetProtocol_Ord87_t js_upgrade_wait = nullptr;
    JSDec_Ord3_t js_dec_cleanup = nullptr;
};

}  // namespace zynsearch
