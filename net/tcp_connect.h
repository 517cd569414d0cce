#pragma once
// Connecting a TCP stream socket to a module with a bounded wait.
#include <cstdint>

namespace plinth {

inline constexpr int kConnectTimeoutMs = 1000;

// Connects to address (network byte order) and port: a non-blocking connect
// and a wait of at most timeoutMs. Returns the connected socket, blocking and
// with TCP_NODELAY set, or -1 when the connect fails or times out.
int ConnectTcp(uint32_t addressNetworkOrder, uint16_t port, int timeoutMs = kConnectTimeoutMs);

// Closes a socket if it is one (>= 0).
void CloseSocket(int socket);

}  // namespace plinth
