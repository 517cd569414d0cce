#pragma once
// The BOOTP server: UdpThread answers BOOTREQUESTs of registered modules
// with a BOOTREPLY broadcast and records unknown requesters, until it is
// switched off. One socket stays bound for the whole run; replies leave
// through the interface the request came in on.
//
// How the window drives it. One UdpThread lives as long as the main window:
//   UdpThread bootpServer{net, windowMessages, ProgramBootpOptions()};
// "Boot&P server" released while up (switching on):
//   bootpStartTime = std::time(nullptr); bootpServer.SwitchOn(); reporter.NewServerRun();
//   (SwitchOn shows "UdpThread failed!" itself and returns false then)
// released while down (switching off):
//   bootpServer.SwitchOff();
// shutdown, before the records are destroyed:
//   ShutdownBootpServer(bootpServer, windowMessages);  // StopBootpServer, wait <= 5 s
// The server's messages ("bind failed!", ...) are shown from the server
// thread: the window's Messages must carry them to its own thread and may
// block until the user answers, but must not block once the window is gone.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "base/messages.h"
#include "net/bootp_request.h"
#include "net/net_state.h"

namespace plinth {

struct BootpServerOptions {
  uint16_t serverPort = 67;            // 0: any free port (tests); see BoundPort()
  uint16_t clientPort = 68;
  uint32_t bindAddress = 0;            // network order; 0.0.0.0
  uint32_t replyAddress = 0xFFFFFFFF;  // network order; 255.255.255.255
  uint32_t testAddress = 0;            // recorded for every unknown requester when not 0
};

// The program's settings: the real ports and addresses, and the test address
// from "VARNEL_TESTIPADDR" (an unset or unreadable value means none).
BootpServerOptions ProgramBootpOptions();
uint32_t ReadTestAddressFromEnvironment();

// One datagram as the server saw it, for headless event lines.
struct BootpEvent {
  BootpHandling handling;      // verdict, reason, MAC, entry, address
  size_t size = 0;             // bytes received
  uint32_t from = 0;           // sender, network order
  int interfaceIndex = 0;      // interface the request arrived on
  bool sendFailed = false;     // for a reply: sendto() failed
};

class BootpEventSink {
 public:
  virtual ~BootpEventSink() = default;
  // Called on the server thread after each datagram handled while serving,
  // between the reply and the next receive: it must not block or make
  // system calls (hand the event to another thread).
  virtual void OnBootpEvent(const BootpEvent& event) = 0;
};

class UdpThread {
 public:
  UdpThread(NetState& net, Messages& messages, BootpServerOptions options,
            BootpEventSink* events = nullptr);
  // Asks a thread still running to end and waits for it.
  ~UdpThread();
  UdpThread(const UdpThread&) = delete;
  UdpThread& operator=(const UdpThread&) = delete;

  // Switched on: bootpStop = 0 and, unless a thread is still running (one
  // that was asked to stop keeps serving, even one that has just seen the
  // stop), a new thread. False, after "UdpThread failed!", when no thread
  // could be created.
  bool SwitchOn();
  // Switched off: the thread ends after the next datagram to its port.
  void SwitchOff();

  // Waits until the thread has bound its socket or given up; true if bound.
  bool WaitUntilBound(std::chrono::milliseconds limit);
  // The port the socket is bound to, 0 while not bound.
  uint16_t BoundPort() const { return boundPort_.load(std::memory_order_acquire); }
  // The system's error number of the last failed bind, 0 after a bind that
  // succeeded (for callers that can say more than "bind failed!").
  int BindError() const { return bindError_.load(std::memory_order_acquire); }
  // Threads started so far (a switch-on while stopping starts none).
  int RunsStarted() const { return runs_.load(std::memory_order_acquire); }
  // The last run ended on a receive error ("recvfrom() failed!" was shown):
  // the server is off until switched on again.
  bool Failed() const { return failed_.load(std::memory_order_acquire); }
  const BootpServerOptions& Options() const { return options_; }
  NetState& Net() { return net_; }

 private:
  struct Batch;
  void Run();
  // With bootpStop set: clears bootpRunning and says the thread ends, under
  // the lock that SwitchOn takes. False when the stop was taken back.
  bool EndsNow();
  void EndWithError(const char* message);
  bool OpenSocket();
  void Serve();
  void CloseSocket();

  NetState& net_;
  Messages& messages_;
  const BootpServerOptions options_;
  BootpEventSink* events_;
  std::thread thread_;
  std::mutex stateMutex_;   // the thread's decision to end against SwitchOn
  std::mutex socketMutex_;  // guards fd_ against the destructor's wake-up
  int fd_ = -1;
  std::atomic<uint16_t> boundPort_{0};
  std::atomic<int> bindError_{0};
  std::atomic<int> runs_{0};       // threads started
  std::atomic<int> gaveUp_{0};     // runs that ended before or at binding
  std::atomic<bool> failed_{false};
};

// Asks the server to end: bootpStop = 1 and one 300-byte zero datagram to its
// port to wake it. Messages: "socket() failed!", "could not get authority to
// BROADCAST messages!", "sendto() failed for killing udp!".
void StopBootpServer(NetState& net, Messages& messages, uint32_t address, uint16_t port);
void StopBootpServer(UdpThread& server, Messages& messages);

// The shutdown wait: tests bootpRunning every 10 ms, at most 500 times.
// True when the server ended in time.
bool WaitForBootpServer(NetState& net);

// StopBootpServer, then WaitForBootpServer.
bool ShutdownBootpServer(UdpThread& server, Messages& messages);

}  // namespace plinth
