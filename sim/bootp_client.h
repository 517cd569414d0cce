#pragma once
// The BOOTP side of a simulated module without a stored address: it
// broadcasts a BOOTREQUEST every interval until a BOOTREPLY for its MAC
// address arrives, hands the address over, and waits until it is sent back
// to BOOTP (the IP flash flag written 0).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "config/slave_record.h"

namespace plinth {

struct BootpClientOptions {
  uint16_t serverPort = 67;
  uint16_t clientPort = 68;            // replies arrive here (shared: SO_REUSEADDR); 0: any
  uint32_t serverAddress = 0xFFFFFFFF;  // network order; requests go here
  uint32_t bindAddress = 0;             // network order
  std::string interfaceName;            // when set: send and receive on this interface only
  std::chrono::milliseconds interval{2000};
};

class BootpClient {
 public:
  // Called on the client's thread with the address of the reply (network order).
  using AddressHandler = std::function<void(uint32_t address)>;

  BootpClient(const MacAddress& mac, BootpClientOptions options, AddressHandler onAddress);
  ~BootpClient();
  BootpClient(const BootpClient&) = delete;
  BootpClient& operator=(const BootpClient&) = delete;

  // Opens the socket and starts asking; false with the reason in error.
  bool Start(std::string& error);
  // Back to BOOTP: asks again from now on.
  void Restart();
  void Stop();

  bool Asking() const { return asking_.load(std::memory_order_acquire); }
  int RequestsSent() const { return sent_.load(std::memory_order_acquire); }
  uint32_t Address() const { return address_.load(std::memory_order_acquire); }
  const MacAddress& Mac() const { return mac_; }
  // The port replies arrive on, once started.
  uint16_t Port() const { return port_; }

 private:
  void Run();
  void SendRequest();
  void ReceiveReplies();

  const MacAddress mac_;
  const BootpClientOptions options_;
  const AddressHandler onAddress_;
  const uint32_t xid_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> asking_{true};
  std::atomic<int> sent_{0};
  std::atomic<uint32_t> address_{0};
};

// Adds address/prefix to a network interface with iproute2 (inside the
// simulator's network namespace); true when it is there afterwards.
bool AddInterfaceAddress(const std::string& interfaceName, uint32_t address, int prefixLength);

}  // namespace plinth
