// Sends a burst of distinct BOOTREQUESTs back to back, as many modules
// powered on at once would, and measures how many replies come back and how
// late: from a request's send to its reply's arrival as the kernel stamped
// it (SO_TIMESTAMPNS), so that the time this program spends sending the
// rest of the burst does not count. Run inside the modules' network namespace (bench/bootp_burst.sh).
// Usage: bench_bootp_burst INTERFACE [COUNT] [FIRST_MAC_HEX] [LATENCY_FILE]
// LATENCY_FILE: each reply's latency in microseconds is appended, one a line.
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "config/mac_text.h"
#include "logic/render_row.h"
#include "net/bootp_request.h"
#include "net/bootp_socket.h"

using Clock = std::chrono::steady_clock;

// Wall-clock time, the clock of the kernel's receive stamps, in microseconds.
double NowMicroseconds() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s INTERFACE [COUNT] [FIRST_MAC_HEX] [LATENCY_FILE]\n", argv[0]);
    return 2;
  }
  const std::string interfaceName = argv[1];
  const int count = argc > 2 ? std::atoi(argv[2]) : 256;
  plinth::MacAddress first{0x02, 0x00, 0x00, 0x00, 0x00, 0x00};
  if (argc > 3) plinth::ReadMacText(argv[3], first);

  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  plinth::EnlargeReceiveBuffer(fd);
  setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  if (setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, interfaceName.c_str(),
                 static_cast<socklen_t>(interfaceName.size())) != 0) {
    std::perror("SO_BINDTODEVICE");
    return 1;
  }
  const sockaddr_in local = plinth::SocketAddress(0, 68);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    std::perror("bind port 68");
    return 1;
  }

  // Distinct MAC addresses counting up from first.
  std::map<uint64_t, double> sentAt;
  std::vector<plinth::MacAddress> macs;
  for (int i = 0; i < count; ++i) {
    const uint64_t packed = plinth::PackMac(first) + static_cast<uint64_t>(i);
    macs.push_back(plinth::UnpackMac(packed));
  }
  const sockaddr_in to = plinth::SocketAddress(0xFFFFFFFF, 67);
  int sent = 0;
  for (int i = 0; i < count; ++i) {
    const plinth::BootpMessage request = plinth::MakeBootpRequest(macs[static_cast<size_t>(i)], 1000 + i, 0);
    sentAt[plinth::PackMac(macs[static_cast<size_t>(i)])] = NowMicroseconds();
    if (sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
        static_cast<ssize_t>(request.size()))
      ++sent;
  }

  std::vector<double> latencies;
  const auto deadline = Clock::now() + std::chrono::seconds(3);
  while (static_cast<int>(latencies.size()) < sent && Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) != 1) continue;
    uint8_t buffer[plinth::kBootpMessageSize + 1];
    alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(timespec))];
    iovec io{buffer, sizeof buffer};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(fd, &message, 0);
    double arrived = NowMicroseconds();
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
        timespec t;
        std::memcpy(&t, CMSG_DATA(c), sizeof t);
        arrived = static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
      }
    if (n != static_cast<ssize_t>(plinth::kBootpMessageSize) || buffer[0] != plinth::kBootReply) continue;
    const auto it = sentAt.find(plinth::PackMac(plinth::ChaddrMac(std::span<const uint8_t>(buffer, n))));
    if (it == sentAt.end()) continue;
    latencies.push_back(arrived - it->second);
    sentAt.erase(it);  // a second reply to the same module is not counted twice
  }
  if (argc > 4)
    if (std::FILE* out = std::fopen(argv[4], "a")) {
      for (double l : latencies) std::fprintf(out, "%.1f\n", l);
      std::fclose(out);
    }
  std::sort(latencies.begin(), latencies.end());
  auto percentile = [&](double q) {
    if (latencies.empty()) return 0.0;
    return latencies[std::min(latencies.size() - 1, static_cast<size_t>(q * static_cast<double>(latencies.size())))];
  };
  std::printf("sent %d answered %zu lost %d latency_us median %.0f p99 %.0f max %.0f\n", sent, latencies.size(),
              sent - static_cast<int>(latencies.size()), percentile(0.5), percentile(0.99),
              latencies.empty() ? 0.0 : latencies.back());
  close(fd);
  return 0;
}
