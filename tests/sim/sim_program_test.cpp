// The plinth-sim program: it serves its modules, says when out of descriptors, stops on signals.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <utility>
#include "base/text_scan.h"
#include "net/modbus_client.h"
#include "net/module_status.h"
#include "tests/support/running_sim.h"

namespace plinth {
namespace {
// The program, started by a shell that says its process id and execs it; output and error unbuffered.
struct Program {
  explicit Program(const std::string& args)
      : out(::popen(("echo $$; exec " PLINTH_SIM_PATH " " + args + " 2>&1").c_str(), "r")) {
    std::setvbuf(out, nullptr, _IONBF, 0);
    pid = std::stoi(ReadLine());
  }
  ~Program() { Stop(SIGKILL); }
  std::string ReadLine(std::string line = {}) {  // up to the first newline
    for (int c; (c = std::fgetc(out)) != EOF && c != '\n';) line += static_cast<char>(c);
    return line;
  }
  int Stop(int sig) {  // the exit status after sig (0: none sent), all output read
    if (!out) return -1;
    if (sig) ::kill(pid, sig);
    while (std::fgetc(out) != EOF) {}
    const int status = ::pclose(std::exchange(out, nullptr));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  FILE* out;
  pid_t pid = -1;
};

TEST(SimProgram, ServesStopsOnSignalsRefusesWhatItCannotReadAndSaysWhenOutOfDescriptors) {
  for (int sig : {SIGTERM, SIGINT}) {
    const uint16_t port = test::UnusedPort();
    Program sim("--port 1 --module ip=127.0.0.60,port=" + std::to_string(port) +
                ",id=1218,out=5,mac=0050c2abcdef,timeout=25,health=00a5,error=1f,errors=10");
    EXPECT_EQ(sim.ReadLine(),  // once the module listens
              "module 1218 (4 in, 5 out) mac 0050c2abcdef at 127.0.0.60:" + std::to_string(port));
    test::SocketGuard s(ConnectTcp(ParseIpv4("127.0.0.60"), port));
    const ModuleStatus status = ReadModuleStatus(s.fd);
    const auto& w = status.words;
    EXPECT_EQ(std::vector<int>({w[kStatusModuleId], w[kStatusInputWords], w[kStatusOutputWords], w[kStatusHealth],
                                w[kStatusLastError], w[kStatusErrorCount], status.timeoutMs}),
              std::vector<int>({1218, 4, 5, 0xA5, 0x1F, 10, 250}));
    std::array<uint16_t, 4> first{}, later{};  // inputs count up every 100 ms
    ASSERT_TRUE(ReadNode(s.fd, 1, first.data(), kIoImageAddress, 4));
    EXPECT_TRUE(test::WaitUntil([&] { return ReadNode(s.fd, 1, later.data(), kIoImageAddress, 4) && first != later; }));
    EXPECT_EQ(sim.Stop(sig), 0);
  }
  EXPECT_EQ(Program("--module colour=red").Stop(0), 2);
  // Out of descriptors it says so and waits; a burst waits in the queue.
  const uint16_t port = test::UnusedPort();
  rlimit old{};
  ::getrlimit(RLIMIT_NOFILE, &old);
  const rlimit low{40, old.rlim_max};
  ::setrlimit(RLIMIT_NOFILE, &low);  // the program inherits it
  Program sim("--port " + std::to_string(port) + " --module ip=127.0.0.62");
  ::setrlimit(RLIMIT_NOFILE, &old);
  sim.ReadLine();
  std::vector<int> held;
  for (int i = 0; i < 80; ++i) held.push_back(ConnectTcp(ParseIpv4("127.0.0.62"), port));
  pollfd said{fileno(sim.out), POLLIN, 0};
  ASSERT_EQ(::poll(&said, 1, 5000), 1) << "nothing said at the descriptor limit";
  EXPECT_NE(sim.ReadLine().find("out of descriptors"), std::string::npos);
  for (size_t i = 0; i < 60; ++i) CloseSocket(std::exchange(held[i], -1));
  EXPECT_TRUE(ReadModuleStatus(held[79]).statusRead);  // waited in the queue until others closed
  for (int s : held) CloseSocket(s);
  EXPECT_EQ(sim.Stop(SIGTERM), 0);
}
}  // namespace
}  // namespace plinth
