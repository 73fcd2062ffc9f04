#include "decodekit/core/services.h"

#include <memory>
#include <new>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/ctrl_server.h"
#include "decodekit/core/media_server.h"
#include "decodekit/core/party_clients.h"
#include "decodekit/core/play_back.h"

namespace zyn::platform {
namespace {
template <typename Service>
std::shared_ptr<Service> Make(CDeviceManage& registry, int kind) {
    try {
        return std::make_shared<Service>(&registry, kind);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::shared_ptr<CVexora> Encoder(CDeviceManage& registry, int id) {
    auto dev = registry.Find(id);
    if (!dev || dev->GetType() != kTypeVexora) return nullptr;
    return std::static_pointer_cast<CVexora>(dev);
}
}  // namespace

int StartCtrlService(CDeviceManage& registry, uint16_t port, uint16_t second, int kind) {
    auto service = Make<CCtrlServer>(registry, kind);
    if (!service) return 0;
    // A service still running is closed when the new one replaces it.
    registry.ExchangeCtrlService(service).reset();
    std::weak_ptr<CCtrlServer> weak = service;
    registry.SetTickHook([weak] {
        if (auto s = weak.lock()) s->Tick();
    });
    return service->Start(port, second);
}

int StopCtrlService(CDeviceManage& registry) {
    auto service = registry.ExchangeCtrlService(nullptr);
    if (!service) return 0;
    registry.SetTickHook(nullptr);
    return service->Stop();
}

int StartMediaService(CDeviceManage& registry, uint16_t port, uint16_t second, int kind) {
    auto service = Make<CMediaServer>(registry, kind);
    if (!service) return 0;
    registry.ExchangeMediaService(service);
    return service->Start(port, second);
}

int StopMediaService(CDeviceManage& registry) {
    auto service = registry.ExchangeMediaService(nullptr);
    if (!service) return 0;
    return service->Stop();
}

int AddTransDevice(CDeviceManage& registry, int encoder_id, int channel, int other_id) {
    auto encoder = Encoder(registry, encoder_id);
    auto other = registry.Find(other_id);
    if (!encoder || !other) return 0;
    // Only parties can receive a stream; any other registered id changes nothing.
    encoder->Subscribe(channel, std::dynamic_pointer_cast<CPlatformParty>(other));
    return 1;
}

int DeleteTransDevice(CDeviceManage& registry, int encoder_id, int channel, int other_id) {
    auto encoder = Encoder(registry, encoder_id);
    auto other = registry.Find(other_id);
    if (!encoder || !other) return 0;
    encoder->Unsubscribe(channel, dynamic_cast<CPlatformParty*>(other.get()));
    return 1;
}

int SetDevChanName(CDeviceManage& registry, int encoder_id, int channel, const char* name) {
    auto encoder = Encoder(registry, encoder_id);
    return encoder ? encoder->SetChannelName(channel, name) : 0;
}
}  // namespace zyn::platform

namespace zyn::platform {
int StartPlayBackService(CDeviceManage& registry, uint16_t port, ZYNVS_WND window) {
    auto service = registry.PlayBackService();
    if (!service) {
        try {
            service = std::make_shared<CPlayBack>(&registry);
        } catch (const std::bad_alloc&) {
            return 0;
        }
        registry.ExchangePlayBackService(service);
    }
    // The port of a later call is ignored; the window moves.
    service->Start(port, window);
    return 1;
}

int StopPlayBackService(CDeviceManage& registry) {
    auto service = registry.ExchangePlayBackService(nullptr);
    if (!service) return 0;
    return service->StopAll();
}
}  // namespace zyn::platform
