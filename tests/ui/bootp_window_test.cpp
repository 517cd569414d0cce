// The BOOTP server driven by the main window, on loopback: the button, the
// rows that timer 1 makes of the server's tables, the indicator, and the
// shutdown.
#include <fcntl.h>
#include <gtest/gtest.h>

#include "../bootp/bootp_test_support.h"
#include "net/bootp_request.h"
#include "ui/bootp_control.h"
#include "ui_fixture.h"

namespace plinth {
namespace {

using namespace std::chrono_literals;
using plinth::testing::RunUntil;
using test::Ip;
using test::Mac;

struct BootpWindow : testing::MainFixture {
  BootpWindow() { window->TimerPeriod() = 20; }
  ~BootpWindow() {
    bootp->StopForShutdown();
    WaitForBootpServer(net);
  }
  void Click() { Button("bootpButton")->click(); }
  void Request(const MacAddress& mac, const char* ciaddr) {
    ASSERT_TRUE(module.Send(bootp->Server().BoundPort(), MakeBootpRequest(mac, 7, Ip(ciaddr))));
  }
  std::string Indicator() const { return window->findChild<QLineEdit*>("bootpIndicatorEdit")->text().toStdString(); }

  test::LoopbackModule module;
  std::time_t now = 1000;
  BootpControl* bootp = new BootpControl(*window, test::LoopbackOptions(module.port), [this] { return now; });
};

TEST(BootpWindow, RoadOfAnUnknownModuleToAssigned) {
  BootpWindow f;
  f.Click();
  ASSERT_TRUE(f.bootp->Server().WaitUntilBound(2s));
  // An unknown module asks: a tick makes a "bootp" row with its address.
  f.Request(Mac(7), "192.168.1.7");
  ASSERT_TRUE(RunUntil([&] { return f.window->RowCount() == 1; }));
  EXPECT_EQ(f.Cell(0, 1) + " " + f.Cell(0, 2) + " " + f.Cell(0, 3), "bootp 192.168.1.7 000a1b2c3d07");
  // Asking again adds no second row, and this time it is answered.
  f.Request(Mac(7), "192.168.1.7");
  const auto reply = f.module.Receive(5s);
  ASSERT_TRUE(reply.has_value() && reply->size() == kBootpMessageSize);
  EXPECT_EQ(ReadAddressField(*reply, kBootpYiaddr), Ip("192.168.1.7"));
  ASSERT_TRUE(RunUntil([&] { return f.Cell(0, 1) == "assigned"; }));
  EXPECT_TRUE(f.window->Config().dataList.At(0)->bootpAssigned);
  EXPECT_EQ(f.window->RowCount(), 1);
  EXPECT_TRUE(f.prompts.shown.empty());
}

TEST(BootpWindow, IndicatorAndSwitchingOffAndOnWhileStopping) {
  BootpWindow f;
  f.now = 5000;
  f.Click();
  ASSERT_TRUE(f.bootp->Server().WaitUntilBound(2s));
  f.now = 5010;
  ASSERT_TRUE(RunUntil([&] { return f.Indicator() == "< ? >"; }));
  f.now = 5012;
  ASSERT_TRUE(RunUntil([&] { return f.Indicator() == "<<< ? >>>"; }));
  // Off: the indicator goes, the thread waits for one more datagram.
  f.Click();
  ASSERT_TRUE(RunUntil([&] { return f.Indicator().empty(); }));
  EXPECT_EQ(f.net.bootpStop.load() * 10 + f.net.bootpRunning.load(), 11);
  // On again before it ended: the same thread serves on.
  f.Click();
  EXPECT_EQ(f.net.bootpStop.load(), 0);
  EXPECT_EQ(f.bootp->Server().RunsStarted(), 1);
  f.Request(Mac(3), "10.0.0.3");
  ASSERT_TRUE(RunUntil([&] { return f.window->RowCount() == 1; }));
  // A server that runs ends within the shutdown wait.
  f.bootp->StopForShutdown();
  EXPECT_TRUE(WaitForBootpServer(f.net));
}

TEST(BootpWindow, ServerMessagesReachTheUser) {
  // Someone else holds the port: "bind failed!" comes from the server
  // thread and is shown by the window.
  test::LoopbackModule holder;
  BootpServerOptions options = test::LoopbackOptions(holder.port);
  options.serverPort = holder.port;
  testing::MainFixture f;
  auto* bootp = new BootpControl(*f.window, options);
  f.Button("bootpButton")->click();
  ASSERT_TRUE(RunUntil([&] { return !f.prompts.Messages().empty(); }));
  EXPECT_EQ(f.prompts.Messages(), std::vector<std::string>{"bind failed!"});
  ASSERT_TRUE(RunUntil([&] { return f.net.bootpRunning.load() == 0; }));
  bootp->StopForShutdown();
}


TEST(BootpWindow, AReceiveErrorIsShownAndTheButtonGoesOff) {
  BootpWindow f;
  f.Click();
  ASSERT_TRUE(f.bootp->Server().WaitUntilBound(2s));
  const int fd = test::ServerSocket(f.bootp->Server().BoundPort());
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(dup2(devNull, fd), fd);  // the receive after the next fails for good
  close(devNull);
  f.Request(Mac(2), "0.0.0.0");
  ASSERT_TRUE(RunUntil([&] { return !f.Button("bootpButton")->isChecked(); }));
  EXPECT_EQ(f.prompts.Messages(), std::vector<std::string>{"recvfrom() failed!"});
}

}  // namespace
}  // namespace plinth
