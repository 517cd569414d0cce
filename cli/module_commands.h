#pragma once
// plinthctl's commands on a live module over Modbus/TCP. Each returns the
// exit status: 0 done, 1 the module did not answer as it should (a message
// names its address, port and the reason), 2 bad input (checked before any
// connection), 128 + the signal when SIGINT or SIGTERM ended io.
#include <string>

namespace plinth {

// The fields of the module status dialog, as text or JSON.
int StatusCommand(const std::string& ip, int port, bool asJson);
// Sets the IP flash flag: true keeps the module's address ("flash"),
// false sends it back to BOOTP ("reset"), and waits for the module's
// acknowledgement within the Modbus client's bound.
int FlashCommand(const std::string& ip, int port, bool keepAddress);
// The I/O test: cycles exchanges 100 ms apart; setText are output words
// 1, 2, ... as hex, applied before the first exchange. SIGINT or SIGTERM
// ends it between two exchanges.
int IoCommand(const std::string& ip, int port, int cycles, const std::string& setText);

}  // namespace plinth
