#include "sim/bootp_client.h"

#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <ifaddrs.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "base/text_scan.h"
#include "net/bootp_request.h"
#include "net/bootp_socket.h"

namespace plinth {

BootpClient::BootpClient(const MacAddress& mac, BootpClientOptions options, AddressHandler onAddress)
    : mac_(mac), options_(std::move(options)), onAddress_(std::move(onAddress)),
      xid_(std::random_device{}()) {}

BootpClient::~BootpClient() {
  Stop();
  if (fd_ >= 0) close(fd_);
}

bool BootpClient::Start(std::string& error) {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  const int on = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);  // every module of a host hears port 68
  setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  EnlargeReceiveBuffer(fd_);
  if (!options_.interfaceName.empty() &&
      setsockopt(fd_, SOL_SOCKET, SO_BINDTODEVICE, options_.interfaceName.c_str(),
                 static_cast<socklen_t>(options_.interfaceName.size())) != 0) {
    error = options_.interfaceName + ": " + std::strerror(errno);
    return false;
  }
  const sockaddr_in local = SocketAddress(options_.bindAddress, options_.clientPort);
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    error = "bind port " + std::to_string(options_.clientPort) + ": " + std::strerror(errno);
    return false;
  }
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length);
  port_ = ntohs(bound.sin_port);
  thread_ = std::thread(&BootpClient::Run, this);
  return true;
}

void BootpClient::Restart() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    asking_.store(true, std::memory_order_release);
  }
  changed_.notify_all();
}

void BootpClient::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_.store(true, std::memory_order_release);
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void BootpClient::Run() {
  using Clock = std::chrono::steady_clock;
  auto nextRequest = Clock::now();
  while (!stop_.load(std::memory_order_acquire)) {
    if (!asking_.load(std::memory_order_acquire)) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stop_.load() || asking_.load(); });
      nextRequest = Clock::now();
      continue;
    }
    if (Clock::now() >= nextRequest) {
      SendRequest();
      nextRequest = Clock::now() + options_.interval;
    }
    // Bounded so that Stop and the next request are never late.
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextRequest - Clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::clamp<long long>(wait.count(), 0, 100))) == 1) ReceiveReplies();
  }
}

void BootpClient::SendRequest() {
  const BootpMessage request = MakeBootpRequest(mac_, xid_, 0);
  const sockaddr_in to = SocketAddress(options_.serverAddress, options_.serverPort);
  if (sendto(fd_, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
      static_cast<ssize_t>(request.size()))
    sent_.fetch_add(1, std::memory_order_acq_rel);
}

void BootpClient::ReceiveReplies() {
  uint8_t buffer[kBootpMessageSize + 1];
  for (;;) {
    const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0) return;
    // Replies for other modules of the same host arrive here too.
    if (n != static_cast<ssize_t>(kBootpMessageSize) || buffer[kBootpOp] != kBootReply ||
        ChaddrMac(std::span<const uint8_t>(buffer, kBootpMessageSize)) != mac_)
      continue;
    const uint32_t address = ReadAddressField(std::span<const uint8_t>(buffer, kBootpMessageSize), kBootpYiaddr);
    if (address == 0) continue;
    address_.store(address, std::memory_order_release);
    asking_.store(false, std::memory_order_release);
    if (onAddress_) onAddress_(address);
    return;
  }
}

bool AddInterfaceAddress(const std::string& interfaceName, uint32_t address, int prefixLength) {
  const std::string cidr = FormatIpv4(address) + "/" + std::to_string(prefixLength);
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDERR_FILENO);  // "File exists" when it is already there
    execlp("ip", "ip", "addr", "add", cidr.c_str(), "dev", interfaceName.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  // Already present counts as done.
  ifaddrs* list = nullptr;
  bool found = false;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs* a = list; a; a = a->ifa_next)
      if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET &&
          reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == address)
        found = true;
    freeifaddrs(list);
  }
  return found;
}

}  // namespace plinth
