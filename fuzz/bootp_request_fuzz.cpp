// Feeds arbitrary datagrams to the BOOTP server's request handling and the
// timer step that turns its results into rows: nothing may crash, and what
// it answers must be exactly what the server promises. The whole input is
// one datagram; then its 300-byte pieces are fed one after another, as a
// stream of requests.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "logic/bootp_report.h"
#include "logic/list_rows.h"
#include "net/bootp_request.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// What a reply must be: the request with op 2, yiaddr, siaddr 0 and sname.
void CheckHandling(std::span<const uint8_t> d, const plinth::BootpHandling& h) {
  using namespace plinth;
  const bool wellFormed = d.size() == kBootpMessageSize && d[0] == 1 && d[1] == 1 && d[2] == 6;
  Check(wellFormed == (h.verdict != BootpVerdict::kIgnored));
  if (h.verdict != BootpVerdict::kReply) return;
  Check(h.reply[0] == kBootReply);
  Check(std::equal(d.begin() + 1, d.begin() + kBootpYiaddr, h.reply.begin() + 1));
  Check(ReadAddressField(h.reply, kBootpYiaddr) == h.address && h.address != 0);
  Check(ReadAddressField(h.reply, kBootpSiaddr) == 0);
  Check(std::equal(d.begin() + 24, d.begin() + kBootpSname, h.reply.begin() + 24));
  Check(h.reply[107] == 0);
  Check(std::equal(d.begin() + 108, d.end(), h.reply.begin() + 108));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace plinth;
  NetState net;
  net.hostName = "fuzz-host";
  DataList dataList;
  RecordedMessages messages;
  AddBootpEntry(net.bootp, MacAddress{0, 0x0a, 0x1b, 0x2c, 0x3d, 0x01}, "10.0.0.1", messages);
  AddBootpEntry(net.bootp, MacAddress{0, 0x0a, 0x1b, 0x2c, 0x3d, 0x02}, "10.0.0.2", messages);
  RemoveBootpEntry(net.bootp, "10.0.0.2");
  const uint32_t testAddress = size > 0 && (data[size - 1] & 1) ? 0x0100000a : 0;

  std::span<const uint8_t> whole(data, size);
  auto feed = [&](std::span<const uint8_t> datagram) {
    const BootpHandling h = HandleBootpRequest(datagram, net.bootp, net.hostName, testAddress);
    CheckHandling(datagram, h);
    if (h.verdict == BootpVerdict::kReply) MarkBootpAssigned(net.bootp, h.entry, h.mac);
  };
  feed(whole);
  for (size_t at = 0; at + kBootpMessageSize <= size; at += kBootpMessageSize)
    feed(whole.subspan(at, kBootpMessageSize));

  // The timer step over what was recorded: one row per recorded requester.
  ListRows rows(dataList, messages, &net.bootp);
  AssignmentReporter reporter(net, dataList, rows, messages, [] { return std::time_t{0}; });
  BootpReportFields fields;
  reporter.Tick(fields);
  int used = 0;
  for (const BootpRequestEntry& e : net.bootp.requests) used += e.used.load() ? 1 : 0;
  Check(dataList.Count() == used);
  reporter.Tick(fields);
  Check(dataList.Count() == used);
  return 0;
}
