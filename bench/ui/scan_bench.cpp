// One scan round over a loopback /24 with 20 simulated modules answering and
// the other hosts refusing: first without a window (the scanner alone), then
// through the main window's "S&can bus" with timer 1 running, where it also
// measures how late each tick of the 300 ms timer comes. Prints the figures.
// Usage: bench_scan [ROUNDS]
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "base/text_scan.h"
#include "logic/list_rows.h"
#include "net/scan_log.h"
#include "tests/support/running_sim.h"
#include "tests/support/scripted_prompts.h"
#include "ui/bootp_control.h"
#include "ui/main_dialog.h"
#include "ui/net_scan_control.h"

namespace plinth {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double kPacingLimitS = 254 * 0.050;

uint32_t Host(int host) { return htonl(0x7F000000u | (200u + uint32_t(getpid()) % 50u) << 16 | uint32_t(host)); }

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void PrintRound(const char* what, double seconds, size_t found) {
  std::printf("%-28s %6.2f s  %.3fx the pacing limit of %.1f s, %zu modules found\n", what, seconds,
              seconds / kPacingLimitS, kPacingLimitS, found);
}

double Headless(uint16_t port) {
  NetState net;
  RecordedMessages messages;
  ScanLog log;
  DataList list;
  ListRows rows(list, messages);
  NetScanner scanner(net, messages, {port, kConnectTimeoutMs, std::chrono::milliseconds(50), 1}, &log);
  const auto start = Clock::now();
  scanner.Start(FormatIpv4(Host(1)));
  while (!scanner.WaitUntilIdle(std::chrono::milliseconds(300))) net.rowChanges.Apply(rows, true);
  const double seconds = Seconds(Clock::now() - start);
  PrintRound("scanner alone", seconds, log.Found().size());
  return seconds;
}

void InWindow(uint16_t port) {
  ScanLog log;  // outlives the window, whose scanner reports to it
  NetState net;
  net.localAddrs.push_back(Host(1));
  testing::ScriptedPrompts prompts;
  MainDialog window(net, "", prompts);
  window.Initialise();
  window.show();
  new BootpControl(window, ProgramBootpOptions());  // its timer step shows the scan's address
  auto* scan = new NetScanControl(window, {port, kConnectTimeoutMs, std::chrono::milliseconds(50), 1}, &log);
  std::vector<double> lateMs;
  auto last = Clock::now();
  window.AddTimerHandler([&] {
    const auto now = Clock::now();
    lateMs.push_back(Seconds(now - last) * 1000 - MainDialog::kTimerPeriodMs);
    last = now;
  });
  const auto start = Clock::now();
  last = start;
  window.ScanButton()->click();
  if (!QTest::qWaitFor([&] { return scan->Scanner()->WaitUntilIdle(std::chrono::milliseconds(0)); }, 120000))
    std::printf("the scan did not end within 120 s\n");
  PrintRound("in the window", Seconds(Clock::now() - start), log.Found().size());
  if (lateMs.size() < 2) return;
  lateMs.erase(lateMs.begin());  // the first tick was not timed from a tick
  std::sort(lateMs.begin(), lateMs.end());
  std::printf("timer 1 during the scan: %zu ticks, late by median %.2f ms, p90 %.2f ms, max %.2f ms\n", lateMs.size(),
              lateMs[lateMs.size() / 2], lateMs[lateMs.size() * 9 / 10], lateMs.back());
}

}  // namespace
}  // namespace plinth

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
  const uint16_t port = plinth::test::UnusedPort();
  std::vector<plinth::SimModuleConfig> modules;
  for (int i = 0; i < 20; ++i) {
    plinth::SimModuleConfig m;
    m.address = plinth::Host(2 + i * 12), m.port = port, m.mac[5] = static_cast<uint8_t>(i);
    modules.push_back(m);
  }
  plinth::test::RunningSim sim(modules);
  if (!sim.Opened()) {
    std::fprintf(stderr, "simulator: %s\n", sim.Error().c_str());
    return 1;
  }
  std::printf("one round over %s/24, 20 modules answering, 233 hosts refusing\n",
              plinth::FormatIpv4(plinth::Host(0)).c_str());
  for (int r = 0; r < rounds; ++r) plinth::Headless(port);
  plinth::InWindow(port);
  return 0;
}
