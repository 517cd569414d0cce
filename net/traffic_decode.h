#pragma once
// Traffic log entries in words: the Modbus/TCP frame (transaction, unit,
// function by name, start register, count, values, or the exception by name
// and code), the BOOTP message (op, transaction id, client MAC, offered
// address) or the connect attempt and its outcome; and the text and JSON
// Lines forms the log is printed and saved in.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/traffic_log.h"

namespace plinth {

struct DecodedTraffic {
  bool error = false;     // a failed connect, send or receive, an exception, a malformed frame
  std::string errorText;  // why, in words; empty when not an error
  std::string summary;    // the frame or the attempt in words

  // Modbus/TCP
  std::optional<uint16_t> transactionId;
  std::optional<uint8_t> unit;
  std::optional<uint8_t> functionCode;  // without the exception bit
  std::string functionName;
  std::optional<uint16_t> start;
  std::optional<uint16_t> count;
  std::vector<uint16_t> values;
  std::optional<uint8_t> exceptionCode;
  std::string exceptionName;
  std::string moduleMac;  // of a statistics reply

  // BOOTP
  std::optional<uint8_t> op;
  std::optional<uint32_t> xid;
  std::string clientMac;
  std::string offeredAddress;  // yiaddr of a reply
};

DecodedTraffic DecodeTraffic(const TrafficEntry& entry);

// "Read Holding Registers" for 3, ...; "function N" for others.
std::string ModbusFunctionName(uint8_t function);
// The exception's name as a heading: "ILLEGAL DATA ADDRESS" for 2, ...;
// "exception N" for codes Modbus names not.
std::string ExceptionHeading(uint8_t code);

// "Modbus", "BOOTP" or "connect".
const char* TrafficKindName(TrafficKind kind);
// "192.168.0.1:502".
std::string EndpointText(const TrafficEndpoint& endpoint);
// Local time as "2025-06-01 12:00:00.123456".
std::string TrafficTimeText(int64_t timeUs);

// One line without its end: time, "ERROR" for an error, kind, the two ends
// (from -> to) and the summary.
std::string TrafficTextLine(const TrafficEntry& entry);
// One JSON object on one line, with "formatVersion": 1.
std::string TrafficJsonLine(const TrafficEntry& entry);

}  // namespace plinth
