#pragma once
// What the BOOTP server does with one datagram, without sockets: check it,
// answer a registered module with a reply, or record an unknown requester.
// The server thread, plinthctl and the fuzz target all go through here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "config/slave_record.h"
#include "net/bootp_tables.h"

namespace plinth {

// BOOTP messages (RFC 951) are 300 bytes; the offsets the server reads.
inline constexpr size_t kBootpMessageSize = 300;
inline constexpr size_t kBootpOp = 0;
inline constexpr size_t kBootpHtype = 1;
inline constexpr size_t kBootpHlen = 2;
inline constexpr size_t kBootpXid = 4;
inline constexpr size_t kBootpCiaddr = 12;
inline constexpr size_t kBootpYiaddr = 16;
inline constexpr size_t kBootpSiaddr = 20;
inline constexpr size_t kBootpChaddr = 28;
inline constexpr size_t kBootpSname = 44;
inline constexpr size_t kBootpSnameSize = 64;
inline constexpr uint8_t kBootRequest = 1;
inline constexpr uint8_t kBootReply = 2;

using BootpMessage = std::array<uint8_t, kBootpMessageSize>;

enum class BootpVerdict {
  kIgnored,          // wrong size, op, htype or hlen: nothing recorded
  kReply,            // registered module: reply holds the answer to send
  kRecorded,         // unknown requester, recorded in the request table
  kAlreadyRecorded,  // unknown requester that was recorded before
  kDropped,          // unknown requester, request table full
};

enum class BootpIgnoreReason { kNone, kSize, kOp, kHtype, kHlen };

struct BootpHandling {
  BootpVerdict verdict = BootpVerdict::kIgnored;
  BootpIgnoreReason reason = BootpIgnoreReason::kNone;
  MacAddress mac{};      // first 6 bytes of chaddr (when the datagram was checked)
  int entry = -1;        // BootpTable entry (reply) or request table entry
  uint32_t address = 0;  // yiaddr of the reply, or the address recorded; network order
  BootpMessage reply{};  // only for kReply
};

// Handles one received datagram. A registered MAC gets a reply built from the
// request (yiaddr = its address, siaddr 0, sname = hostName, op 2); the
// entry's assigned flag is left for the caller to set once the reply is sent.
// An unknown MAC is recorded with ciaddr, or with testAddress when that is
// not 0. Only the server thread may call this for a given table.
BootpHandling HandleBootpRequest(std::span<const uint8_t> datagram, BootpTables& tables,
                                 std::string_view hostName, uint32_t testAddress);

// Marks a BootpTable entry as answered (after its reply went out), unless
// the entry was withdrawn and given to another MAC address meanwhile.
void MarkBootpAssigned(BootpTables& tables, int entry, const MacAddress& repliedTo);

// Short text of a reason, for event lines.
const char* IgnoreReasonText(BootpIgnoreReason reason);

// A BOOTREQUEST as a module without an address sends it.
BootpMessage MakeBootpRequest(const MacAddress& mac, uint32_t xid, uint32_t ciaddr);

// The MAC address in a message's chaddr.
MacAddress ChaddrMac(std::span<const uint8_t> message);

// A 32-bit field of a message, kept in network byte order.
uint32_t ReadAddressField(std::span<const uint8_t> message, size_t offset);

}  // namespace plinth
