// "S&can bus" in the main window against simulated modules on loopback.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "../modbus/scan_test_support.h"
#include "ui/bootp_control.h"
#include "ui/net_scan_control.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;
using test::ScanText;

bool RunUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10000); }

// Rows found, the field showing the host about to be tried, stop (keyboard)
// and resume from the field, refresh on the next round, and the two-stage
// Cancel while a probe waits on a module that never answers (up to 2 s).
TEST(ScanWindow, FindsStopsResumesAndCancelsInTwoStages) {
  const uint16_t port = test::UnusedPort();
  test::RunningSim sim({test::ScanModule(4, 11, port, 1218), test::ScanModule(4, 12, port),
                        test::ScanModule(4, 14, port, 1217, FaultMode::kNeverAnswer)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  ScanLog seen;  // outlives the window, whose scanner reports to it
  testing::MainFixture f({ScanText(4, 10)});
  f.window->TimerPeriod() = 20;
  new BootpControl(*f.window, ProgramBootpOptions());  // never switched on: its timer step shows the scan
  auto* scan = new NetScanControl(*f.window, {port, kConnectTimeoutMs, 10ms, 0}, &seen);
  QLineEdit* field = f.window->findChild<QLineEdit*>("scanAddressEdit");

  f.Button("scanButton")->click();
  ASSERT_TRUE(RunUntil([&] { return f.window->RowCount() == 2 && field->text().toStdString() != ScanText(4, 10); }));
  EXPECT_EQ(f.Cell(0, 0) + " " + f.Cell(0, 1) + " " + f.Cell(0, 2) + " " + f.Cell(0, 3) + " " + f.Cell(0, 4),
            "11 ok " + ScanText(4, 11) + " 0050c200000b 1218");
  f.Button("scanButton")->setFocus();
  QTest::keyClick(f.Button("scanButton"), Qt::Key_Space);
  ASSERT_TRUE(scan->Scanner()->WaitUntilIdle(5s));
  const std::string shown = field->text().toStdString();
  const size_t before = seen.Starts().size();
  const int readings = seen.Readings();
  f.Button("scanButton")->click();
  ASSERT_TRUE(RunUntil([&] { return seen.Readings() >= readings + 2; }));
  EXPECT_EQ(ScanText(4, seen.Starts()[before].host), shown);

  const size_t mark = seen.Starts().size();
  ASSERT_TRUE(RunUntil([&] {
    const auto s = seen.Starts();
    return std::any_of(s.begin() + static_cast<long>(mark), s.end(), [](auto& p) { return p.host == 14; });
  }));
  f.Button("cancelButton")->click();
  EXPECT_TRUE(scan->Scanner()->Stopped());
  EXPECT_EQ(f.prompts.Messages(), std::vector<std::string>{"Net-Scan now stopped, hit CANCEL again for final exit."});
  EXPECT_TRUE(f.window->isVisible());
  f.Button("cancelButton")->click();
  EXPECT_FALSE(f.window->isVisible());
  EXPECT_EQ(f.window->RowCount(), 2);  // the second round refreshed, added none
}

}  // namespace
}  // namespace plinth
