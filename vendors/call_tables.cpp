// Resolves the call tables of the configuration control's vendor libraries.
#include "vendors/ants_net_sdk.h"
#include "vendors/loader.h"
#include "vendors/net_client.h"
#include "vendors/qv_player.h"

namespace vendors {

namespace {
// Loads `library` once and fills a T with its calls (nullptr when missing).
template <typename T, typename Fill>
std::shared_ptr<const T> LoadTable(const char* library, Fill fill) {
    auto lib = VendorLibrary::Open(library);
    if (!lib) return nullptr;
    auto table = std::make_shared<T>();
    fill(*lib, *table);
    return table;
}
}  // namespace

std::shared_ptr<const AntsNetSdk> AntsNetSdk::Load() {
    static const auto table =
        LoadTable<AntsNetSdk>("AntsNetSDK", [](VendorLibrary& l, AntsNetSdk& t) {
#define ANTS_RESOLVE(ret, name, args) l.Get(#name, &t.name);
            ANTS_NET_SDK_CALLS(ANTS_RESOLVE)
#undef ANTS_RESOLVE
        });
    return table;
}

std::shared_ptr<const NetClientLib> NetClientLib::Load() {
    static const auto table =
        LoadTable<NetClientLib>("NetClient", [](VendorLibrary& l, NetClientLib& t) {
#define NET_CLIENT_RESOLVE(ret, name, args) l.Get(#name, &t.name);
            NET_CLIENT_CALLS(NET_CLIENT_RESOLVE)
#undef NET_CLIENT_RESOLVE
        });
    return table;
}

std::shared_ptr<const QvPlayerLib> QvPlayerLib::Load() {
    static const auto table =
        LoadTable<QvPlayerLib>("QVPlayer", [](VendorLibrary& l, QvPlayerLib& t) {
#define QV_PLAYER_RESOLVE(ret, name, args) l.Get(#name, &t.name);
            QV_PLAYER_CALLS(QV_PLAYER_RESOLVE)
#undef QV_PLAYER_RESOLVE
        });
    return table;
}

}  // namespace vendors
