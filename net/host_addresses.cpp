#include "net/host_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/net_state.h"

namespace plinth {
namespace {

bool IsLoopback(uint32_t addressNetworkOrder) { return (ntohl(addressNetworkOrder) >> 24) == 127; }

ResolvedAddresses Resolve(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* answer = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &answer) != 0) return std::nullopt;
  std::vector<uint32_t> addresses;
  for (addrinfo* a = answer; a; a = a->ai_next) {
    if (a->ai_family != AF_INET || !a->ai_addr) continue;
    uint32_t address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) addresses.push_back(address);
  }
  freeaddrinfo(answer);
  return addresses;
}

std::vector<uint32_t> InterfaceAddresses() {
  std::vector<uint32_t> addresses;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return addresses;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    addresses.push_back(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
  }
  freeifaddrs(list);
  return addresses;
}

void AddUnique(std::vector<uint32_t>& list, uint32_t address) {
  if (std::find(list.begin(), list.end(), address) == list.end()) list.push_back(address);
}

}  // namespace

std::vector<uint32_t> MergeLocalAddresses(const ResolvedAddresses& resolved, const std::vector<uint32_t>& interfaces,
                                          Messages& messages) {
  if (!resolved) messages.Show("No ip-addr list configured!");
  else if (resolved->empty()) messages.Show("No tcpip-interface card found!");

  std::vector<uint32_t> all;
  if (resolved) all = *resolved;
  all.insert(all.end(), interfaces.begin(), interfaces.end());

  std::vector<uint32_t> result;
  for (uint32_t a : all)
    if (!IsLoopback(a)) AddUnique(result, a);
  if (result.empty())
    for (uint32_t a : all) AddUnique(result, a);
  return result;
}

bool CollectHostAddresses(NetState& net, Messages& messages) {
  char name[300] = {};
  if (gethostname(name, sizeof name - 1) != 0) {
    messages.Show("gethostname() failed!", std::to_string(errno));
    return false;
  }
  net.hostName = name;
  net.localAddrs = MergeLocalAddresses(Resolve(net.hostName), InterfaceAddresses(), messages);
  return true;
}

}  // namespace plinth
