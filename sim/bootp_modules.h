#pragma once
// The BOOTP side of plinth-sim: every module that waits for an address asks
// for one with its own BootpClient; a reply gives it the address (added to
// the network interface first, inside a namespace) and the server starts
// serving Modbus/TCP there. Writing 0 to a module's IP flash flag sends it
// back to BOOTP; writing 1 makes it keep its address.
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/bootp_client.h"
#include "sim/sim_server.h"

namespace plinth {

struct SimBootpOptions {
  BootpClientOptions client;
  int prefixLength = 24;  // of an address added to client.interfaceName
};

class SimBootp {
 public:
  // server must outlive this object; log may be null.
  SimBootp(SimServer& server, SimBootpOptions options, FILE* log);
  ~SimBootp();

  // Starts the clients of the modules waiting for BOOTP and takes every
  // module's flash flag writes. False with the reason in error.
  bool Start(std::string& error);

 private:
  struct Slot;
  bool StartClient(Slot& slot, std::string& error);
  void OnAddress(Slot& slot, uint32_t address);
  void OnFlashFlag(Slot& slot, bool keepAddress);

  SimServer& server_;
  const SimBootpOptions options_;
  FILE* log_;
  std::mutex mutex_;  // clients are created on the Modbus thread too
  std::vector<std::unique_ptr<Slot>> slots_;
};

}  // namespace plinth
