#pragma once
// The connect worker of "Connect to module": connects one socket to a
// module on its own thread while the user-interface thread shows the
// progress window and polls the worker's two flags. Each run has its own
// worker, so a late worker can never end the wait of a later run. Cancel
// wakes the worker at once; the destructor waits for it and closes the
// socket unless it was taken, so a cancelled run leaves nothing connected.
#include <atomic>
#include <cstdint>
#include <thread>

namespace plinth {

class ConnectWorker {
 public:
  // socket: an unconnected socket of OpenTcpSocket, owned from now on.
  // timeoutMs bounds the connect.
  ConnectWorker(int socket, uint32_t addressNetworkOrder, uint16_t port, int timeoutMs);
  ~ConnectWorker();
  ConnectWorker(const ConnectWorker&) = delete;
  ConnectWorker& operator=(const ConnectWorker&) = delete;

  // Sets connecting and starts the thread; false when it cannot be started.
  bool Start();
  // Ends the wait of the worker at once; it then fails.
  void Cancel();
  // Waits for the thread to end (at once after Cancel).
  void Join();
  // After Join, when connected: the connected socket, now the caller's.
  int TakeSocket();

  std::atomic<uint8_t> connecting{0};  // 1 while the thread runs
  std::atomic<uint8_t> connected{0};   // 1 once the connect succeeded

 private:
  void Run();

  int socket_;
  const uint32_t address_;
  const uint16_t port_;
  const int timeoutMs_;
  int cancelFd_;
  std::thread thread_;
};

}  // namespace plinth
