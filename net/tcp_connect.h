#pragma once
// Connecting a TCP stream socket to a module with a bounded wait.
#include <cstdint>
#include <string>

namespace plinth {

inline constexpr int kConnectTimeoutMs = 1000;

// Connects to address (network byte order) and port: a non-blocking connect
// and a wait of at most timeoutMs. Returns the connected socket, blocking and
// with TCP_NODELAY set, or -1 when the connect fails or times out; then
// errno and error (if given) hold why: the system's error, ETIMEDOUT when
// nothing answered within timeoutMs.
int ConnectTcp(uint32_t addressNetworkOrder, uint16_t port, int timeoutMs = kConnectTimeoutMs, int* error = nullptr);

// The two halves of ConnectTcp, for a connect that runs on another thread
// than the one that made the socket. OpenTcpSocket: a non-blocking stream
// socket, or -1. ConnectSocket: as ConnectTcp on that socket (which stays
// open either way); the wait also ends, failed (ECANCELED), as soon as
// cancelFd (when not -1) becomes readable. A failure leaves its reason in
// errno and error (if given), as ConnectTcp does.
int OpenTcpSocket();
bool ConnectSocket(int socket, uint32_t addressNetworkOrder, uint16_t port, int timeoutMs, int cancelFd = -1,
                   int* error = nullptr);

// Why a connect failed, in words: "connection refused", "no answer within
// 1000 ms", or the system's text.
std::string DescribeConnectError(int error, int timeoutMs = kConnectTimeoutMs);

// Wakes a thread blocked in a receive or send on socket (>= 0): its call
// ends and later ones fail at once. The socket stays open.
void WakeSocket(int socket);

// Closes a socket if it is one (>= 0).
void CloseSocket(int socket);

}  // namespace plinth
