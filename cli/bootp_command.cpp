#include "cli/bootp_command.h"

#include <net/if.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <nlohmann/json.hpp>

#include "cli/console_messages.h"
#include "config/configuration.h"
#include "config/render_row.h"
#include "config/text_scan.h"
#include "net/bootp_report.h"
#include "net/bootp_rows.h"
#include "net/bootp_server.h"

namespace plinth {
namespace {

// Event lines come from the server thread and the timer loop: one writer at
// a time, each line flushed so a pipe sees it at once. The server thread only
// queues its events (no system call between two requests); a writer thread
// prints them every few milliseconds, and the timer loop prints what is
// queued before its own lines, so lines keep their order.
class EventPrinter : public BootpEventSink, public Messages {
 public:
  explicit EventPrinter(bool json) : json_(json) {
    queue_.reserve(1024);
    spare_.reserve(1024);
  }
  // Starts the writer thread; after the stop signals are blocked, so that
  // it inherits the mask.
  void StartWriter() {
    writer_ = std::jthread([this](std::stop_token stop) {
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

  void Print(const nlohmann::json& event, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fputs(json_ ? (event.dump() + "\n").c_str() : (text + "\n").c_str(), stdout);
    std::fflush(stdout);
  }

  using Messages::Show;
  void Show(const std::string& text, const std::string& title) override {
    std::lock_guard<std::mutex> lock(mutex_);
    console_.Show(text, title);
  }

  void OnBootpEvent(const BootpEvent& e) override {
    std::lock_guard<std::mutex> lock(queueMutex_);
    queue_.push_back(e);
  }

  // Prints the queued events in the order they came.
  void Flush() {
    std::lock_guard<std::mutex> flushing(flushMutex_);
    {
      std::lock_guard<std::mutex> lock(queueMutex_);
      spare_.swap(queue_);
    }
    for (const BootpEvent& e : spare_) PrintEvent(e);
    spare_.clear();
  }

  void OnRow(const char* kind, int row, const SlaveRecord& r) {
    const std::string mac = FormatMac(r.mac);
    Print({{"event", kind}, {"row", row}, {"mac", mac}, {"ip", r.ipAddress}},
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

  void PrintEvent(const BootpEvent& e) {
    const BootpHandling& h = e.handling;
    const std::string mac = FormatMac(h.mac), ip = FormatIpv4(h.address);
    switch (h.verdict) {
      case BootpVerdict::kReply: {
        const std::string& name = InterfaceName(e.interfaceIndex);
        const char* kind = e.sendFailed ? "reply-failed" : "reply";
        Print({{"event", kind}, {"mac", mac}, {"ip", ip}, {"interface", name}},
              std::string(kind) + " " + mac + " " + ip + " via " + name);
        break;
      }
      case BootpVerdict::kRecorded:
        Print({{"event", "recorded"}, {"mac", mac}, {"ip", ip}, {"entry", h.entry}},
              "recorded " + mac + " " + ip + " (unknown requester)");
        break;
      case BootpVerdict::kAlreadyRecorded:
        Print({{"event", "again"}, {"mac", mac}, {"entry", h.entry}}, "again " + mac + " (already recorded)");
        break;
      case BootpVerdict::kDropped:
        Print({{"event", "dropped"}, {"mac", mac}}, "dropped " + mac + " (request table full)");
        break;
      case BootpVerdict::kIgnored:
        Print({{"event", "ignored"}, {"reason", IgnoreReasonText(h.reason)}, {"size", e.size},
               {"from", FormatIpv4(e.from)}},
              "ignored " + std::string(IgnoreReasonText(h.reason)) + " " + std::to_string(e.size) +
                  " bytes from " + FormatIpv4(e.from));
        break;
    }
  }

  bool json_;
  std::mutex mutex_;  // one line at a time
  ConsoleMessages console_;
  std::mutex queueMutex_;
  std::vector<BootpEvent> queue_;  // events not yet printed
  std::mutex flushMutex_;          // one Flush at a time, so batches keep their order
  std::vector<BootpEvent> spare_;
  std::map<int, std::string> interfaceNames_;
  std::jthread writer_;  // last: it stops before the rest goes
};

// "MAC=IP" into a row of the list; false with a message when it does not read.
bool AddAssignRow(const std::string& pair, DataList& dataList) {
  const size_t eq = pair.find('=');
  MacAddress mac{};
  if (eq != std::string::npos) ReadMacText(pair.substr(0, eq), mac);
  if (eq == std::string::npos || IsZeroMac(mac) || ParseIpv4(pair.substr(eq + 1)) == 0) {
    std::fprintf(stderr, "--assign %s: expected MAC=IP, e.g. 000a1b2c3d4e=192.168.1.20\n", pair.c_str());
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
  if (!options.configPath.empty() && !ReadConfiguration(options.configPath, config, printer).ok) {
    std::fprintf(stderr, "%s: could not be read\n", options.configPath.c_str());
    return 1;
  }
  for (const std::string& pair : options.assign)
    if (!AddAssignRow(pair, config.dataList)) return 2;

  // The signals are taken by sigtimedwait below, never by a handler: block
  // them before any thread starts so every thread inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  printer.StartWriter();

  NetState net;
  net.hostName = LocalHostName();
  RenderedRows rows(config.dataList, net.bootp, printer);
  rows.RenderAll();  // registers every row with a MAC address
  int registered = 0;
  for (const BootpEntry& e : net.bootp.table) registered += e.valid.load() ? 1 : 0;

  UdpThread udp(net, printer, server, &printer);
  if (!udp.SwitchOn() || !udp.WaitUntilBound(std::chrono::seconds(5))) return 1;
  printer.Print({{"event", "serving"}, {"bind", options.bindAddress}, {"port", udp.BoundPort()},
                 {"reply", options.replyAddress}, {"replyPort", options.clientPort}, {"registered", registered}},
                "serving " + options.bindAddress + ":" + std::to_string(udp.BoundPort()) + ", replies to " +
                    options.replyAddress + ":" + std::to_string(options.clientPort) + ", " +
                    std::to_string(registered) + " registered");

  AssignmentReporter reporter(net, config.dataList, rows, printer);
  BootpReportFields fields;
  fields.bootpButtonChecked = true;
  fields.bootpStartTime = std::time(nullptr);
  const timespec tick{options.tickMilliseconds / 1000, (options.tickMilliseconds % 1000) * 1000000L};
  for (;;) {
    const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
    if (signal == SIGINT || signal == SIGTERM) break;
    if (signal < 0 && errno != EAGAIN && errno != EINTR) break;
    printer.Flush();
    if (!net.bootpRunning.load()) return 1;  // the server gave up; its message is out
    const BootpReportResult result = reporter.Tick(fields);
    for (int row : result.appendedRows) {
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
