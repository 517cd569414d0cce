// "S&can bus" in the main window against simulated modules on loopback: the
// rows it finds, the IP-Address field during the scan, stop and resume from
// that field, and the two-stage Cancel while a probe waits on a module that
// never answers.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include "../modbus/scan_test_support.h"
#include "ui/bootp_control.h"
#include "ui/net_scan_control.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;

bool RunUntil(const std::function<bool()>& done, int limitMs = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!done())
    if (timer.elapsed() > limitMs) return false;
    else QApplication::processEvents(QEventLoop::AllEvents, 20);
  return true;
}

TEST(ScanWindow, FindsStopsResumesAndCancelsInTwoStages) {
  const uint16_t port = test::UnusedPort();
  test::RunningSim sim({test::ScanModule(4, 11, port, 1218), test::ScanModule(4, 12, port, 1217),
                        test::ScanModule(4, 14, port, 1217, FaultMode::kNeverAnswer)});
  ASSERT_TRUE(sim.Opened()) << sim.Error();
  testing::MainFixture f({test::ScanText(4, 10)});
  f.window->TimerPeriod() = 20;
  new BootpControl(*f.window, ProgramBootpOptions());  // never switched on: only its timer step
  test::ScanRecorder seen;
  auto* scan = new NetScanControl(*f.window, {port, kConnectTimeoutMs, 10ms, 0}, &seen);
  QLineEdit* field = f.window->findChild<QLineEdit*>("scanAddressEdit");

  f.Button("scanButton")->click();
  ASSERT_TRUE(RunUntil([&] { return f.window->RowCount() == 2 && field->text().toStdString() != test::ScanText(4, 10); }));
  EXPECT_EQ(f.Cell(0, 0) + " " + f.Cell(0, 1) + " " + f.Cell(0, 2) + " " + f.Cell(0, 3) + " " + f.Cell(0, 4),
            "11 ok " + test::ScanText(4, 11) + " 0050c200000b 1218");
  EXPECT_EQ(f.Cell(1, 2), test::ScanText(4, 12));

  // Stopped from the keyboard; switched on again, it goes on from the
  // address the field shows, and the next round refreshes the rows.
  f.Button("scanButton")->setFocus();
  QTest::keyClick(f.Button("scanButton"), Qt::Key_Space);
  ASSERT_TRUE(scan->Scanner()->WaitUntilIdle(5s));
  const std::string shown = field->text().toStdString();
  const size_t before = seen.Get(&test::ScanRecorder::starts).size();
  const size_t foundBefore = seen.Get(&test::ScanRecorder::found).size();
  f.Button("scanButton")->click();
  ASSERT_TRUE(RunUntil([&] { return seen.Get(&test::ScanRecorder::starts).size() > before; }));
  EXPECT_EQ(test::ScanText(4, seen.Get(&test::ScanRecorder::starts)[before].first), shown);
  ASSERT_TRUE(RunUntil([&] { return seen.Get(&test::ScanRecorder::found).size() >= foundBefore + 2; }));

  // Cancel while the probe of the module that never answers waits for it
  // (up to the client's 2 s): stopped, the message, open; Cancel again closes.
  const size_t mark = seen.Get(&test::ScanRecorder::starts).size();
  ASSERT_TRUE(RunUntil([&] {
    const auto starts = seen.Get(&test::ScanRecorder::starts);
    return std::any_of(starts.begin() + static_cast<long>(mark), starts.end(), [](auto& s) { return s.first == 14; });
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
