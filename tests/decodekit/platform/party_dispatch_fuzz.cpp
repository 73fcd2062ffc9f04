// Random message sequences through the control, media and playback dispatch:
// nothing may crash, hang or write out of bounds (run it under the sanitizers
// with -DZYNVS_SANITIZE=ON, or as a libFuzzer target with -DZYNVS_FUZZ=ON).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "decodekit/core/device_manage.h"
#include "decodekit/core/ctrl_server.h"
#include "decodekit/core/media_server.h"
#include "decodekit/core/party_clients.h"
#include "decodekit/core/play_back.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace {
namespace wire = zyn::wire;

struct World {
    World() {
        CDeviceManage::Options options;
        options.tick_ms = 60000;
        options.query_screen_saver = false;
        registry = std::make_unique<CDeviceManage>(options);
        const int kinds[][2] = {{1, 0}, {2, 1}, {10, 2}, {11, 4}, {30, 3}};
        for (auto& k : kinds) {
            DeviceLoginInfo r{};
            r.device_id = k[0];
            r.device_kind = k[1];
            r.channel_count = 4;
            std::strcpy(r.user_name, "u");
            std::strcpy(r.password, "p");
            registry->AddDevice(&r);
        }
        ctrl = std::make_shared<CCtrlServer>(registry.get(), 0);
        media = std::make_shared<CMediaServer>(registry.get(), 0);
        playback = std::make_shared<CPlayBack>(registry.get());
    }
    std::unique_ptr<CDeviceManage> registry;
    std::shared_ptr<CCtrlServer> ctrl;
    std::shared_ptr<CMediaServer> media;
    std::shared_ptr<CPlayBack> playback;
};

// One message: target, connection, command, word, body.
void Feed(World& w, uint8_t target, int connection, uint16_t command, uint16_t word,
          const uint8_t* body, std::size_t length) {
    switch (target % 4) {
        case 0:
        case 1:
            w.ctrl->Dispatch(connection, command, word, body, length);
            break;
        case 2:
            w.media->Dispatch(connection, command, word, body, length);
            break;
        default:
            w.playback->Dispatch(connection, command, word, body, length);
            break;
    }
}

// Input: records of [target][connection][command 2][word 2][length 2][body].
void Run(World& w, const uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    while (at + 8 <= size) {
        const uint8_t target = data[at], connection = data[at + 1] % 6;
        const uint16_t command = wire::LoadLe16(data + at + 2);
        const uint16_t word = wire::LoadLe16(data + at + 4);
        std::size_t length = wire::LoadLe16(data + at + 6);
        at += 8;
        length = std::min(length, size - at);
        Feed(w, target, connection, command, word, data + at, length);
        at += length;
    }
    for (auto& dev : w.registry->Snapshot()) dev->KeepAlive();
    w.ctrl->Tick();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    Run(world, data, size);
    return 0;
}

#ifndef ZYNVS_LIBFUZZER
int main(int argc, char** argv) {
    const long rounds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2000;
    World world;
    std::mt19937 rng(20261208u);
    const uint16_t commands[] = {
        ZYN_CMD_SERVER_ACCEPTED, ZYN_CMD_SERVER_CLOSED, ZYN_CMD_LOGIN,          ZYN_CMD_LOGOUT,
        ZYN_CMD_KEEPALIVE,       ZYN_CMD_DEVICE_LIST,   ZYN_CMD_STREAM_REQUEST, ZYN_CMD_STREAM_BIND,
        ZYN_CMD_VIDEO_FRAGMENT,  ZYN_CMD_AUDIO_BLOCK,   wire::kStreamReply,     ZYN_CMD_PTZ,
        ZYN_CMD_ENCODER_NOTICE};
    const uint32_t ids[] = {1, 2, 10, 11, 30, 99};
    for (long round = 0; round < rounds; ++round) {
        std::vector<uint8_t> input;
        for (int m = static_cast<int>(rng() % 12); m > 0; --m) {
            const uint16_t command =
                rng() % 8 ? commands[rng() % std::size(commands)] : static_cast<uint16_t>(rng());
            std::vector<uint8_t> body(rng() % 4 ? rng() % 64 : rng() % 2100);
            for (auto& b : body) b = static_cast<uint8_t>(rng() % 3 ? rng() % 8 : rng());
            if (command == ZYN_CMD_LOGIN && body.size() >= 40 && rng() % 2) {
                // A well-formed login now and then, so parties come online.
                std::fill(body.begin(), body.end(), 0);
                const uint32_t id = ids[rng() % std::size(ids)];
                wire::MutableLoginRequest login(body.data());
                login.set_device_id(id);
                login.set_channel_count(static_cast<uint8_t>(rng() % 6));
                login.set_client_kind(static_cast<uint8_t>(rng() % 6));
                login.account()[0] = 'u';
                login.account()[8] = 'p';
            }
            if ((command == ZYN_CMD_STREAM_REQUEST || command == ZYN_CMD_STREAM_BIND) &&
                body.size() >= 8)
                wire::StoreLe32(body.data() + (command == ZYN_CMD_STREAM_BIND ? 0 : 4),
                                ids[rng() % std::size(ids)]);
            const std::size_t head = input.size();
            input.resize(head + 8);
            input[head] = static_cast<uint8_t>(rng());
            input[head + 1] = static_cast<uint8_t>(rng());
            wire::StoreLe16(input.data() + head + 2, command);
            wire::StoreLe16(input.data() + head + 4,
                            static_cast<uint16_t>(rng() % 4 ? rng() % 4 : rng()));
            wire::StoreLe16(input.data() + head + 6, static_cast<uint16_t>(body.size()));
            input.insert(input.end(), body.begin(), body.end());
        }
        Run(world, input.data(), input.size());
    }
    std::printf("party dispatch fuzz: %ld rounds\n", rounds);
    return 0;
}
#endif
