#include "search/vendor_set.h"

namespace zynsearch {

std::shared_ptr<VendorSet> VendorSet::Load() {
    auto v = std::make_shared<VendorSet>();
    if ((v->i8_lib = vendors::VendorLibrary::Open("I8_NetSDK"))) {
        auto& l = *v->i8_lib;
        l.Get("I8_NET_DVR_Init", &v->i8_init);
        l.Get("I8_NET_DVR_Cleanup", &v->i8_cleanup);
        l.Get("I8_NET_DVR_StartDiscoveryIPC", &v->i8_start_discovery);
        l.Get("I8_NET_DVR_StopDiscoveryIPC", &v->i8_stop_discovery);
        l.Get("I8_NET_DVR_SetDiscoveryCallBack", &v->i8_set_discovery_callback);
        l.Get("I8_NET_DVR_ModifyIPC", &v->i8_modify);
        l.Get("I8_NET_DVR_Login", &v->i8_login);
        l.Get("I8_NET_DVR_Logout", &v->i8_logout);
        l.Get("I8_NET_DVR_RebootDVR", &v->i8_reboot);
        l.Get("I8_NET_DVR_RestoreConfig", &v->i8_restore);
        l.Get("I8_NET_DVR_Upgrade", &v->i8_upgrade);
        l.Get("I8_NET_DVR_GetUpgradeProgress", &v->i8_upgrade_progress);
        l.Get("I8_NET_DVR_GetUpgradeState", &v->i8_upgrade_state);
        l.Get("I8_NET_DVR_CloseUpgradeHandle", &v->i8_close_upgrade);
    }
    if ((v->cam_lib = vendors::VendorLibrary::Open("CamSearch"))) {
        auto& l = *v->cam_lib;
        l.Get("CamSearch_Ord1", &v->cam_init);
        l.Get("CamSearch_Ord2", &v->cam_cleanup);
        l.Get("CamSearch_Ord3", &v->cam_prepare);
        l.Get("CamSearch_Ord4", &v->cam_search);
        l.Get("CamSearch_Ord5", &v->cam_modify);
    }
    if ((v->net_client_lib = vendors::VendorLibrary::Open("NetClient"))) {
        auto& l = *v->net_client_lib;
        l.Get("NetClient_Ord35", &v->nc_upgrade);
        l.Get("NetClient_Ord36", &v->nc_upgrade_result);
        l.Get("NetClient_Ord37", &v->nc_reboot);
        l.Get("NetClient_Ord53", &v->nc_restore);
    }
    if ((v->net_sdk_lib = vendors::VendorLibrary::Open("NetSDK"))) {
        auto& l = *v->net_sdk_lib;
        l.Get("NetSDK_Ord1", &v->ns_init);
        l.Get("NetSDK_Ord2", &v->ns_cleanup);
        l.Get("NetSDK_Ord5", &v->ns_login);
        l.Get("NetSDK_Ord7", &v->ns_logout);
        l.Get("NetSDK_Ord12", &v->ns_restore);
        l.Get("NetSDK_Ord13", &v->ns_set_network);
        l.Get("NetSDK_Ord34", &v->ns_upgrade);
        l.Get("NetSDK_Ord39", &v->ns_reboot);
        l.Get("NetSDK_Ord40", &v->ns_search);
    }
    if ((v->js_lib = vendors::VendorLibrary::Open("JSNetProtocol"))) {
        auto& l = *v->js_lib;
        l.Get("JSNetProtocol_Ord2", &v->js_init);
        l.Get("JSNetProtocol_Ord3", &v->js_cleanup);
        l.Get("JSNetProtocol_Ord5", &v->js_login);
        l.Get("JSNetProtocol_Ord6", &v->js_logout);
        l.Get("JSNetProtocol_Ord24", &v->js_search);
        l.Get("JSNetProtocol_Ord44", &v->js_get_network);
        l.Get("JSNetProtocol_Ord45", &v->js_set_network);
        l.Get("JSNetProtocol_Ord50", &v->js_restore);
        l.Get("JSNetProtocol_Ord51", &v->js_reboot);
        l.Get("JSNetProtocol_Ord65", &v->js_upgrade_start);
        l.Get("JSNetProtocol_Ord87", &v->js_upgrade_wait);
    }
    if ((v->js_dec_lib = vendors::VendorLibrary::Open("JSDec")))
        v->js_dec_lib->Get("JSDec_Ord3", &v->js_dec_cleanup);
    return v;
}

}  // namespace zynsearch
