// The BOOTP server driven by the main window, on loopback: the button, the
// rows that timer 1 makes of the server's tables, the indicator, and the
// shutdown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <cstring>

#include "../bootp/bootp_test_support.h"
#include "net/bootp_request.h"
#include "ui/bootp_control.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;
using plinth::testing::MainFixture;
using test::Ip;
using test::LoopbackModule;
using test::Mac;

BootpServerOptions LoopbackOptions(uint16_t clientPort) {
  BootpServerOptions o;
  o.serverPort = 0;
  o.clientPort = clientPort;
  o.bindAddress = Ip("127.0.0.1");
  o.replyAddress = Ip("127.0.0.1");
  return o;
}

// Runs the window's event loop until done() or the time is up.
bool RunUntil(const std::function<bool()>& done, int ms = 3000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

struct BootpWindow : MainFixture {
  BootpWindow() {
    bootp = new BootpControl(*window, LoopbackOptions(module.port), [this] { return now; });
    window->Timer1().setInterval(20);
    window->TimerPeriod() = 20;
  }
  ~BootpWindow() {
    if (bootp) bootp->StopForShutdown();
    WaitForBootpServer(net);
  }
  void SwitchOn() {
    Button("bootpButton")->click();
    ASSERT_TRUE(bootp->Server().WaitUntilBound(2s));
  }
  void Request(const MacAddress& mac, const char* ciaddr) {
    const BootpMessage request = MakeBootpRequest(mac, 7, ciaddr ? Ip(ciaddr) : 0);
    ASSERT_TRUE(module.Send(bootp->Server().BoundPort(), request.data(), request.size()));
  }
  std::string Indicator() const { return window->findChild<QLineEdit*>("bootpIndicatorEdit")->text().toStdString(); }

  LoopbackModule module;
  std::time_t now = 1000;
  BootpControl* bootp = nullptr;
};

TEST(BootpWindow, RoadOfAnUnknownModuleToAssigned) {
  BootpWindow f;
  f.net.hostName = "pc";
  f.SwitchOn();
  EXPECT_EQ(f.net.bootpRunning.load(), 1);

  // An unknown module asks: the next tick makes a "bootp" row with the
  // address it asked with.
  f.Request(Mac(7), "192.168.1.7");
  ASSERT_TRUE(RunUntil([&] { return f.window->RowCount() == 1; }));
  EXPECT_EQ(f.Cell(0, 1), "bootp");
  EXPECT_EQ(f.Cell(0, 2), "192.168.1.7");
  EXPECT_EQ(f.Cell(0, 3), "000a1b2c3d07");
  // Asking again adds no second row, and this time it is answered.
  f.Request(Mac(7), "192.168.1.7");
  const auto reply = f.module.Receive(2s);
  ASSERT_TRUE(reply.has_value());
  ASSERT_EQ(reply->size(), kBootpMessageSize);
  EXPECT_EQ((*reply)[0], 2);
  uint32_t yiaddr = 0;
  std::memcpy(&yiaddr, reply->data() + kBootpYiaddr, 4);
  EXPECT_EQ(yiaddr, Ip("192.168.1.7"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply->data() + kBootpSname)), "pc");
  ASSERT_TRUE(RunUntil([&] { return f.Cell(0, 1) == "assigned"; }));
  EXPECT_TRUE(f.window->Config().dataList.At(0)->bootpAssigned);
  EXPECT_EQ(f.window->RowCount(), 1);
  EXPECT_TRUE(f.prompts.shown.empty());
}

TEST(BootpWindow, RowsWaitWhileACommandHoldsTheList) {
  BootpWindow f;
  f.SwitchOn();
  int rowsSeenInDialog = -1;
  f.AnswerSlaveDialogs([&](SlaveConfigDialog& d, SlaveConfigLogic&) {
    f.Request(Mac(9), "10.0.0.9");
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 20);
    rowsSeenInDialog = f.window->RowCount();
    d.findChild<QPushButton*>("cancelButton")->click();
  });
  f.Button("addButton")->click();
  EXPECT_EQ(rowsSeenInDialog, 0);
  ASSERT_TRUE(RunUntil([&] { return f.window->RowCount() == 1; }));
  EXPECT_EQ(f.Cell(0, 1), "bootp");
  EXPECT_EQ(f.Cell(0, 2), "10.0.0.9");
}

TEST(BootpWindow, IndicatorAndSwitchingOffAndOnWhileStopping) {
  BootpWindow f;
  f.now = 5000;
  f.SwitchOn();
  f.now = 5010;
  ASSERT_TRUE(RunUntil([&] { return f.Indicator() == "< ? >"; }));
  f.now = 5012;
  ASSERT_TRUE(RunUntil([&] { return f.Indicator() == "<<< ? >>>"; }));

  // Off: the indicator goes, the thread waits for one more datagram.
  f.Button("bootpButton")->click();
  ASSERT_TRUE(RunUntil([&] { return f.Indicator().empty(); }));
  EXPECT_EQ(f.net.bootpStop.load(), 1);
  EXPECT_EQ(f.net.bootpRunning.load(), 1);
  // On again before it ended: the same thread serves on.
  f.Button("bootpButton")->click();
  EXPECT_EQ(f.net.bootpStop.load(), 0);
  EXPECT_EQ(f.bootp->Server().RunsStarted(), 1);
  f.Request(Mac(3), "10.0.0.3");
  ASSERT_TRUE(RunUntil([&] { return f.window->RowCount() == 1; }));
}

TEST(BootpWindow, ServerMessagesReachTheUserAndShutdownEndsTheThread) {
  // Someone else holds the port: "bind failed!" comes from the server
  // thread and is shown by the window.
  LoopbackModule holder;
  BootpServerOptions options = LoopbackOptions(holder.port);
  options.serverPort = holder.port;
  MainFixture f;
  auto* bootp = new BootpControl(*f.window, options);
  f.window->findChild<QPushButton*>("bootpButton")->click();
  ASSERT_TRUE(RunUntil([&] { return !f.prompts.Messages().empty(); }));
  EXPECT_EQ(f.prompts.Messages(), std::vector<std::string>{"bind failed!"});
  ASSERT_TRUE(RunUntil([&] { return f.net.bootpRunning.load() == 0; }));

  // A server that runs ends within the shutdown wait.
  BootpWindow g;
  g.SwitchOn();
  g.bootp->StopForShutdown();
  EXPECT_TRUE(WaitForBootpServer(g.net));
  g.bootp = nullptr;
  bootp->StopForShutdown();
}

}  // namespace
}  // namespace plinth
