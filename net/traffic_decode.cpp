#include "net/traffic_decode.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/text_scan.h"
#include "net/bootp_request.h"
#include "net/modbus_client.h"
#include "net/modbus_frames.h"

namespace plinth {
namespace {

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFF);
  return text;
}

uint16_t Word(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] << 8 | b[at + 1]); }

// The system's reason in lower case ("connection refused").
std::string Reason(int error) {
  std::string text = std::strerror(error);
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && !(text.size() > 1 && text[1] >= 'A' && text[1] <= 'Z'))
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

void Fail(DecodedTraffic& d, std::string why) {
  d.error = true;
  if (d.errorText.empty()) d.errorText = std::move(why);
}

// Register values, two bytes each from offset at, count of them.
void TakeValues(DecodedTraffic& d, const std::vector<uint8_t>& b, size_t at, size_t count) {
  for (size_t i = 0; i < count && at + 2 * i + 1 < b.size(); ++i) d.values.push_back(Word(b, at + 2 * i));
}

std::string ValuesText(const std::vector<uint16_t>& values) {
  constexpr size_t kShown = 16;
  std::string text = " values";
  for (size_t i = 0; i < values.size() && i < kShown; ++i) text += " " + Hex4(values[i]);
  if (values.size() > kShown) text += " ... (" + std::to_string(values.size() - kShown) + " more)";
  return text;
}

void DecodeModbus(const TrafficEntry& e, DecodedTraffic& d) {
  const std::vector<uint8_t>& b = e.bytes;
  const bool reply = e.direction == TrafficDirection::kReceived;
  if (e.error) {
    Fail(d, e.error == ETIMEDOUT && reply
                ? "no reply within " + std::to_string(kReplyTimeoutMs) + " ms"
                : e.error == ECONNRESET && reply ? "connection closed by the module" : Reason(e.error));
  }
  if (b.size() < 8) {
    if (!b.empty()) Fail(d, "frame cut short: " + std::to_string(e.size) + " bytes");
    d.summary = reply ? (b.empty() ? "no reply" : "partial reply of " + std::to_string(b.size()) + " bytes")
                      : "request not sent";
    if (reply && e.requestFunction) d.summary += " to " + ModbusFunctionName(e.requestFunction);
    return;
  }
  d.transactionId = Word(b, 0);
  d.unit = b[6];
  const uint8_t code = b[7];
  d.functionCode = static_cast<uint8_t>(code & 0x7F);
  d.functionName = ModbusFunctionName(*d.functionCode);
  std::string text = "tid " + std::to_string(*d.transactionId) + " unit " + std::to_string(*d.unit) + " " +
                     d.functionName + " (" + std::to_string(*d.functionCode) + ")";
  const size_t length = static_cast<size_t>(Word(b, 4));
  if (e.size != length + 6) Fail(d, "length field says " + std::to_string(length + 6) + " bytes, frame has " +
                                        std::to_string(e.size));
  if (code & 0x80) {
    if (b.size() >= 9) {
      d.exceptionCode = b[8];
      d.exceptionName = ExceptionHeading(b[8]);
      text += " exception " + d.exceptionName + " (" + std::to_string(b[8]) + ")";
      Fail(d, d.exceptionName + " (" + std::to_string(b[8]) + ")");
    } else {
      text += " exception without its code";
      Fail(d, "exception reply cut short");
    }
    d.summary = text;
    return;
  }
  if (reply) text += " reply";
  auto need = [&](size_t size) {
    if (b.size() >= size) return true;
    Fail(d, "frame cut short: " + std::to_string(e.size) + " bytes");
    return false;
  };
  switch (code) {
    case 3:
      if (!reply) {
        if (!need(12)) break;
        d.start = Word(b, 8);
        d.count = Word(b, 10);
      } else {
        if (e.requestFunction == 3) {
          d.start = e.requestStart;
          d.count = e.requestCount;
        }
        if (!need(9)) break;
        const size_t bytes = b[8];
        if (bytes != b.size() - 9 || (d.count && bytes != 2u * *d.count))
          Fail(d, "byte count " + std::to_string(bytes) + " does not fit the reply");
        TakeValues(d, b, 9, bytes / 2);
      }
      break;
    case 16:
      if (!need(12)) break;
      d.start = Word(b, 8);
      d.count = Word(b, 10);
      if (!reply && need(13)) TakeValues(d, b, 13, *d.count);
      break;
    case 8:
      if (!need(12)) break;
      text += " sub-function " + Hex4(Word(b, 8));
      if (reply && b.size() >= 19) {
        MacAddress mac;
        std::memcpy(mac.data(), &b[13], 6);
        d.moduleMac = FormatMac(mac);
      }
      break;
    default:
      break;
  }
  if (d.start) text += " start " + Hex4(*d.start) + " (" + std::to_string(*d.start) + ")";
  if (d.count) text += " count " + std::to_string(*d.count);
  if (!d.values.empty()) text += ValuesText(d.values);
  if (!d.moduleMac.empty()) text += " MAC " + d.moduleMac;
  d.summary = text;
}

void DecodeBootp(const TrafficEntry& e, DecodedTraffic& d) {
  const std::vector<uint8_t>& b = e.bytes;
  if (e.error && e.direction == TrafficDirection::kSent) Fail(d, "reply not sent: " + Reason(e.error));
  if (b.size() < kBootpChaddr + 6) {
    Fail(d, "ignored: " + std::to_string(e.size) + " bytes, a BOOTP message has 300");
    d.summary = "datagram of " + std::to_string(e.size) + " bytes";
    return;
  }
  d.op = b[kBootpOp];
  d.xid = static_cast<uint32_t>(b[4]) << 24 | static_cast<uint32_t>(b[5]) << 16 | static_cast<uint32_t>(b[6]) << 8 |
          b[7];
  d.clientMac = FormatMac(ChaddrMac(b));
  char xid[16];
  std::snprintf(xid, sizeof xid, "0x%08X", *d.xid);
  const char* op = *d.op == kBootRequest ? "BOOTREQUEST" : *d.op == kBootReply ? "BOOTREPLY" : nullptr;
  std::string text = op ? op : "op " + std::to_string(*d.op);
  text += std::string(" xid ") + xid + " client " + d.clientMac;
  if (*d.op == kBootReply) {
    d.offeredAddress = FormatIpv4(ReadAddressField(b, kBootpYiaddr));
    text += " offered " + d.offeredAddress;
  } else {
    text += " ciaddr " + FormatIpv4(ReadAddressField(b, kBootpCiaddr));
  }
  if (e.direction == TrafficDirection::kReceived && e.error) {
    const char* why = e.size != kBootpMessageSize ? nullptr
                      : b[kBootpOp] != kBootRequest ? "op is not 1 (BOOTREQUEST)"
                      : b[kBootpHtype] != 1         ? "htype is not 1 (Ethernet)"
                                                    : "hlen is not 6";
    Fail(d, why ? std::string("ignored: ") + why
                : "ignored: " + std::to_string(e.size) + " bytes, a BOOTP message has 300");
  }
  d.summary = text;
}

void DecodeConnect(const TrafficEntry& e, DecodedTraffic& d) {
  d.summary = "to " + EndpointText(e.remote);
  if (e.error) {
    Fail(d, e.error == ECANCELED ? "cancelled" : Reason(e.error));
    d.summary += " failed (" + d.errorText + ")";
  } else {
    d.summary += " from " + EndpointText(e.local) + " ok";
  }
}

void JsonString(std::string& out, const std::string& text) {
  out += '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
    else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else out += static_cast<char>(c);
  }
  out += '"';
}

}  // namespace

std::string ModbusFunctionName(uint8_t function) {
  switch (function) {
    case 1: return "Read Coils";
    case 2: return "Read Discrete Inputs";
    case 3: return "Read Holding Registers";
    case 4: return "Read Input Registers";
    case 5: return "Write Single Coil";
    case 6: return "Write Single Register";
    case 8: return "Diagnostics";
    case 15: return "Write Multiple Coils";
    case 16: return "Write Multiple Registers";
    case 23: return "Read/Write Multiple Registers";
    default: return "function " + std::to_string(function);
  }
}

std::string ExceptionHeading(uint8_t code) {
  const char* name = ModbusExceptionName(code);
  if (!name) return "exception " + std::to_string(code);
  std::string heading(name);
  for (char& c : heading) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return heading;
}

const char* TrafficKindName(TrafficKind kind) {
  switch (kind) {
    case TrafficKind::kModbus: return "Modbus";
    case TrafficKind::kBootp: return "BOOTP";
    case TrafficKind::kConnect: return "connect";
  }
  return "?";
}

std::string EndpointText(const TrafficEndpoint& endpoint) {
  return FormatIpv4(endpoint.address) + ":" + std::to_string(endpoint.port);
}

std::string TrafficTimeText(int64_t timeUs) {
  const std::time_t seconds = static_cast<std::time_t>(timeUs / 1000000);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[48];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(text + n, sizeof text - n, ".%06lld", static_cast<long long>(timeUs % 1000000));
  return text;
}

DecodedTraffic DecodeTraffic(const TrafficEntry& entry) {
  DecodedTraffic d;
  switch (entry.kind) {
    case TrafficKind::kModbus: DecodeModbus(entry, d); break;
    case TrafficKind::kBootp: DecodeBootp(entry, d); break;
    case TrafficKind::kConnect: DecodeConnect(entry, d); break;
  }
  return d;
}

std::string TrafficTextLine(const TrafficEntry& entry) {
  const DecodedTraffic d = DecodeTraffic(entry);
  std::string line = TrafficTimeText(entry.timeUs) + (d.error ? " ERROR " : " ") + TrafficKindName(entry.kind);
  if (entry.kind != TrafficKind::kConnect) {
    const bool sent = entry.direction == TrafficDirection::kSent;
    line += " " + EndpointText(sent ? entry.local : entry.remote) + " -> " +
            EndpointText(sent ? entry.remote : entry.local);
  }
  line += " " + d.summary;
  if (d.error && d.summary.find(d.errorText) == std::string::npos) line += ": " + d.errorText;
  return line;
}

std::string TrafficJsonLine(const TrafficEntry& entry) {
  const DecodedTraffic d = DecodeTraffic(entry);
  std::string out = "{\"formatVersion\":1,\"sequence\":" + std::to_string(entry.sequence) +
                    ",\"timeUs\":" + std::to_string(entry.timeUs) + ",\"time\":";
  JsonString(out, TrafficTimeText(entry.timeUs));
  const std::string kinds[] = {"modbus", "bootp", "connect"};
  out += ",\"kind\":\"" + kinds[static_cast<int>(entry.kind)] + "\",\"direction\":\"" +
         (entry.direction == TrafficDirection::kSent ? "sent" : "received") + "\",\"local\":\"" +
         EndpointText(entry.local) + "\",\"remote\":\"" + EndpointText(entry.remote) +
         "\",\"size\":" + std::to_string(entry.size) + ",\"error\":" + (d.error ? "true" : "false");
  auto field = [&out](const char* key, const std::string& value) {
    if (value.empty()) return;
    out += ",\"";
    out += key;
    out += "\":";
    JsonString(out, value);
  };
  auto number = [&out](const char* key, auto value) {
    if (value) out += std::string(",\"") + key + "\":" + std::to_string(+*value);
  };
  field("errorText", d.errorText);
  field("summary", d.summary);
  number("transactionId", d.transactionId);
  number("unit", d.unit);
  number("function", d.functionCode);
  field("functionName", d.functionName);
  number("start", d.start);
  number("count", d.count);
  if (!d.values.empty()) {
    out += ",\"values\":[";
    for (size_t i = 0; i < d.values.size(); ++i) out += (i ? "," : "") + std::to_string(d.values[i]);
    out += "]";
  }
  number("exceptionCode", d.exceptionCode);
  field("exceptionName", d.exceptionName);
  field("moduleMac", d.moduleMac);
  number("op", d.op);
  number("xid", d.xid);
  field("clientMac", d.clientMac);
  field("offeredAddress", d.offeredAddress);
  std::string hex;
  for (uint8_t byte : entry.bytes) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", byte);
    hex += two;
  }
  field("bytes", hex);
  out += "}";
  return out;
}

}  // namespace plinth
