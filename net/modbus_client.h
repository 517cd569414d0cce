#pragma once
// The Modbus/TCP client: one request and, where one is expected, its reply,
// on a socket the caller has connected to port 502 of a module. The calls
// keep no state, never retry, never close the socket and show no messages.
// Every wait for a reply is bounded by kReplyTimeoutMs; a reply split over
// several TCP segments is read on until its expected length. Each request
// carries its own transaction identifier: a reply that carries another
// (not 0) answers an earlier request that gave up on it, and is read past.
#include <cstdint>
#include <span>

#include "net/modbus_frames.h"
#include "net/modbus_registers.h"

namespace plinth {

inline constexpr int kReplyTimeoutMs = 2000;

// Each call takes an optional error, filled with the reason when the call
// gives false (net/modbus_frames.h: ModbusError, DescribeModbusError).

// Function 3: reads count (1..125) registers from start into dest (2 * count
// bytes, wire order). dest is untouched unless the result is true.
bool ReadNode(int socket, uint8_t unit, void* dest, uint16_t start, int count, ModbusError* error = nullptr);

// Function 16: writes count (1..123) registers of source (2 * count bytes,
// wire order) from start. The unit identifier on the wire is always 0.
bool WriteNode(int socket, uint8_t unit, const void* source, uint16_t start, int count,
               ModbusError* error = nullptr);

// Sets the IP flash flag (true: keep the address; false: back to BOOTP). The
// module's acknowledgement is left unread on the socket.
void WriteFlashFlag(int socket, bool keepAddress);

// The same request (register 0xF410 written through unit 0), then waits for
// the module's acknowledgement within the reply bound: true once it came.
bool WriteFlashFlagAcknowledged(int socket, bool keepAddress, ModbusError* error = nullptr);

// Function 8, sub-function 0x0015: the reply from its function code on goes
// to dest; the MAC address is at kStatisticsMacOffset.
bool GetStatistics(int socket, uint8_t unit, std::span<uint8_t, kStatisticsSize> dest,
                   ModbusError* error = nullptr);

}  // namespace plinth
