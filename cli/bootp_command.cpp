#include "cli/bootp_command.h"

#include <net/if.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stop_token>
#include <thread>
#include <vector>
#include <nlohmann/json.hpp>

#include "base/text_scan.h"
#include "cli/command_support.h"
#include "cli/console_messages.h"
#include "cli/file_commands.h"
#include "config/configuration.h"
#include "config/mac_text.h"
#include "logic/bootp_report.h"
#include "logic/list_rows.h"
#include "logic/render_row.h"
#include "net/bootp_server.h"

namespace plinth {
namespace {

// What an event line shows of a datagram the server handled.
struct EventFields {
  BootpVerdict verdict = BootpVerdict::kIgnored;
  BootpIgnoreReason reason = BootpIgnoreReason::kNone;
  MacAddress mac{};
  int entry = -1;
  uint32_t address = 0;
  size_t size = 0;
  uint32_t from = 0;
  int interfaceIndex = 0;
  bool sendFailed = false;
};

// One thread puts, one takes, neither waits for the other: the server
// thread is never held up by the printing. Put fails when the ring is full.
class EventRing {
 public:
  static constexpr size_t kSize = 4096;
  bool Put(const EventFields& item) {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) == kSize) return false;
    items_[head % kSize] = item;
    head_.store(head + 1, std::memory_order_release);
    return true;
  }
  template <typename Take>
  void TakeAll(Take take) {
    size_t tail = tail_.load(std::memory_order_relaxed);
    for (const size_t head = head_.load(std::memory_order_acquire); tail != head; ++tail) take(items_[tail % kSize]);
    tail_.store(tail, std::memory_order_release);
  }

 private:
  std::array<EventFields, kSize> items_{};  // touched here, so the server thread takes no page faults
  std::atomic<size_t> head_{0};
  std::atomic<size_t> tail_{0};
};

// Event lines come from the server thread and the timer loop: one writer at
// a time, each line flushed so a pipe sees it at once. The server thread only
// puts its events into a ring (no lock, no system call between two requests); a writer thread
// prints them every few milliseconds, and the timer loop prints what is
// queued before its own lines, so lines keep their order.
class EventPrinter : public BootpEventSink, public Messages {
 public:
  explicit EventPrinter(bool json) : json_(json) {}
  // Starts the writer thread; after the stop signals are blocked, so that
  // it inherits the mask.
  void StartWriter() {
    writer_ = std::jthread([this](std::stop_token stop) {
      // Printing waits for the serving thread, never the other way round.
      const sched_param normal{};
      pthread_setschedparam(pthread_self(), SCHED_BATCH, &normal);
      setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
      std::mutex idle;
      std::condition_variable_any pause;
      std::unique_lock<std::mutex> lock(idle);
      while (!pause.wait_for(lock, stop, std::chrono::milliseconds(20), [] { return false; }) &&
             !stop.stop_requested())
        Flush();
    });
  }
  ~EventPrinter() override {
    writer_ = {};  // asks the writer to stop and joins it
    Flush();
  }

  void Print(const nlohmann::ordered_json& event, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fputs(Line(event, text).c_str(), stdout);
    std::fflush(stdout);
  }

  using Messages::Show;
  void Show(const std::string& text, const std::string& title) override {
    std::lock_guard<std::mutex> lock(mutex_);
    console_.Show(text, title);
  }

  void OnBootpEvent(const BootpEvent& e) override {
    const BootpHandling& h = e.handling;
    if (!ring_.Put({h.verdict, h.reason, h.mac, h.entry, h.address, e.size, e.from, e.interfaceIndex, e.sendFailed}))
      dropped_.fetch_add(1, std::memory_order_relaxed);
  }

  // Prints the queued events in the order they came.
  void Flush() {
    std::lock_guard<std::mutex> flushing(flushMutex_);
    std::string lines;
    ring_.TakeAll([&](const EventFields& e) { lines += EventLine(e); });
    if (const size_t dropped = dropped_.exchange(0, std::memory_order_relaxed))
      lines += Line({{"event", "unprinted"}, {"count", dropped}}, std::to_string(dropped) + " event lines not printed");
    if (lines.empty()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    std::fputs(lines.c_str(), stdout);  // one write for the batch
    std::fflush(stdout);
  }

  void OnRow(const char* kind, int row, const SlaveRecord& r) {
    const std::string mac = FormatMac(r.mac);
    Print({{"event", kind}, {"row", row}, {"macAddress", mac}, {"ipAddress", r.ipAddress}},
          std::string(kind) + " row " + std::to_string(row) + " " + mac + " " + r.ipAddress);
  }

 private:
  // Interface names are looked up once per index, off the serving thread.
  const std::string& InterfaceName(int index) {
    auto it = interfaceNames_.find(index);
    if (it != interfaceNames_.end()) return it->second;
    char name[IF_NAMESIZE] = "?";
    if (index) if_indextoname(static_cast<unsigned>(index), name);
    return interfaceNames_.emplace(index, name).first->second;
  }

  std::string EventLine(const EventFields& e) {
    const std::string mac = FormatMac(e.mac), ip = FormatIpv4(e.address);
    switch (e.verdict) {
      case BootpVerdict::kReply: {
        const std::string& name = InterfaceName(e.interfaceIndex);
        const char* kind = e.sendFailed ? "reply-failed" : "reply";
        return Line({{"event", kind}, {"macAddress", mac}, {"ipAddress", ip}, {"interface", name}},
              std::string(kind) + " " + mac + " " + ip + " via " + name);
      }
      case BootpVerdict::kRecorded:
        return Line({{"event", "recorded"}, {"macAddress", mac}, {"ipAddress", ip}, {"entry", e.entry}},
              "recorded " + mac + " " + ip + " (unknown requester)");
      case BootpVerdict::kAlreadyRecorded:
        if (IsZeroMac(e.mac))  // matches the first free entry: never recorded
          return Line({{"event", "ignored"}, {"reason", "zero MAC"}, {"macAddress", mac}},
                      "ignored " + mac + " (MAC address all zero, not recorded)");
        return Line({{"event", "again"}, {"macAddress", mac}, {"entry", e.entry}}, "again " + mac + " (already recorded)");
      case BootpVerdict::kDropped:
        return Line({{"event", "dropped"}, {"macAddress", mac}}, "dropped " + mac + " (request table full)");
      case BootpVerdict::kIgnored:
        return Line({{"event", "ignored"}, {"reason", IgnoreReasonText(e.reason)}, {"size", e.size},
               {"from", FormatIpv4(e.from)}},
              "ignored " + std::string(IgnoreReasonText(e.reason)) + " " + std::to_string(e.size) +
                  " bytes from " + FormatIpv4(e.from));
    }
    return {};
  }

  // A JSON line carries the format version first, and the slave keys of
  // show --json for addresses (texts from a file may not be UTF-8).
  std::string Line(const nlohmann::ordered_json& event, const std::string& text) const {
    return (json_ ? JsonText(Versioned(event), -1) : text) + "\n";
  }

  bool json_;
  std::mutex mutex_;  // one line at a time
  ConsoleMessages console_;
  EventRing ring_;  // events not yet printed
  std::atomic<size_t> dropped_{0};
  std::mutex flushMutex_;  // one Flush at a time, so lines keep their order
  std::map<int, std::string> interfaceNames_;
  std::jthread writer_;  // last: it stops before the rest goes
};

// "MAC=IP" into a row of the list; false with a message when it does not
// read or its MAC address was given before.
bool AddAssignRow(const std::string& pair, DataList& dataList, std::set<uint64_t>& given) {
  const size_t eq = pair.find('=');
  MacAddress mac{};
  if (eq == std::string::npos || !ReadMacExact(pair.substr(0, eq), mac) || IsZeroMac(mac) ||
      ParseIpv4(pair.substr(eq + 1)) == 0) {
    std::fprintf(stderr,
                 "--assign %s: expected MAC=IP, the MAC address as 12 hex digits (':' or '-' between bytes "
                 "allowed), e.g. 000a1b2c3d4e=192.168.1.20\n",
                 pair.c_str());
    return false;
  }
  if (!given.insert(PackMac(mac)).second) {
    std::fprintf(stderr, "--assign %s: MAC address %s is given twice\n", pair.c_str(), FormatMac(mac).c_str());
    return false;
  }
  auto record = std::make_unique<SlaveRecord>();
  record->macAddress = pair.substr(0, eq);
  record->ipAddress = pair.substr(eq + 1);
  if (dataList.Append(std::move(record)) < 0) {
    std::fprintf(stderr, "--assign %s: dataList full\n", pair.c_str());
    return false;
  }
  return true;
}

// Names every row with a MAC address that the BOOTP table did not take, and why.
void ReportUnregistered(const DataList& dataList, const BootpTables& tables) {
  for (int i = 0; i < dataList.Count(); ++i) {
    const SlaveRecord& r = *dataList.At(i);
    if (IsZeroMac(r.mac)) continue;
    const uint32_t ip = ParseIpv4(r.ipAddress);
    const BootpEntry* held = nullptr;
    for (const BootpEntry& e : tables.table)
      if (!held && e.valid.load() && e.mac.load() == PackMac(r.mac)) held = &e;
    if (held && held->ipAddress.load() == ip) continue;
    const std::string why = ip == 0 ? "it has no IP address"
                            : held  ? "its MAC address is registered for " + FormatIpv4(held->ipAddress.load())
                                    : "the table holds " + std::to_string(BootpTables::kSize) + " modules and is full";
    std::fprintf(stderr, "not registered: row %d, node %s, MAC %s, IP %s: %s\n", i,
                 r.node.empty() ? "-" : r.node.c_str(), FormatMac(r.mac).c_str(), r.ipAddress.c_str(), why.c_str());
  }
}

// After "bind failed!": which port, the system's reason and what to do.
void PrintBindHint(const BootpCommandOptions& options, int error) {
  std::fprintf(stderr, "bootp: cannot bind UDP port %u on %s: %s\n", options.serverPort, options.bindAddress.c_str(),
               std::strerror(error));
  if (error == EACCES || error == EPERM) {
    char self[4096] = "plinthctl";
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) self[n] = '\0';
    std::fprintf(stderr,
                 "Ports below 1024 need root or the capability cap_net_bind_service. The Debian package gives it to "
                 "plinthctl; for a program built by hand, once: sudo setcap cap_net_bind_service=+ep %s (or run it "
                 "as root).\n",
                 self);
  } else if (error == EADDRINUSE) {
    std::fprintf(stderr,
                 "Another BOOTP or DHCP server (or another plinthctl bootp) serves that port: stop it first.\n");
  } else if (error == EADDRNOTAVAIL) {
    std::fprintf(stderr, "--bind must be an address of this machine.\n");
  }
}

std::string LocalHostName() {
  char name[300] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace

int BootpCommand(const BootpCommandOptions& options) {
  BootpServerOptions server = ProgramBootpOptions();
  server.serverPort = options.serverPort;
  server.clientPort = options.clientPort;
  server.bindAddress = ParseIpv4(options.bindAddress);
  server.replyAddress = ParseIpv4(options.replyAddress);
  if ((server.bindAddress == 0 && options.bindAddress != "0.0.0.0") || server.replyAddress == 0) {
    std::fprintf(stderr, "bootp: --bind and --reply take dotted IPv4 addresses\n");
    return 2;
  }

  EventPrinter printer(options.json);
  Configuration config;
  if (!options.configPath.empty() && !LoadConfigFile(options.configPath, config)) return 1;
  std::set<uint64_t> given;
  for (const std::string& pair : options.assign)
    if (!AddAssignRow(pair, config.dataList, given)) return 2;

  StopSignals stop;  // before any thread starts, so that every thread inherits the mask
  printer.StartWriter();

  NetState net;
  net.hostName = LocalHostName();
  ListRows rows(config.dataList, printer, &net.bootp);
  rows.RenderAll();  // registers every row with a MAC address
  ReportUnregistered(config.dataList, net.bootp);
  int registered = 0;
  for (const BootpEntry& e : net.bootp.table) registered += e.valid.load() ? 1 : 0;

  UdpThread udp(net, printer, server, &printer);
  if (!udp.SwitchOn() || !udp.WaitUntilBound(std::chrono::seconds(5))) {
    if (const int error = udp.BindError()) PrintBindHint(options, error);
    return 1;
  }
  printer.Print({{"event", "serving"}, {"bind", options.bindAddress}, {"port", udp.BoundPort()},
                 {"reply", options.replyAddress}, {"replyPort", options.clientPort}, {"registered", registered}},
                "serving " + options.bindAddress + ":" + std::to_string(udp.BoundPort()) + ", replies to " +
                    options.replyAddress + ":" + std::to_string(options.clientPort) + ", " +
                    std::to_string(registered) + " registered");

  AssignmentReporter reporter(net, config.dataList, rows, printer);
  BootpReportFields fields;
  fields.bootpButtonChecked = true;
  fields.bootpStartTime = std::time(nullptr);
  for (;;) {
    if (stop.Wait(std::chrono::milliseconds(options.tickMilliseconds))) break;
    printer.Flush();
    if (!net.bootpRunning.load()) return 1;  // the server gave up; its message is out
    const BootpReportResult result = reporter.Tick(fields);
    std::vector<int> bootpRows = result.appendedRows;  // new rows, and rows whose module asks again
    bootpRows.insert(bootpRows.end(), result.askingRows.begin(), result.askingRows.end());
    for (int row : bootpRows) {
      const SlaveRecord& r = *config.dataList.At(row);
      printer.OnRow("bootp", row, r);
      // Showing the row registered it when it carries an address.
      for (const BootpEntry& e : net.bootp.table)
        if (e.valid.load() && e.mac.load() == PackMac(r.mac)) printer.OnRow("registered", row, r);
    }
    for (int row : result.assignedRows) printer.OnRow("assigned", row, *config.dataList.At(row));
  }
  const bool ended = ShutdownBootpServer(udp, printer);
  printer.Flush();
  printer.Print({{"event", "stopped"}}, "stopped");
  return ended ? 0 : 1;
}

}  // namespace plinth
