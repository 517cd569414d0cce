#include "net/bootp_request.h"

#include <algorithm>
#include <cstring>

namespace plinth {
namespace {

void WriteAddressField(BootpMessage& message, size_t offset, uint32_t address) {
  std::memcpy(message.data() + offset, &address, 4);
}

// The first entry of the request table that answers for mac: the one that
// already holds it, or the first free one where it is recorded. The MAC is
// compared before the used flag, so an all-zero MAC matches the first free
// entry and is never recorded.
BootpHandling RecordRequester(BootpTables& tables, const MacAddress& mac, uint32_t address) {
  BootpHandling result;
  result.mac = mac;
  const uint64_t packed = PackMac(mac);
  for (int i = 0; i < BootpTables::kSize; ++i) {
    BootpRequestEntry& e = tables.requests[static_cast<size_t>(i)];
    const bool used = e.used.load(std::memory_order_acquire);
    if (e.mac.load(std::memory_order_relaxed) == packed) {
      result.verdict = BootpVerdict::kAlreadyRecorded;
      result.entry = i;
      result.address = e.ipAddress.load(std::memory_order_relaxed);
      return result;
    }
    if (used) continue;
    e.mac.store(packed, std::memory_order_relaxed);
    e.ipAddress.store(address, std::memory_order_relaxed);
    e.used.store(1, std::memory_order_release);
    result.verdict = BootpVerdict::kRecorded;
    result.entry = i;
    result.address = address;
    return result;
  }
  result.verdict = BootpVerdict::kDropped;
  result.address = address;
  return result;
}

}  // namespace

uint32_t ReadAddressField(std::span<const uint8_t> message, size_t offset) {
  uint32_t address = 0;
  std::memcpy(&address, message.data() + offset, 4);
  return address;
}

MacAddress ChaddrMac(std::span<const uint8_t> message) {
  MacAddress mac{};
  std::copy_n(message.begin() + kBootpChaddr, mac.size(), mac.begin());
  return mac;
}

BootpHandling HandleBootpRequest(std::span<const uint8_t> datagram, BootpTables& tables,
                                 std::string_view hostName, uint32_t testAddress) {
  BootpHandling result;
  if (datagram.size() != kBootpMessageSize) {
    result.reason = BootpIgnoreReason::kSize;
    return result;
  }
  result.mac = ChaddrMac(datagram);
  if (datagram[kBootpOp] != kBootRequest) result.reason = BootpIgnoreReason::kOp;
  else if (datagram[kBootpHtype] != 1) result.reason = BootpIgnoreReason::kHtype;
  else if (datagram[kBootpHlen] != 6) result.reason = BootpIgnoreReason::kHlen;
  if (result.reason != BootpIgnoreReason::kNone) return result;

  const uint64_t packed = PackMac(result.mac);
  for (int i = 0; i < BootpTables::kSize; ++i) {
    const BootpEntry& e = tables.table[static_cast<size_t>(i)];
    if (!e.valid.load(std::memory_order_acquire)) break;
    // A withdrawn entry keeps its place with MAC and address blanked: it
    // answers no one. RemoveBootpEntry blanks the address first and the MAC
    // second, so the MAC is read first: whoever sees it blanked (or sees it
    // still there and then the address blanked) gets no reply, and the
    // address is never paired with a MAC read after the removal.
    if (e.mac.load(std::memory_order_acquire) != packed) continue;
    const uint32_t address = e.ipAddress.load(std::memory_order_acquire);
    if (address == 0) continue;
    result.verdict = BootpVerdict::kReply;
    result.entry = i;
    result.address = address;
    std::copy(datagram.begin(), datagram.end(), result.reply.begin());
    WriteAddressField(result.reply, kBootpYiaddr, address);
    WriteAddressField(result.reply, kBootpSiaddr, 0);
    uint8_t* sname = result.reply.data() + kBootpSname;
    std::fill_n(sname, kBootpSnameSize, uint8_t{0});
    const size_t length = std::min<size_t>(hostName.find('\0') == std::string_view::npos
                                               ? hostName.size()
                                               : hostName.find('\0'),
                                           kBootpSnameSize - 1);
    std::copy_n(hostName.begin(), length, sname);
    result.reply[kBootpOp] = kBootReply;
    return result;
  }

  const uint32_t address = testAddress != 0 ? testAddress : ReadAddressField(datagram, kBootpCiaddr);
  return RecordRequester(tables, result.mac, address);
}

void MarkBootpAssigned(BootpTables& tables, int entry, const MacAddress& repliedTo) {
  if (entry < 0 || entry >= BootpTables::kSize) return;
  BootpEntry& e = tables.table[static_cast<size_t>(entry)];
  if (e.mac.load(std::memory_order_acquire) != PackMac(repliedTo)) return;
  e.assigned.store(1, std::memory_order_release);
}

const char* IgnoreReasonText(BootpIgnoreReason reason) {
  switch (reason) {
    case BootpIgnoreReason::kNone: return "none";
    case BootpIgnoreReason::kSize: return "size";
    case BootpIgnoreReason::kOp: return "op";
    case BootpIgnoreReason::kHtype: return "htype";
    case BootpIgnoreReason::kHlen: return "hlen";
  }
  return "?";
}

BootpMessage MakeBootpRequest(const MacAddress& mac, uint32_t xid, uint32_t ciaddr) {
  BootpMessage message{};
  message[kBootpOp] = kBootRequest;
  message[kBootpHtype] = 1;
  message[kBootpHlen] = 6;
  std::memcpy(message.data() + kBootpXid, &xid, 4);
  WriteAddressField(message, kBootpCiaddr, ciaddr);
  std::copy(mac.begin(), mac.end(), message.begin() + kBootpChaddr);
  return message;
}

}  // namespace plinth
