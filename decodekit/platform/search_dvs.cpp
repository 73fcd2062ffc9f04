#include "decodekit/platform/search_dvs.h"

#include "decodekit/platform/message_box.h"
#include "decodekit/platform/message_language.h"
#include "zynvs/wire/byte_order.h"
#include "zynvs/zynvs_commands.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

namespace decodekit {
namespace {

using zyn::wire::StoreLe16;
using zyn::wire::StoreLe32;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

SearchDatagram ParseSearchDatagram(const uint8_t* data, std::size_t length, CPacket& packet) {
    uint16_t command = 0, second_word = 0, n = 0;
    const uint8_t* payload = packet.Parse(data, length, &command, &second_word, &n);
    return {command, n, payload};
}

uint32_t SearchAddressNumber(const char* text, std::size_t max_chars) {
    if (!text) return 0xFFFFFFFFu;
    const std::string s(text, strnlen(text, max_chars));
    const in_addr_t a = inet_addr(s.c_str());
    if (a == INADDR_NONE) return 0xFFFFFFFFu;
    return ntohl(a);
}

std::array<uint8_t, 6> ParseSearchMac(const char (&mac)[20]) {
    std::array<uint8_t, 6> out{};
    const std::size_t end = strnlen(mac, sizeof mac);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::size_t at = 3 * i;
        if (at >= end) continue;  // no character: 0
        const int high = hex_value(mac[at]);
        if (high < 0) continue;
        if (at + 1 >= end) {  // the text ends inside the pair
            out[i] = static_cast<uint8_t>(high);
            continue;
        }
        const int low = hex_value(mac[at + 1]);
        if (low < 0) continue;
        out[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return out;
}

NetParaBlock BuildNetParaBlock(const ModifyNetParaRecord& record) {
    NetParaBlock block{};
    std::memcpy(block.data(), record.text_d, strnlen(record.text_d, 20));
    block[20] = 0;
    block[21] = record.byte_b;
    StoreLe16(&block[22], record.word_w);
    StoreLe32(&block[24], SearchAddressNumber(record.ip_address, sizeof record.ip_address));
    StoreLe32(&block[28], SearchAddressNumber(record.subnet_mask, sizeof record.subnet_mask));
    StoreLe32(&block[32], SearchAddressNumber(record.gateway, sizeof record.gateway));
    const uint16_t port = record.port;
    StoreLe16(&block[36], port);
    StoreLe16(&block[38], port);
    StoreLe16(&block[46], port);
    const auto mac = ParseSearchMac(record.mac);
    std::memcpy(&block[40], mac.data(), mac.size());
    std::memcpy(&block[48], record.text_e, strnlen(record.text_e, sizeof record.text_e));
    return block;
}

}  // namespace decodekit

using namespace decodekit;

struct CSearchDVS::ThreadControl {
    std::atomic<int> stop{0};  // 1 tells the receive thread to end, or says it has ended
    std::mutex mutex;
    std::condition_variable exited_cv;
    bool exited = false;  // guarded by mutex
};

CSearchDVS::CSearchDVS() : slot_(std::make_shared<CallbackSlot>()) {}

CSearchDVS::~CSearchDVS() {
    Stop();
}

void CSearchDVS::SetCallback(SearchCallback callback, void* user) {
    slot_->Set(callback, user);
}

int CSearchDVS::Open() {
    if (open_.load()) return 1;
    std::unique_lock life(life_mutex_, std::defer_lock);
    if (receive_thread_id_.load() == std::this_thread::get_id()) {
        if (!life.try_lock()) return 0;  // another thread is stopping this search
    } else {
        life.lock();
    }
    if (open_.load()) return 1;

    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    const int ttl = kSearchTtl;
    const int loop = 1;
    if (setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) != 0) {
        close(fd);
        return 0;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kSearchReplyPort);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        close(fd);
        life.unlock();  // the box may block until a user answers it
        LoadMessageLanguage();
        const std::string text = LookupTranslation(
            "Binding fails, turn off the search tool, and make sure your network adapter is "
            "working");
        show_message_box(text.c_str(), "SearchDVS");
        return 0;
    }
    ip_mreq membership{};
    membership.imr_multiaddr.s_addr = inet_addr(kSearchGroup);
    membership.imr_interface.s_addr = htonl(INADDR_ANY);
    if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
        close(fd);
        life.unlock();
        LoadMessageLanguage();
        char text[64];
        std::snprintf(text, sizeof text, "add multicast(%s) failure", kSearchGroup);
        const std::string caption = LookupTranslation("SearchDVS");
        show_message_box(text, caption.c_str());
        return 0;
    }

    auto control = std::make_shared<ThreadControl>();
    {
        std::lock_guard send(send_mutex_);
        socket_ = fd;
    }
    try {
        receive_thread_ = std::thread(&CSearchDVS::ReceiveLoop, slot_, control, fd);
    } catch (const std::system_error&) {
        {
            std::lock_guard send(send_mutex_);
            socket_ = -1;
        }
        close(fd);
        return 0;
    }
    receive_thread_id_.store(receive_thread_.get_id());
    control_ = std::move(control);
    open_.store(1);
    return 1;
}

int CSearchDVS::Stop() {
    const bool on_receive_thread = receive_thread_id_.load() == std::this_thread::get_id();
    std::unique_lock life(life_mutex_, std::defer_lock);
    if (on_receive_thread) {
        // Called from the callback while another thread stops or opens: that
        // thread finishes the job; this thread ends when the callback returns.
        if (!life.try_lock()) return 1;
    } else {
        life.lock();
    }
    int fd;
    {
        std::lock_guard send(send_mutex_);
        fd = socket_;
        socket_ = -1;
    }
    if (control_) control_->stop.store(1);
    // Wakes the blocked receive (it returns 0); the descriptor is closed only
    // after the thread is gone so its number cannot be reused under it.
    if (fd >= 0) shutdown(fd, SHUT_RDWR);
    if (receive_thread_.joinable()) {
        if (on_receive_thread) {
            receive_thread_.detach();  // it sees the stop flag once the callback returns
        } else {
            {
                std::unique_lock lock(control_->mutex);
                control_->exited_cv.wait_for(lock, std::chrono::milliseconds(kSearchStopWaitMs),
                                             [&] { return control_->exited; });
            }
            // Normally gone by now. A callback that is still running is waited
            // for: threads are never killed.
            receive_thread_.join();
        }
    }
    receive_thread_id_.store(std::thread::id());
    if (fd >= 0) close(fd);
    open_.store(0);
    return 1;
}

void CSearchDVS::ReceiveLoop(std::shared_ptr<CallbackSlot> slot,
                             std::shared_ptr<ThreadControl> control, int fd) {
    CPacket packet;
    uint8_t datagram[kSearchReceiveBytes];
    while (control->stop.load() == 0) {
        std::memset(datagram, 0, sizeof datagram);
        const ssize_t n = recvfrom(fd, datagram, sizeof datagram, 0, nullptr, nullptr);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        // 0 is what the shutdown of Stop gives; with the stop flag clear it is
        // an empty datagram, which is reported as malformed.
        if (n == 0 && control->stop.load() != 0) break;
        const SearchDatagram d = ParseSearchDatagram(datagram, static_cast<std::size_t>(n), packet);
        slot->Invoke([&](SearchCallback callback, void* user, int) {
            callback(d.command, d.length, const_cast<uint8_t*>(d.payload), user);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    control->stop.store(1);
    std::lock_guard lock(control->mutex);
    control->exited = true;
    control->exited_cv.notify_all();
}

int CSearchDVS::SendDatagram(uint16_t command, const uint8_t* payload, uint16_t length) {
    if (length > kNetParaBlockBytes) return 1;
    CPacket packet;
    std::size_t message_length = 0;
    const uint8_t* message = packet.Build(command, 0, payload, length, &message_length);
    if (message == nullptr) return 1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kSearchRequestPort);
    to.sin_addr.s_addr = inet_addr(kSearchGroup);
    std::lock_guard send(send_mutex_);
    if (socket_ < 0) return 1;
    (void)sendto(socket_, message, message_length, 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    return 1;
}

int CSearchDVS::SendSearchRequest() {
    return SendDatagram(ZYN_CMD_SEARCH, nullptr, 0);
}

int CSearchDVS::SendChangeRequest(const ModifyNetParaRecord* record) {
    if (!record) return 1;
    const NetParaBlock block = BuildNetParaBlock(*record);
    return SendDatagram(ZYN_CMD_SEARCH_MODIFY, block.data(), kNetParaBlockBytes);
}

int CSearchDVS::SendRebootRequest(const ModifyNetParaRecord* record) {
    if (!record) return 1;
    const NetParaBlock block = BuildNetParaBlock(*record);
    return SendDatagram(ZYN_CMD_SEARCH_REBOOT, block.data(), kNetParaBlockBytes);
}
