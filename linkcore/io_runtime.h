// The process-wide I/O runtime: a small pool of threads, each running its own
// asio::io_context, shared by every Linkcore object. It starts on first use
// and is stopped (threads joined) when the process exits or the library is
// unloaded.
#pragma once

#include <asio/io_context.hpp>

namespace linkcore::detail {

constexpr int kIoThreads = 2;

// A context of the pool for a new connection or server (round robin); starts
// the pool on the first call. Each context is run by exactly one thread, so
// the handlers of everything placed on it never run concurrently.
asio::io_context& IoContext();

// True on one of the pool's threads.
bool OnIoThread();

// Held by every live Linkcore object. At exit the context itself is destroyed
// only when no object is left; otherwise it is left allocated so that late
// destructors still find it (they never wait for the stopped threads).
class RuntimeUser {
public:
    RuntimeUser();
    ~RuntimeUser();
    RuntimeUser(const RuntimeUser&) = delete;
    RuntimeUser& operator=(const RuntimeUser&) = delete;
};

}  // namespace linkcore::detail
