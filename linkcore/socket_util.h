// Small helpers on native socket descriptors. Linkcore sends from the
// caller's thread straight on the descriptor (under the connection's send
// lock), so a send never waits for the I/O threads.
#pragma once

#include <sys/socket.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

#include <asio/ip/address.hpp>

namespace linkcore::detail {

// Largest payload that fits one IPv4 UDP datagram with our header.
constexpr std::size_t kMaxDatagramBytes = 65507;

// Parses a numeric address ("127.0.0.1", "::1"; "localhost" too).
bool ParseAddress(const char* text, asio::ip::address* out);

enum class SendResult { kOk, kTimeout, kError };

// Sends all bytes of iov[0..count), waiting for socket buffer space for at
// most timeout_ms in total. On kTimeout or kError bytes may have been sent in
// part: the stream is no longer usable.
SendResult SendAll(int fd, iovec* iov, int count, int timeout_ms);

// Sends one datagram (to `to` when given), waiting up to timeout_ms for buffer
// space. False on error.
bool SendDatagram(int fd, iovec* iov, int count, const sockaddr* to, socklen_t to_len,
                  int timeout_ms);

// Connects a non-blocking socket, waiting up to timeout_ms.
bool ConnectWithTimeout(int fd, const sockaddr* address, socklen_t length, int timeout_ms);

// Local port of a bound socket, 0 on error.
uint16_t LocalPortOf(int fd);

// How long a send may wait for a peer that does not read (default 5000 ms).
int SendTimeoutMs();
void SetSendTimeoutMs(int timeout_ms);

}  // namespace linkcore::detail
