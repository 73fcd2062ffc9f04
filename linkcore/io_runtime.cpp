#include "linkcore/io_runtime.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include <asio/executor_work_guard.hpp>

namespace linkcore::detail {
namespace {

// One io_context per thread: a handler always runs on the thread of its
// object's context, so handing a completion over never wakes another thread.
struct Loop {
    asio::io_context context{1};
    asio::executor_work_guard<asio::io_context::executor_type> work{context.get_executor()};
};

struct Runtime {
    Loop loops[kIoThreads];
    std::atomic<unsigned> next{0};
    std::vector<std::thread> threads;
};

std::mutex g_mutex;              // guards g_runtime, g_stopped, g_exit_hooked
Runtime* g_runtime = nullptr;    // never freed while a Linkcore object lives
bool g_stopped = false;          // set at exit: no threads are started after it
bool g_exit_hooked = false;
std::atomic<int> g_users{0};
thread_local bool t_io_thread = false;

void RunIoThread(asio::io_context* context) {
    t_io_thread = true;
    for (;;) {
        try {
            context->run();
            return;
        } catch (...) {
            // Handlers do not throw; keep the thread alive if one did.
        }
    }
}

void StopAtExit() {
    Runtime* runtime = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_stopped = true;
        runtime = g_runtime;
    }
    if (runtime == nullptr) return;
    for (Loop& loop : runtime->loops) {
        loop.work.reset();
        loop.context.stop();
    }
    bool detached_self = false;
    for (std::thread& t : runtime->threads) {
        if (!t.joinable()) continue;
        if (t.get_id() == std::this_thread::get_id()) {
            // exit() called from a callback: this thread cannot join itself.
            t.detach();
            detached_self = true;
        } else {
            t.join();
        }
    }
    runtime->threads.clear();
    if (detached_self || g_users.load() != 0) return;
    // No object left: destroying the context releases the pending handlers
    // and the sessions they kept alive.
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_runtime = nullptr;
    }
    delete runtime;
}

}  // namespace

asio::io_context& IoContext() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_runtime == nullptr) {
        g_runtime = new Runtime;
        if (!g_stopped) {
            // The pool threads take no signals: the host's handlers run on
            // its own threads.
            sigset_t all;
            sigset_t old;
            sigfillset(&all);
            pthread_sigmask(SIG_SETMASK, &all, &old);
            for (int i = 0; i < kIoThreads; ++i) {
                g_runtime->threads.emplace_back(RunIoThread, &g_runtime->loops[i].context);
            }
            pthread_sigmask(SIG_SETMASK, &old, nullptr);
            if (!g_exit_hooked) {
                g_exit_hooked = true;
                // Registered now, so it runs before the destructors of statics
                // that were built before the first Linkcore object was used.
                std::atexit(StopAtExit);
            }
        }
    }
    const unsigned i = g_runtime->next.fetch_add(1, std::memory_order_relaxed) % kIoThreads;
    return g_runtime->loops[i].context;
}

bool OnIoThread() { return t_io_thread; }

RuntimeUser::RuntimeUser() { g_users.fetch_add(1); }
RuntimeUser::~RuntimeUser() { g_users.fetch_sub(1); }

}  // namespace linkcore::detail
