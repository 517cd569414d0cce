#pragma once
// The local host's name and IPv4 addresses, found once at start-up. The
// addresses fill the master IP list of the main window.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"

namespace plinth {

struct NetState;

// What resolving the host name gave: nothing (the name is unknown) or a
// list of addresses in network byte order, possibly empty.
using ResolvedAddresses = std::optional<std::vector<uint32_t>>;

// Merges the resolver's answer and the interfaces' addresses into the local
// address list: the resolver's non-loopback addresses in its order, then the
// interfaces' ones not yet listed; loopback addresses only when nothing else
// exists. Shows "No ip-addr list configured!" when the name was not resolved
// and "No tcpip-interface card found!" when the answer held no address.
std::vector<uint32_t> MergeLocalAddresses(const ResolvedAddresses& resolved, const std::vector<uint32_t>& interfaces,
                                          Messages& messages);

// Reads the host name into net.hostName and the local addresses into
// net.localAddrs. False (after "gethostname() failed!" titled with the error
// code) when the host name cannot be read; start-up then fails.
bool CollectHostAddresses(NetState& net, Messages& messages);

}  // namespace plinth
