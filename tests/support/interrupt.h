#pragma once
// Ctrl-C for a command under test that runs on this thread.
#include <pthread.h>
#include <signal.h>
#include <chrono>
#include <thread>

namespace plinth::test {

// Runs body and sends SIGINT to this thread after delay. SIGINT is blocked here meanwhile, so that it waits for
// the command to take it rather than ending the test.
template <typename Body>
auto InterruptedAfter(std::chrono::milliseconds delay, Body body) {
  sigset_t interrupt, saved;
  sigemptyset(&interrupt), sigaddset(&interrupt, SIGINT);
  pthread_sigmask(SIG_BLOCK, &interrupt, &saved);
  std::thread ctrlC([delay, self = pthread_self()] { std::this_thread::sleep_for(delay), pthread_kill(self, SIGINT); });
  auto result = body();
  ctrlC.join();
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  return result;
}

}  // namespace plinth::test
