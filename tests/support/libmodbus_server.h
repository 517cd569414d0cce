#pragma once
// A libmodbus server on a thread of its own, one connection at a time; registers past registerCount give exceptions.
#include <modbus.h>
#include <atomic>
#include <mutex>
#include <thread>

namespace plinth::test {

class LibmodbusServer {
 public:
  explicit LibmodbusServer(const char* address = "127.0.0.1", int registerCount = 0x10000);  // at a free port
  ~LibmodbusServer();
  bool Listening() const { return listenFd_ >= 0; }
  uint16_t Port() const { return port_; }
  uint16_t Register(int address) { std::lock_guard lock(mutex_); return mapping_->tab_registers[address]; }
  void SetRegister(int address, uint16_t value) { std::lock_guard lock(mutex_); mapping_->tab_registers[address] = value; }

 private:
  void Serve();
  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* mapping_ = nullptr;
  std::mutex mutex_;  // guards mapping_ between the server thread and the test
  int listenFd_ = -1;
  std::atomic<int> clientFd_{-1};
  std::atomic<bool> stop_{false};
  uint16_t port_ = 0;
  std::thread thread_;
};

}  // namespace plinth::test
