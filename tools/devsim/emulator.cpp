// The Emulator (I/O thread, start and stop), the public Device methods and the
// LAN search responder.
#include <pthread.h>
#include <time.h>

#include <cstring>
#include <sstream>

#include "tools/devsim/device_impl.h"
#include "zynvs/zynvs_commands.h"

namespace devsim {
namespace {

std::string ValidateDevice(const DeviceConfig& d) {
    auto video_ok = [](const VideoSettings& v) {
        return v.width >= 16 && v.height >= 16 && v.width <= 4096 && v.height <= 4096 &&
               v.width % 2 == 0 && v.height % 2 == 0 && v.fps >= 1 && v.fps <= 120 && v.gop >= 1 &&
               v.gop <= 1000 && v.bitrate_kbps >= 16 && v.loop_gops >= 1;
    };
    if (d.channel_count < 1 || d.channel_count > 4) return "channel count must be 1..4";
    if (d.accounts.empty()) return "at least one account is needed";
    if (!video_ok(d.main) || !video_ok(d.sub))
        return "video size must be even (16..4096), 1..120 fps, GOP 1..1000, >= 16 kbit/s";
    if (d.fragment_bytes < 16 || d.fragment_bytes > 60000) return "fragment size must be 16..60000";
    if (d.audio_format < 0 || d.audio_format > 2) return "audio format number must be 0, 1 or 2";
    if (d.audio_block_samples < 8 || d.audio_block_samples > 1372)
        return "audio block must be 8..1372 samples";
    return "";
}

}  // namespace

// ---- Emulator ----

Emulator::Emulator(Config config) : shared_(std::make_unique<EmulatorShared>()) {
    if (config.devices.empty()) config.devices.push_back(DeviceConfig{});
    shared_->config = std::move(config);
    shared_->log.SetLimit(shared_->config.max_logged_messages);
    for (size_t i = 0; i < shared_->config.devices.size(); ++i) {
        impls_.push_back(std::make_unique<DeviceImpl>(shared_.get(), static_cast<int>(i),
                                                      shared_->config.devices[i]));
        shared_->devices.push_back(impls_.back().get());
        devices_.push_back(std::unique_ptr<Device>(new Device(impls_.back().get())));
    }
}

Emulator::~Emulator() {
    Stop();
}

bool Emulator::Start(std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        Stop();
        return false;
    };
    if (shared_->running || shared_->thread_done) return fail("an Emulator is started once");
    std::error_code ec;
    shared_->bind_address = asio::ip::make_address_v4(shared_->config.bind_address, ec);
    if (ec) return fail("bind address '" + shared_->config.bind_address + "' is not IPv4");
    shared_->multicast_allowed = InPrivateNetworkNamespace();
    if (shared_->config.search && !shared_->multicast_allowed)
        return fail(
            "the LAN search responder joins a multicast group: it runs only inside a "
            "private network namespace (scripts/in_netns.sh)");
    for (size_t i = 0; i < impls_.size(); ++i) {
        std::string why = ValidateDevice(impls_[i]->cfg);
        if (!why.empty()) return fail("device " + std::to_string(i) + ": " + why);
    }
    for (auto& d : impls_) {
        std::string err;
        bool ok;
        {
            DeviceImpl::Locked l(*d);
            ok = d->PrepareMedia(&err);
        }
        if (!ok) return fail(err);
    }
    for (auto& d : impls_) {
        std::string err;
        bool ok;
        {
            DeviceImpl::Locked l(*d);
            ok = d->OpenPorts(&err);
        }
        if (!ok) return fail(err);
    }
    if (shared_->config.search) {
        shared_->search = std::make_unique<SearchResponder>(shared_.get());
        std::string err;
        if (!shared_->search->Open(&err)) return fail(err);
    }
    shared_->work.emplace(asio::make_work_guard(shared_->io));
    shared_->running = true;
    EmulatorShared* s = shared_.get();
    shared_->thread = std::thread([s] {
        s->io_thread_id = std::this_thread::get_id();
        s->io.run();
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        s->final_cpu_seconds = ts.tv_sec + ts.tv_nsec / 1e9;
        s->thread_done = true;
    });
    return true;
}

void Emulator::Stop() {
    if (!shared_->running) {
        // Never started (or a failed start): close what Start opened.
        for (auto& d : impls_) {
            DeviceImpl::Locked l(*d);
            d->CloseAll("stopped");
        }
        if (shared_->search) shared_->search->Close();
        return;
    }
    shared_->stopping = true;
    shared_->RunOnIo([this] {
        for (auto& d : impls_) {
            DeviceImpl::Locked l(*d);
            if (d->reboot_timer) d->reboot_timer->cancel();
            d->CloseAll("emulator stopped");
        }
        if (shared_->search) shared_->search->Close();
    });
    shared_->work.reset();
    // Every socket and timer is closed, so run() returns once the aborted
    // handlers have run; stop() is only the safety net.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!shared_->thread_done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!shared_->thread_done) shared_->io.stop();
    shared_->thread.join();
    shared_->running = false;
}

bool Emulator::running() const {
    return shared_->running && !shared_->stopping;
}
const Config& Emulator::config() const {
    return shared_->config;
}
int Emulator::device_count() const {
    return static_cast<int>(devices_.size());
}
Device& Emulator::device(int index) {
    return *devices_.at(static_cast<size_t>(index));
}
MessageLog& Emulator::log() {
    return shared_->log;
}
uint64_t Emulator::StreamBytesSent() const {
    return shared_->stream_bytes;
}

double Emulator::IoThreadCpuSeconds() const {
    if (shared_->thread_done || !shared_->running) return shared_->final_cpu_seconds;
    clockid_t cid;
    if (pthread_getcpuclockid(const_cast<std::thread&>(shared_->thread).native_handle(), &cid) != 0)
        return 0;
    timespec ts{};
    clock_gettime(cid, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

std::string Emulator::Status() const {
    std::ostringstream out;
    for (auto& d : impls_) {
        DeviceImpl::Locked l(*d);
        int logged = 0, running = 0;
        for (auto& [id, s] : d->sessions) logged += s->logged_in ? 1 : 0;
        for (auto& [k, st] : d->streams) running += st->running ? 1 : 0;
        out << "device " << d->index << " id " << d->cfg.device_id << ": "
            << (d->up ? "up" : "rebooting") << ", control " << d->control_port << ", stream "
            << d->stream_port << ", " << d->cfg.channel_count << " channels, " << d->sessions.size()
            << " control connections (" << logged << " logged in), " << d->stream_conns.size()
            << " stream connections, " << d->streams.size() << " streams (" << running
            << " running)\n";
    }
    return out.str();
}

// ---- Device ----

int Device::index() const {
    return impl_->index;
}
uint32_t Device::device_id() const {
    return impl_->cfg.device_id;
}
const DeviceConfig& Device::config() const {
    return impl_->cfg;
}

uint16_t Device::control_port() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->control_port;
}
uint16_t Device::stream_port() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->stream_port;
}
bool Device::IsUp() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->up;
}
int Device::RebootCount() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->reboots;
}

bool Device::WaitUntilUp(int reboots, int timeout_ms) const {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->up_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                 [&] { return impl_->up && impl_->reboots >= reboots; });
}

int Device::LoggedInSessions() const {
    DeviceImpl::Locked l(*impl_);
    int n = 0;
    for (auto& [id, s] : impl_->sessions) n += s->logged_in ? 1 : 0;
    return n;
}

int Device::ControlConnections() const {
    DeviceImpl::Locked l(*impl_);
    return static_cast<int>(impl_->sessions.size());
}

int Device::StreamConnections() const {
    DeviceImpl::Locked l(*impl_);
    return static_cast<int>(impl_->stream_conns.size());
}

std::vector<StreamInfo> Device::Streams() const {
    DeviceImpl::Locked l(*impl_);
    std::vector<StreamInfo> out;
    for (auto& [key, st] : impl_->streams) {
        StreamInfo i;
        i.key = key;
        i.kind = st->kind;
        i.channel = st->channel;
        i.transport = st->transport;
        i.link_value = st->link_value;
        auto c = st->conn.lock();
        i.bound = st->mcast.has_value() || (c && !c->closed);
        i.running = st->running;
        i.frames_sent = st->frames_sent;
        out.push_back(i);
    }
    return out;
}

bool Device::WaitForRunningStreams(int count, int timeout_ms) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int n = 0;
        for (const StreamInfo& i : Streams()) n += (i.running && i.bound) ? 1 : 0;
        if (n >= count) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int Device::AddReplyFault(const ReplyFault& fault) {
    DeviceImpl::Locked l(*impl_);
    impl_->faults.push_back(fault);
    impl_->Event("fault added: action " + std::to_string(static_cast<int>(fault.action)) +
                 " for command " + std::to_string(fault.command));
    return static_cast<int>(impl_->faults.size());
}

void Device::ClearReplyFaults() {
    DeviceImpl::Locked l(*impl_);
    impl_->faults.clear();
    impl_->refuse_logins = false;
    impl_->keepalive_answers = true;
    impl_->reply_delay_ms = 0;
    impl_->stalled_channels.clear();
    impl_->Event("faults cleared");
}

void Device::SetAnswerKeepAlive(bool answer) {
    DeviceImpl::Locked l(*impl_);
    impl_->keepalive_answers = answer;
    impl_->Event(answer ? "keep-alives answered again" : "keep-alives no longer answered");
}

void Device::SetRefuseLogins(bool refuse) {
    DeviceImpl::Locked l(*impl_);
    impl_->refuse_logins = refuse;
}

void Device::SetReplyDelay(int delay_ms) {
    DeviceImpl::Locked l(*impl_);
    impl_->reply_delay_ms = std::max(0, delay_ms);
}

void Device::StallChannel(int channel, bool stalled) {
    DeviceImpl::Locked l(*impl_);
    if (stalled) {
        impl_->stalled_channels.insert(channel);
    } else if (impl_->stalled_channels.erase(channel)) {
        impl_->ForceKey(channel, 0);  // resume with a decodable picture
    }
    impl_->Event("video of channel " + std::to_string(channel) +
                 (stalled ? " stalled" : " resumed"));
}

void Device::SetSubStreamAsChannelFour(bool on) {
    DeviceImpl::Locked l(*impl_);
    impl_->sub_as_four = on;
}

void Device::CloseControlConnections() {
    impl_->shared->RunOnIo([this] {
        DeviceImpl::Locked l(*impl_);
        auto sessions = impl_->sessions;
        for (auto& [id, s] : sessions) impl_->CloseSession(s, "closed by a fault");
    });
}

void Device::CloseStreamConnections() {
    impl_->shared->RunOnIo([this] {
        DeviceImpl::Locked l(*impl_);
        auto conns = impl_->stream_conns;
        for (auto& [id, c] : conns) impl_->CloseStreamConn(c, "closed by a fault");
    });
}

void Device::SendGarbage(bool on_stream_connections, size_t bytes) {
    impl_->shared->RunOnIo([this, on_stream_connections, bytes] {
        DeviceImpl::Locked l(*impl_);
        auto data = std::make_shared<const Bytes>(impl_->Garbage(bytes));
        if (on_stream_connections) {
            for (auto& [id, c] : impl_->stream_conns) impl_->SendToConn(c, data);
        } else {
            for (auto& [id, s] : impl_->sessions) impl_->SendToSession(s, data);
        }
        impl_->Event(std::to_string(bytes) + " garbage bytes sent (fault)");
    });
}

void Device::SendTruncated(bool on_stream_connections) {
    impl_->shared->RunOnIo([this, on_stream_connections] {
        DeviceImpl::Locked l(*impl_);
        // An alarm report whose header announces 12 bytes, of which 5 are sent.
        Bytes b = BuildMessage(wire::kAlarmReport, 0, Bytes(wire::AlarmReport::kBytes, 0x33));
        b.resize(wire::kMessageHeaderBytes + 5);
        auto data = std::make_shared<const Bytes>(std::move(b));
        if (on_stream_connections) {
            for (auto& [id, c] : impl_->stream_conns) impl_->SendToConn(c, data);
        } else {
            for (auto& [id, s] : impl_->sessions) impl_->SendToSession(s, data);
        }
        impl_->Event("truncated message sent (fault)");
    });
}

void Device::SendUnsolicited(uint16_t command, const std::vector<uint8_t>& payload) {
    impl_->shared->RunOnIo([this, command, payload] {
        DeviceImpl::Locked l(*impl_);
        auto data = std::make_shared<const Bytes>(BuildMessage(command, 0, payload));
        for (auto& [id, s] : impl_->sessions)
            if (s->logged_in) impl_->SendToSession(s, data);
        impl_->Event("unsolicited message " + std::to_string(command) + " sent");
    });
}

void Device::SendAlarmReport(int channel, int alarm_type, bool on) {
    Bytes p(wire::AlarmReport::kBytes, 0);
    const wire::MutableAlarmReport report(p.data());
    uint32_t sec = 0;
    uint16_t ms = 0;
    {
        DeviceImpl::Locked l(*impl_);
        impl_->DeviceTime(&sec, &ms);
        report.set_sequence(++impl_->alarm_sequence);
    }
    report.set_channel(static_cast<uint8_t>(channel));
    report.set_alarm_type(static_cast<uint8_t>(alarm_type));
    report.set_state(on ? 1 : 0);
    report.set_device_time(sec);
    SendUnsolicited(wire::kAlarmReport, p);
}

void Device::Reboot() {
    impl_->shared->RunOnIo([this] {
        DeviceImpl::Locked l(*impl_);
        if (impl_->up) impl_->BeginReboot("requested", 0);
    });
}

void Device::ForceKeyFrame(int channel) {
    DeviceImpl::Locked l(*impl_);
    impl_->ForceKey(channel, 0);
}

std::vector<uint8_t> Device::Param(uint16_t get_command, int channel) const {
    DeviceImpl::Locked l(*impl_);
    const ParamGroupInfo* g = wire::GroupByGet(get_command);
    if (!g) return {};
    auto it = impl_->params.find({get_command, g->set_has_channel ? channel : 0});
    return it == impl_->params.end() ? Bytes{} : it->second;
}

void Device::SetParam(uint16_t get_command, int channel, const std::vector<uint8_t>& record) {
    DeviceImpl::Locked l(*impl_);
    const ParamGroupInfo* g = wire::GroupByGet(get_command);
    if (!g || record.size() != g->record_bytes) return;
    impl_->StoreParam(*g, channel, record);
}

std::optional<ClockSetting> Device::LastClockSet() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->clock_set;
}
std::vector<TalkBlock> Device::TalkAudio() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->talk;
}
UpgradeStatus Device::Upgrade() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->upgrade;
}
std::vector<std::array<uint8_t, 4>> Device::PtzCommands() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->ptz;
}
std::vector<uint32_t> Device::RemoteRecordWords() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->remote_record;
}
std::vector<std::vector<uint8_t>> Device::SerialData() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->serial_data;
}
std::vector<std::pair<int, uint32_t>> Device::ClearedAlarms() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->cleared_alarms;
}
std::vector<std::vector<uint8_t>> Device::RecordFileRequests() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->file_requests;
}
std::vector<uint32_t> Device::DefaultParamWords() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->default_words;
}
std::vector<RecordFile> Device::RecordFiles() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->files;
}
std::vector<SentFrame> Device::SentFrames() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->sent_frames;
}
std::shared_ptr<const VideoLoop> Device::Loop(int channel, int stream_kind) const {
    DeviceImpl::Locked l(*impl_);
    auto it = impl_->loops.find({channel, stream_kind});
    return it == impl_->loops.end() ? nullptr : it->second;
}
std::vector<uint8_t> Device::DeviceInfo() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->BuildDeviceInfo();
}
std::vector<uint8_t> Device::ExtendedInfo() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->BuildExtendedInfo();
}
std::vector<uint8_t> Device::SearchReply() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->BuildSearchReply();
}
std::array<uint8_t, 6> Device::mac() const {
    DeviceImpl::Locked l(*impl_);
    return impl_->mac;
}

// ---- LAN search responder ----

bool SearchResponder::Open(std::string* error) {
    try {
        auto group = asio::ip::make_address_v4(kSearchGroup);
        auto iface = shared->bind_address.is_unspecified() ? asio::ip::address_v4::loopback()
                                                           : shared->bind_address;
        socket = std::make_unique<udp::socket>(shared->io);
        socket->open(udp::v4());
        socket->set_option(udp::socket::reuse_address(true));
        // Bound to the group itself: only datagrams sent to 224.0.1.10:6022 arrive.
        socket->bind(udp::endpoint(group, kSearchRequestPort));
        socket->set_option(asio::ip::multicast::join_group(group, iface));
        socket->set_option(asio::ip::multicast::outbound_interface(iface));
        socket->set_option(asio::ip::multicast::enable_loopback(true));
        socket->set_option(asio::ip::multicast::hops(1));
        socket->non_blocking(true);
    } catch (const std::system_error& e) {
        if (error) *error = std::string("search responder: ") + e.what();
        socket.reset();
        return false;
    }
    for (DeviceImpl* d : shared->devices) {
        DeviceImpl::Locked l(*d);
        d->Event("answers LAN searches on 224.0.1.10:6022");
    }
    Receive();
    return true;
}

void SearchResponder::Close() {
    std::lock_guard<std::mutex> lock(mu);
    if (socket) {
        std::error_code ec;
        socket->close(ec);
    }
}

void SearchResponder::Receive() {
    socket->async_receive_from(asio::buffer(rx), from, [this](std::error_code ec, size_t n) {
        if (shared->stopping || ec == asio::error::operation_aborted) return;
        if (!ec) Handle(rx.data(), n);
        std::lock_guard<std::mutex> lock(mu);
        if (socket && socket->is_open()) Receive();
    });
}

void SearchResponder::SendToGroup(uint16_t command, const Bytes& payload) {
    std::lock_guard<std::mutex> lock(mu);
    if (!socket || !socket->is_open()) return;
    auto bytes = BuildMessage(command, 0, payload);
    std::error_code ec;
    socket->send_to(asio::buffer(bytes),
                    udp::endpoint(asio::ip::make_address_v4(kSearchGroup), kSearchReplyPort), 0,
                    ec);
}

void SearchResponder::Handle(const uint8_t* data, size_t size) {
    ParsedMessage m;
    bool ok = ParseDatagram(data, size, &m);
    // Find the device a change or reboot request is meant for (by MAC).
    DeviceImpl* target = nullptr;
    if (ok && m.length == wire::SearchAnswer::kNetParaBytes &&
        (m.command == ZYN_CMD_SEARCH_MODIFY || m.command == ZYN_CMD_SEARCH_REBOOT)) {
        for (DeviceImpl* d : shared->devices) {
            DeviceImpl::Locked l(*d);
            const wire::SearchAnswer block(m.payload);
            if (std::memcmp(d->mac.data(), block.mac(), block.kMacBytes) == 0) target = d;
        }
    }
    ReceivedMessage r;
    r.device = target ? target->index : -1;
    r.link = Link::kSearch;
    r.command = ok ? m.command : 0;
    r.second_word = m.second_word;
    r.malformed = !ok;
    if (ok) r.payload.assign(m.payload, m.payload + m.length);
    r.raw.assign(data, data + (ok ? m.raw_length : size));
    r.when = std::chrono::steady_clock::now();
    shared->log.Add(std::move(r));
    if (!ok) return;

    if (m.command == ZYN_CMD_SEARCH) {
        for (DeviceImpl* d : shared->devices) {
            Bytes reply;
            {
                DeviceImpl::Locked l(*d);
                if (!d->up) continue;
                d->Event("answered a LAN search");
                reply = d->BuildSearchReply();
            }
            SendToGroup(wire::kSearchReply, reply);
        }
        return;
    }
    if (!target) return;  // wrong length or a MAC of no device here: not for us
    Bytes reply(wire::SearchAck::kBytes, 0);
    {
        DeviceImpl::Locked l(*target);
        std::copy(target->mac.begin(), target->mac.end(),
                  wire::MutableSearchAck(reply.data()).mac());
    }
    if (m.command == ZYN_CMD_SEARCH_MODIFY) {
        SendToGroup(wire::kSearchModifyReply, reply);
        DeviceImpl::Locked l(*target);
        target->ApplyNetPara(m.payload);
    } else {
        SendToGroup(wire::kSearchRebootReply, reply);
        DeviceImpl::Locked l(*target);
        if (target->up) target->BeginReboot("LAN search reboot request", 100);
    }
}

}  // namespace devsim
