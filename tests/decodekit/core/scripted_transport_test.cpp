// CVideoServer against scripted transports (no sockets): the control client
// answers every request at once with result 0; the stream client records what
// is sent on it and can refuse the bind.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "decodekit/core/video_server.h"
#include "linkcore/linkcore.h"
#include "zynvs/wire/codes.h"
#include "zynvs/wire/layouts.h"

namespace {
namespace wire = zyn::wire;
constexpr uint16_t kStreamKey = 0x4321;

struct Sent {
    uint16_t command;
    std::vector<uint8_t> payload;
};

class ScriptedClient : public CClient {
public:
    ScriptedClient(zyn::Link link, bool refuse_bind) : link_(link), refuse_bind_(refuse_bind) {}
    int IsConnected() override { return open_; }
    int Open(const char*, uint16_t) override { return open_ = 1; }
    void Close() override {
        open_ = 0;
        ++closes;
    }
    int SendMessage(uint16_t command, uint16_t, const void* payload, uint16_t length) override {
        const auto* p = static_cast<const uint8_t*>(payload);
        sent.push_back({command, std::vector<uint8_t>(p, p + length)});
        if (link_ == zyn::Link::kStream)
            return command == ZYN_CMD_STREAM_BIND && refuse_bind_ ? -1 : 8 + length;
        // The device's answer: result 0, the stream key as the second word.
        std::vector<uint8_t> reply(4 + 504, 0);
        wire::MutableReply(reply.data()).set_word(kStreamKey);
        const uint16_t code = command == ZYN_CMD_LOGIN ? wire::kLoginReply : wire::ReplyTo(command);
        callback_(0, id_, code, 0, reply.data(), static_cast<uint16_t>(reply.size()), user_);
        return 8 + length;
    }
    void RegisterCallback(int id, LinkCallback callback, void* user) override {
        id_ = id;
        callback_ = callback;
        user_ = user;
    }
    void SetConnectTimeout(int) override {}
    uint16_t LocalPort() override { return 0; }

    std::vector<Sent> sent;
    int closes = 0;

private:
    const zyn::Link link_;
    const bool refuse_bind_;
    int open_ = 0;
    int id_ = 0;
    LinkCallback callback_ = nullptr;
    void* user_ = nullptr;
};

TEST(ScriptedTransport, StreamBindCarriesTheKeyAndAFailedBindClosesTheStream) {
    for (const bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "bind refused" : "bind sent");
        ScriptedClient* stream = nullptr;
        CVideoServer dev(nullptr, 4, [&](zyn::Link link, int) {
            auto c = std::make_unique<ScriptedClient>(link, refuse);
            if (link == zyn::Link::kStream) stream = c.get();
            return c;
        });
        DeviceLoginInfo rec{};
        rec.device_id = 5;
        rec.channel_count = 4;
        std::strcpy(rec.control_address, "127.0.0.1");
        ASSERT_EQ(dev.Login(&rec), 1);
        ClientInfo ci{};
        ci.channel = 2;
        ASSERT_EQ(dev.RealPlayData(&ci), 1);
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(stream->sent.size(), 1u);
        EXPECT_EQ(stream->sent[0].command, ZYN_CMD_STREAM_BIND);
        EXPECT_EQ(stream->sent[0].payload, (std::vector<uint8_t>{0x21, 0x43, 0, 0}));
        EXPECT_EQ(stream->closes, refuse ? 1 : 0);
        EXPECT_EQ(stream->IsConnected(), refuse ? 0 : 1);
    }
}
}  // namespace
