#include "net/module_status.h"

#include <arpa/inet.h>

#include <cstring>
#include <vector>

#include "config/slave_record.h"
#include "net/modbus_client.h"

namespace plinth {

ModuleStatus ReadModuleStatus(int socket, uint8_t unit) {
  ModuleStatus status;
  std::array<uint16_t, kStatusBlockWords> wire{};
  if (ReadNode(socket, unit, wire.data(), STATUS_BLOCK, kStatusBlockWords, &status.statusError)) {
    status.statusRead = true;
    for (size_t i = 0; i < wire.size(); ++i) status.words[i] = ntohs(wire[i]);
  }

  // A count of 0 or above 125 is refused by ReadNode without a request.
  const int textWords = status.words[kStatusTextWords];
  std::vector<char> text(2 * static_cast<size_t>(textWords) + 1, '\0');
  if (ReadNode(socket, unit, text.data(), kTextBlockAddress, textWords)) status.macField = status.textBlock = text.data();

  uint16_t timeout = 0;
  if (ReadNode(socket, unit, &timeout, kTimeoutRegister, 1)) {
    status.timeoutRead = true;
    status.timeoutMs = ntohs(timeout) * 10;
  }

  std::array<uint8_t, kStatisticsSize> statistics{};
  if (GetStatistics(socket, unit, statistics, &status.statisticsError)) {
    status.statisticsRead = true;
    MacAddress mac;
    std::memcpy(mac.data(), statistics.data() + kStatisticsMacOffset, mac.size());
    status.macField = FormatMac(mac);
  }
  return status;
}

}  // namespace plinth
