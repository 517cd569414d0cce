#pragma once
// Small pieces shared by the BOOTP server and the simulated modules' client.
#include <netinet/in.h>

#include <cstdint>

namespace plinth {

// An IPv4 socket address; address in network byte order, port in host order.
sockaddr_in SocketAddress(uint32_t address, uint16_t port);

// Asks for a receive buffer that holds a burst of a few hundred requests;
// as root the system's limit is passed, otherwise the limit caps it.
void EnlargeReceiveBuffer(int fd);

}  // namespace plinth
