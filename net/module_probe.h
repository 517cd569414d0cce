#pragma once
// One look at a module for the plant check: a connection bounded as every
// connect of the program, the status block and the statistics read, and the
// connection closed again at once, so that a module's few connection slots
// are never held. Nothing is written to the module.
#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "config/slave_record.h"
#include "net/modbus_registers.h"
#include "net/modbus_frames.h"

namespace plinth {

// Ends every probe that shares it, within moments: connects waiting for an
// answer fail at once, and reads waiting for a reply see their connection
// shut down. Probes started after Cancel end before they connect.
class ProbeCancel {
 public:
  ProbeCancel();
  ~ProbeCancel();
  ProbeCancel(const ProbeCancel&) = delete;
  ProbeCancel& operator=(const ProbeCancel&) = delete;

  void Cancel();
  bool Cancelled() const;
  // A descriptor that becomes readable on Cancel (for ConnectSocket).
  int WakeFd() const { return wakeFd_; }
  // A probe's socket while it is open; Enter is false once cancelled.
  bool Enter(int socket);
  void Leave(int socket);

 private:
  mutable std::mutex mutex_;
  bool cancelled_ = false;
  int wakeFd_;
  std::vector<int> open_;
};

enum class ConnectFault {
  kNone,
  kRefused,      // the host refused the connection
  kSilent,       // no answer within the connect bound
  kUnreachable,  // the system gave another reason (detail: errno)
  kCancelled,
};

struct ModuleProbe {
  ConnectFault connect = ConnectFault::kCancelled;  // until a connect succeeds or fails
  int connectError = 0;  // errno of kUnreachable
  bool statusRead = false;
  ModbusError statusError;  // why the status block was not read
  std::array<uint16_t, kStatusBlockWords> words{};  // host order; zero unless read
  bool statisticsRead = false;
  MacAddress mac{};

  bool Connected() const { return connect == ConnectFault::kNone; }
};

inline constexpr uint8_t kProbeUnit = 1;

// Connects to address:port within connectTimeoutMs, reads the status block
// and, unless the module gave no reply at all, the statistics (unit 1, as
// the module status window reads them), then closes the connection.
ModuleProbe ProbeModule(uint32_t addressNetworkOrder, uint16_t port, int connectTimeoutMs, ProbeCancel& cancel);

// "refused", "no answer within 1000 ms", "cancelled", or the system's reason.
std::string DescribeConnectFault(const ModuleProbe& probe, int connectTimeoutMs);

}  // namespace plinth
