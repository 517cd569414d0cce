#pragma once
// The Modbus/TCP side of the simulator: one thread that listens for every
// module that has an address, on that address and its port, and answers the
// requests of all their connections.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_module.h"

namespace plinth {

class SimServer {
 public:
  SimServer();
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Before Open.
  void AddModule(std::shared_ptr<SimModule> module);
  // Lines on what the server does go here (nullptr: quiet).
  void SetLog(FILE* log) { log_ = log; }

  // Binds the listeners of the modules that have an address. A module with
  // port 0 gets a free port (SimModule::Port). False, with the reason in
  // error, when a listener cannot be bound.
  bool Open(std::string& error);

  // Serves until RequestStop. A module that gains or loses its address is
  // picked up within 100 ms (or at once after Wake).
  void Run();

  // Both may be called from any thread; RequestStop also from a signal handler.
  void RequestStop();
  void Wake();

  const std::vector<std::shared_ptr<SimModule>>& Modules() const { return modules_; }

 private:
  struct Listener;
  struct Connection;
  bool Listen(Listener& listener, std::string& error);
  void SyncListeners();
  // Accepts every waiting connection of listener.
  void Accept(Listener& listener);
  void PauseAccepting(int error);
  // False when the connection is to be closed.
  bool Receive(Connection& connection);
  void Send(Connection& connection, const std::vector<uint8_t>& reply);
  void CloseConnection(Connection& connection);
  void CloseListener(Listener& listener);
  void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

  std::vector<std::shared_ptr<SimModule>> modules_;
  std::vector<std::unique_ptr<Listener>> listeners_;
  std::vector<std::unique_ptr<Connection>> connections_;
  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
  bool acceptPaused_ = false;  // out of descriptors: listeners are not polled
  std::chrono::steady_clock::time_point acceptRetryAt_;
  bool descriptorsWarned_ = false;
  FILE* log_ = nullptr;
};

}  // namespace plinth
