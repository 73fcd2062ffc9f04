#include "apps/zynvs/console.h"

#include <SDL.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

extern "C" {
#include <libavutil/log.h>
}

namespace zynvs_app {
namespace {
bool g_verbose = false;
std::atomic<int> g_stop_signal{0};

void DropSdlLog(void*, int, SDL_LogPriority, const char*) {}

void OnStopSignal(int sig) {
    if (g_stop_signal.exchange(sig) != 0) _exit(128 + sig);
}
}  // namespace

void SetVerbose(bool verbose) {
    g_verbose = verbose;
    av_log_set_level(verbose ? AV_LOG_INFO : AV_LOG_QUIET);
    if (!verbose) SDL_LogSetOutputFunction(DropSdlLog, nullptr);
}

bool Verbose() {
    return g_verbose;
}

void CatchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool StopRequested() {
    return g_stop_signal.load() != 0;
}
int StopSignal() {
    return g_stop_signal.load();
}

}  // namespace zynvs_app
