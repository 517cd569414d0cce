// The plinth-sim program itself: it starts the modules it is given, answers,
// and stops cleanly on SIGTERM and SIGINT.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "config/text_scan.h"
#include "net/module_status.h"
#include "running_sim.h"

extern char** environ;

namespace plinth {
namespace {

// The program started with args, its standard output on a pipe.
struct Program {
  explicit Program(const std::vector<std::string>& args, bool errorsToOut = false) {
    std::vector<char*> argv{const_cast<char*>(PLINTH_SIM_PATH)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    if (errorsToOut) posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    if (posix_spawn(&pid, PLINTH_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out = fds[0];
  }
  ~Program() { ::close(out); }
  std::string ReadLine() {  // up to the first newline
    std::string line;
    for (char c; ::read(out, &c, 1) == 1 && c != '\n';) line += c;
    return line;
  }
  int ExitStatus() {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_t pid = -1;
  int out = -1;
};

TEST(SimProgram, ServesItsModulesStopsOnSignalsAndRefusesWhatItCannotRead) {
  for (int sig : {SIGTERM, SIGINT}) {
    const uint16_t port = test::UnusedPort();
    Program sim({"--port", std::to_string(port), "--module", "ip=127.0.0.60,id=1218,mac=0050c2abcdef"});
    ASSERT_GT(sim.pid, 0);
    // The line comes once the module listens.
    EXPECT_EQ(sim.ReadLine(), "module 1218 (4 in, 4 out) mac 0050c2abcdef at 127.0.0.60:" + std::to_string(port));
    const int s = ConnectTcp(ParseIpv4("127.0.0.60"), port);
    ASSERT_GE(s, 0);
    const ModuleStatus status = ReadModuleStatus(s);
    CloseSocket(s);
    EXPECT_EQ(status.words[kStatusModuleId], 1218);
    EXPECT_EQ(status.macField, "0050c2abcdef");
    ::kill(sim.pid, sig);
    EXPECT_EQ(sim.ExitStatus(), 0);
  }
  Program bad({"--module", "colour=red"});
  ASSERT_GT(bad.pid, 0);
  EXPECT_EQ(bad.ExitStatus(), 2);
}

TEST(SimProgram, OutOfDescriptorsSaysSoAndWaitsAndABurstWaitsInTheQueue) {
  const uint16_t port = test::UnusedPort();
  rlimit old{};
  ::getrlimit(RLIMIT_NOFILE, &old);
  const rlimit low{40, old.rlim_max};
  ::setrlimit(RLIMIT_NOFILE, &low);  // the program inherits it
  Program sim({"--port", std::to_string(port), "--module", "ip=127.0.0.62"}, true);
  ::setrlimit(RLIMIT_NOFILE, &old);
  ASSERT_GT(sim.pid, 0);
  sim.ReadLine();
  std::vector<int> held(300, -1);
  for (int i = 0; i < 80; ++i) held[static_cast<size_t>(i)] = ConnectTcp(ParseIpv4("127.0.0.62"), port);
  pollfd said{sim.out, POLLIN, 0};
  ASSERT_EQ(::poll(&said, 1, 5000), 1) << "nothing said at the descriptor limit";
  EXPECT_NE(sim.ReadLine().find("out of descriptors"), std::string::npos);
  for (int i = 0; i < 60; ++i) CloseSocket(held[static_cast<size_t>(i)]);
  EXPECT_TRUE(ReadModuleStatus(held[79]).statusRead);  // waited in the queue until others closed
  // Stopped, it accepts nothing, and yet the kernel completes every connect of a burst.
  ::kill(sim.pid, SIGSTOP);
  for (size_t i = 0; i < held.size() && (i == 0 || held[i - 1] >= 0); ++i)
    CloseSocket(std::exchange(held[i], ConnectTcp(ParseIpv4("127.0.0.62"), port)));
  EXPECT_EQ(std::count(held.begin(), held.end(), -1), 0);
  for (int s : held) CloseSocket(s);
  ::kill(sim.pid, SIGCONT);
  ::kill(sim.pid, SIGTERM);
  EXPECT_EQ(sim.ExitStatus(), 0);
}

}  // namespace
}  // namespace plinth
