#include "net/connect_worker.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <system_error>

#include "net/tcp_connect.h"

namespace plinth {

ConnectWorker::ConnectWorker(int socket, uint32_t addressNetworkOrder, uint16_t port, int timeoutMs)
    : socket_(socket),
      address_(addressNetworkOrder),
      port_(port),
      timeoutMs_(timeoutMs),
      cancelFd_(::eventfd(0, EFD_CLOEXEC)) {}

ConnectWorker::~ConnectWorker() {
  Cancel();
  Join();
  CloseSocket(socket_);
  CloseSocket(cancelFd_);
}

bool ConnectWorker::Start() {
  if (cancelFd_ < 0) return false;
  connected.store(0, std::memory_order_release);
  connecting.store(1, std::memory_order_release);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    connecting.store(0, std::memory_order_release);
    return false;
  }
  return true;
}

void ConnectWorker::Run() {
  if (ConnectSocket(socket_, address_, port_, timeoutMs_, cancelFd_)) connected.store(1, std::memory_order_release);
  connecting.store(0, std::memory_order_release);
}

void ConnectWorker::Cancel() {
  if (cancelFd_ >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(cancelFd_, &one, sizeof one);
  }
}

void ConnectWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

int ConnectWorker::TakeSocket() {
  if (thread_.joinable() || connected.load(std::memory_order_acquire) == 0) return -1;
  const int s = socket_;
  socket_ = -1;
  return s;
}

}  // namespace plinth
