// Registry semantics with scripted devices: no network involved.
#include "decodekit/core/device_manage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {
using namespace std::chrono_literals;

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 3000ms) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(2ms);
    }
    return pred();
}

// What the scripted devices did, shared by all of them in one test.
struct Journal {
    std::mutex mutex;
    std::vector<std::string> events;
    std::deque<int> login_results;  // next Login results; empty = 1
    std::atomic<int> alive{0};
    void Add(const std::string& e) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(e);
    }
    int Count(const std::string& e) {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (auto& x : events) n += (x == e);
        return n;
    }
    int NextLogin() {
        std::lock_guard<std::mutex> lock(mutex);
        if (login_results.empty()) return 1;
        int r = login_results.front();
        login_results.pop_front();
        return r;
    }
};

class ScriptedDevice : public CServedDevice {
public:
    ScriptedDevice(CDeviceManage* reg, int type, Journal* j)
        : CServedDevice(reg), type_(type), j_(j) {
        j_->alive++;
    }
    ~ScriptedDevice() override {
        j_->Add("destroy");
        j_->alive--;
    }
    int GetType() override { return type_; }
    void KeepAlive() override {
        j_->Add("keepalive");
        registry_->FireMessage(GetDeviceId(), 77, nullptr, 0);
    }
    int Login(const DeviceLoginInfo* r) override {
        SetLoginRecord(*r);
        j_->Add("login");
        return j_->NextLogin();
    }
    int Logout(int notify) override {
        j_->Add("logout" + std::to_string(notify));
        return 1;
    }
    int StopRealPlay(int ch, int final_stop) override {
        j_->Add("stopplay" + std::to_string(ch) + "/" + std::to_string(final_stop));
        return 1;
    }
    int CloseSound(int ch, int final_stop) override {
        j_->Add("closesound" + std::to_string(ch) + "/" + std::to_string(final_stop));
        return 1;
    }
    int StopTalk(int final_stop) override {
        j_->Add("stoptalk/" + std::to_string(final_stop));
        return 1;
    }

private:
    int type_;
    Journal* j_;
};

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        CDeviceManage::Options opt;
        opt.tick_ms = 20;
        opt.query_screen_saver = false;
        opt.factory = [this](CDeviceManage* reg, zyn::CreateFor purpose,
                             const DeviceLoginInfo& rec) -> std::shared_ptr<CVideoDevice> {
            if (purpose != zyn::CreateFor::kLogin) return nullptr;
            if (rec.device_id == kWitnessId)
                return std::make_shared<ScriptedDevice>(reg, 1, &witness);
            if (rec.device_kind == 1) return std::make_shared<ScriptedDevice>(reg, 1, &journal);
            if (rec.device_kind == 4 || rec.device_kind == 6)
                return std::make_shared<ScriptedDevice>(reg, 4, &journal);
            return nullptr;
        };
        reg = std::make_unique<CDeviceManage>(std::move(opt));
    }
    void TearDown() override {
        reg.reset();
        EXPECT_EQ(journal.alive.load(), 0);
    }
    static DeviceLoginInfo Record(int id, int kind) {
        DeviceLoginInfo r{};
        r.device_id = id;
        r.device_kind = kind;
        r.channel_count = 4;
        std::strcpy(r.control_address, "127.0.0.1");
        return r;
    }
    // A device of its own journal whose keep-alives show the housekeeping's passes.
    static constexpr int kWitnessId = 999;
    Journal journal, witness;
    std::unique_ptr<CDeviceManage> reg;
};

TEST_F(RegistryTest, NullRecordsAndUnknownIds) {
    EXPECT_EQ(reg->Login(nullptr), 0);
    EXPECT_EQ(reg->AddDevice(nullptr), 0);
    EXPECT_EQ(reg->Logout(42, 1), 0);
    EXPECT_EQ(reg->DeleteDevice(42), 0);
    EXPECT_EQ(reg->SetDeviceName(42, "x"), 0);
    EXPECT_EQ(reg->FindServed(42), nullptr);
    EXPECT_EQ(reg->DeviceCount(), 0u);
}

TEST_F(RegistryTest, SecondLoginOfActiveIdDoesNothing) {
    auto r = Record(1, 1);
    EXPECT_EQ(reg->Login(&r), 1);
    EXPECT_EQ(reg->Login(&r), 1);
    EXPECT_EQ(journal.Count("login"), 1);
    EXPECT_EQ(reg->DeviceCount(), 1u);
    EXPECT_EQ(reg->Find(1)->State(), zyn::kStateActive);
}

TEST_F(RegistryTest, FailedLoginStaysAndIsRetriedOnTheSameObject) {
    journal.login_results = {0, 1};
    auto r = Record(5, 1);
    EXPECT_EQ(reg->Login(&r), 0);
    auto first = reg->Find(5);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->State(), zyn::kStateLoginFailed);
    // The housekeeping thread leaves a failed device alone: two whole passes
    // go by (the witness is served three times) without a keep-alive for it.
    auto w = Record(kWitnessId, 1);
    ASSERT_EQ(reg->Login(&w), 1);
    EXPECT_TRUE(WaitFor([&] { return witness.Count("keepalive") >= 3; }));
    EXPECT_EQ(journal.Count("keepalive"), 0);

    EXPECT_EQ(reg->Login(&r), 1);
    EXPECT_EQ(reg->Find(5), first);
    EXPECT_EQ(first->State(), zyn::kStateActive);
    EXPECT_EQ(journal.Count("login"), 2);
    EXPECT_TRUE(WaitFor([&] { return journal.Count("keepalive") > 0; }));
}

TEST_F(RegistryTest, RetryWithTheOtherClassReplacesTheObject) {
    journal.login_results = {0, 1};
    auto r = Record(6, 1);
    EXPECT_EQ(reg->Login(&r), 0);
    auto first = reg->Find(6);
    r.device_kind = 4;
    EXPECT_EQ(reg->Login(&r), 1);
    auto second = reg->Find(6);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->GetType(), 4);
}

TEST_F(RegistryTest, KindsNotServedByLoginCreateNothing) {
    for (int kind : {0, 2, 3, 5, 7, -1}) {
        auto r = Record(10 + kind, kind);
        EXPECT_EQ(reg->Login(&r), 0) << kind;
    }
    EXPECT_EQ(reg->DeviceCount(), 0u);
    EXPECT_EQ(journal.Count("login"), 0);
}

TEST_F(RegistryTest, DeleteReturnsZeroAndRemovesWithinATick) {
    auto r = Record(3, 1);
    ASSERT_EQ(reg->Login(&r), 1);
    EXPECT_EQ(reg->DeleteDevice(3), 0);
    EXPECT_TRUE(WaitFor([&] { return reg->DeviceCount() == 0; }, 500ms));
    EXPECT_TRUE(WaitFor([&] { return journal.Count("destroy") == 1; }));
}

TEST_F(RegistryTest, DeviceInUseByAnExportOutlivesItsRemoval) {
    auto r = Record(3, 1);
    ASSERT_EQ(reg->Login(&r), 1);
    auto held = reg->FindServed(3);  // what an export holds during its call
    reg->DeleteDevice(3);
    ASSERT_TRUE(WaitFor([&] { return reg->DeviceCount() == 0; }));
    EXPECT_EQ(journal.Count("destroy"), 0);
    EXPECT_EQ(held->GetType(), 1);
    held.reset();
    EXPECT_EQ(journal.Count("destroy"), 1);
}

TEST_F(RegistryTest, LogoutMarksForRemovalAndLoginAfterwardsCreatesAFreshObject) {
    auto r = Record(8, 1);
    ASSERT_EQ(reg->Login(&r), 1);
    auto first = reg->Find(8);
    EXPECT_EQ(reg->Logout(8, 1), 1);
    EXPECT_EQ(first->State(), zyn::kStateRemoving);
    EXPECT_EQ(journal.Count("logout1"), 1);
    // A login before the housekeeping thread got to it replaces the object.
    EXPECT_EQ(reg->Login(&r), 1);
    auto second = reg->Find(8);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->State(), zyn::kStateActive);
}

TEST_F(RegistryTest, CallbackRegisteredLaterReachesExistingDevices) {
    auto r = Record(9, 1);
    ASSERT_EQ(reg->Login(&r), 1);
    static std::atomic<int> hits{0};
    static std::atomic<int> last_id{0};
    hits = 0;
    reg->SetMessageCallback(
        [](int id, int msg, void*, int, void* user) {
            if (msg == 77 && user == reinterpret_cast<void*>(0x1234)) {
                last_id = id;
                hits++;
            }
        },
        reinterpret_cast<void*>(0x1234));
    EXPECT_TRUE(WaitFor([&] { return hits.load() > 0; }));
    EXPECT_EQ(last_id.load(), 9);
    reg->SetMessageCallback(nullptr, nullptr);
}

TEST_F(RegistryTest, AddDeviceCreatesPartiesAndRefreshesRecords) {
    auto r = Record(20, 2);
    EXPECT_EQ(reg->AddDevice(&r), 1);
    EXPECT_EQ(reg->Find(20)->GetType(), zyn::kTypeUserClient);
    std::strcpy(r.control_address, "127.0.0.2");
    EXPECT_EQ(reg->AddDevice(&r), 1);
    EXPECT_STREQ(reg->Find(20)->LoginRecord().control_address, "127.0.0.2");
    const int expected[] = {zyn::kTypeVexora, zyn::kTypeVexora, zyn::kTypeUserClient,
                            zyn::kTypeStreamClient, zyn::kTypeRecordClient};
    for (int kind = 0; kind <= 4; ++kind) {
        auto p = Record(30 + kind, kind);
        EXPECT_EQ(reg->AddDevice(&p), 1);
        EXPECT_EQ(reg->Find(30 + kind)->GetType(), expected[kind]) << kind;
    }
    auto bad = Record(40, 5);
    EXPECT_EQ(reg->AddDevice(&bad), 0);
    // Parties do not serve the per-device exports.
    EXPECT_EQ(reg->FindServed(20), nullptr);
}

TEST_F(RegistryTest, UnInitTearsEverythingDownAndLaterLoginsStillGetKeepAlive) {
    auto r = Record(11, 1);
    ASSERT_EQ(reg->Login(&r), 1);
    auto dev = reg->Find(11);
    dev->SetVideoFlag(0, 1);
    dev->SetVideoFlag(2, 1);
    dev->SetSoundFlag(1, 1);
    dev->SetTalkFlag(1);
    dev.reset();
    EXPECT_EQ(reg->UnInit(), 1);
    EXPECT_EQ(reg->DeviceCount(), 0u);
    EXPECT_FALSE(reg->HousekeepingRunning());
    for (const char* e :
         {"stopplay0/1", "stopplay2/1", "closesound1/1", "stoptalk/1", "logout1", "destroy"})
        EXPECT_EQ(journal.Count(e), 1) << e;
    EXPECT_EQ(journal.Count("stopplay1/1"), 0);

    int before = journal.Count("keepalive");
    EXPECT_EQ(reg->Login(&r), 1);
    EXPECT_TRUE(reg->HousekeepingRunning());
    EXPECT_TRUE(WaitFor([&] { return journal.Count("keepalive") > before; }));
}

TEST_F(RegistryTest, ConcurrentLoginsOfOneIdOpenOneSession) {
    auto r = Record(50, 1);
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int i = 0; i < 8; ++i) threads.emplace_back([&] { ok += reg->Login(&r); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok.load(), 8);
    EXPECT_EQ(journal.Count("login"), 1);
}
}  // namespace
