#include "playctrl/hi264_decoder.h"

#include <atomic>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {
std::atomic<int> g_live{0};
std::atomic<int> g_fail_next{0};

struct Hi264Instance {
    AVCodecContext* context = nullptr;
};

// Largest picture the instance is opened for (macroblocks per side).
constexpr uint32_t kMaxSideMb = 512;
}  // namespace

Hi264DecHandle Hi264DecCreate(const Hi264DecAttr* attr) {
    if (attr == nullptr || attr->picture_width_mb == 0 || attr->picture_height_mb == 0 ||
        attr->picture_width_mb > kMaxSideMb || attr->picture_height_mb > kMaxSideMb) {
        return nullptr;
    }
    for (int n = g_fail_next.load(); n > 0;) {
        if (g_fail_next.compare_exchange_weak(n, n - 1)) return nullptr;
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (codec == nullptr) return nullptr;
    auto* instance = new (std::nothrow) Hi264Instance;
    if (instance == nullptr) return nullptr;
    instance->context = avcodec_alloc_context3(codec);
    if (instance->context == nullptr) {
        delete instance;
        return nullptr;
    }
    AVCodecContext* c = instance->context;
    c->width = static_cast<int>(attr->picture_width_mb * 16);
    c->height = static_cast<int>(attr->picture_height_mb * 16);
    c->thread_count = 1;
    c->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (avcodec_open2(c, codec, nullptr) < 0) {
        avcodec_free_context(&instance->context);
        delete instance;
        return nullptr;
    }
    ++g_live;
    return instance;
}

void Hi264DecDestroy(Hi264DecHandle handle) {
    if (handle == nullptr) return;
    auto* instance = static_cast<Hi264Instance*>(handle);
    avcodec_free_context(&instance->context);
    delete instance;
    --g_live;
}

namespace playctrl {
Hi264DecAttr StreamPortDecoderAttr() {
    Hi264DecAttr a;
    a.picture_format = 0;
    a.stream_input_type = 0;
    a.picture_width_mb = 90;
    a.picture_height_mb = 72;
    a.buffer_count = 10;
    a.work_mode = 1;
    a.user_data = 0;
    a.reserved = 0;
    return a;
}
int Hi264DecLiveInstances() {
    return g_live.load();
}
void Hi264DecFailNextCreates(int count) {
    g_fail_next = count;
}
}  // namespace playctrl
