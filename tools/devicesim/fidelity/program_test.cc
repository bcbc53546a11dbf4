// The corvane-devicesim program as people and scripts use it: the address line, the stdin commands, and a
// clean exit that removes the socket.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "fidelity_fixture.h"

namespace devicesim {
namespace {

constexpr char kUdid[] = "00008110-0012345678ABCDEF";

// The program as a child with pipes on its standard input and output.
class Program {
 public:
  explicit Program(const std::vector<std::string>& argv) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      close(in[1]);
      close(out[0]);
      execv(args[0], args.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }

  ~Program() {
    if (stdin_ >= 0) close(stdin_);
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
  }

  void Send(const std::string& line) { (void)!write(stdin_, line.data(), line.size()); }
  void CloseInput() {
    close(stdin_);
    stdin_ = -1;
  }

  // Output up to and including the next newline, within the deadline.
  std::string ReadLine(int timeout_ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      size_t newline = pending_.find('\n');
      if (newline != std::string::npos) {
        std::string line = pending_.substr(0, newline + 1);
        pending_.erase(0, newline + 1);
        return line;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd waiter{stdout_, POLLIN, 0};
      if (left.count() <= 0 || poll(&waiter, 1, static_cast<int>(left.count())) <= 0) return "";
      char buffer[1024];
      ssize_t n = read(stdout_, buffer, sizeof(buffer));
      if (n <= 0) return "";
      pending_.append(buffer, static_cast<size_t>(n));
    }
  }

  // The exit code, or -1 when it does not end within the deadline.
  int Wait(int timeout_ms = 5000) {
    for (int waited = 0; waited < timeout_ms; waited += 20) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      usleep(20000);
    }
    return -1;
  }

  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  bool reaped_ = false;
  std::string pending_;
};

class ProgramTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    std::string error;
    ASSERT_TRUE(ProfileBuilder(kUdid).SetDeviceName("Program Phone").Write(ProfileDir("phone"), &error)) << error;
    program_socket_ = dir_ + "/program.sock";
    setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + program_socket_).c_str(), 1);
  }
  std::string Binary() const { return std::string(CORVANE_BIN_DIR) + "/corvane-devicesim"; }
  std::string program_socket_;
};

TEST_F(ProgramTest, PrintsTheAddressThenObeysCommandsAndQuitsCleanly) {
  Program program({Binary(), "--socket", program_socket_, "--profile", ProfileDir("phone"), "--detached"});
  ASSERT_EQ(program.ReadLine(), "USBMUXD_SOCKET_ADDRESS=UNIX:" + program_socket_ + "\n");
  EXPECT_EQ(RunTool({"idevice_id", "-l"}).output, "") << "started detached";

  program.Send("attach phone\n");
  EXPECT_EQ(program.ReadLine(), "ok attach phone\n");
  EXPECT_EQ(RunTool({"idevice_id", "-l"}).output, std::string(kUdid) + "\n");
  program.Send("list\n");
  EXPECT_NE(program.ReadLine().find("phone " + std::string(kUdid) + " attached trusted unlocked \"Program Phone\""),
            std::string::npos);
  program.Send("lock " + std::string(kUdid) + "\n");
  EXPECT_EQ(program.ReadLine(), "ok lock " + std::string(kUdid) + "\n");
  EXPECT_NE(RunTool({"ideviceinstaller", "-l"}).exit_code, 0) << "services refuse while locked";
  program.Send("unlock phone\n");
  EXPECT_EQ(program.ReadLine(), "ok unlock phone\n");
  program.Send("frobnicate phone\n");
  EXPECT_EQ(program.ReadLine(), "error: unknown command 'frobnicate' (try help)\n");
  program.Send("detach nobody\n");
  EXPECT_EQ(program.ReadLine(), "error: no device named nobody\n");

  program.Send("quit\n");
  EXPECT_EQ(program.ReadLine(), "ok quit\n");
  EXPECT_EQ(program.Wait(), 0);
  struct stat info;
  EXPECT_NE(stat(program_socket_.c_str(), &info), 0) << "the socket file is removed";
}

TEST_F(ProgramTest, EndOfInputAndSignalsStopIt) {
  {
    Program program({Binary(), "--socket", program_socket_, "--profile", ProfileDir("phone")});
    ASSERT_NE(program.ReadLine().find("USBMUXD_SOCKET_ADDRESS="), std::string::npos);
    program.CloseInput();
    EXPECT_EQ(program.Wait(), 0);
  }
  Program program({Binary(), "--socket", program_socket_, "--profile", ProfileDir("phone")});
  ASSERT_NE(program.ReadLine().find("USBMUXD_SOCKET_ADDRESS="), std::string::npos);
  kill(program.pid(), SIGTERM);
  EXPECT_EQ(program.Wait(), 0);
  struct stat info;
  EXPECT_NE(stat(program_socket_.c_str(), &info), 0);
}

TEST_F(ProgramTest, BadArgumentsAndProfilesAreReported) {
  EXPECT_EQ(RunTool({Binary()}).exit_code, 2);
  EXPECT_EQ(RunTool({Binary(), "--socket", program_socket_, "--profile"}).exit_code, 2);
  ToolResult missing = RunTool({Binary(), "--socket", program_socket_, "--profile", dir_ + "/nothing"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.output.find("device.json"), std::string::npos) << missing.output;
}

}  // namespace
}  // namespace devicesim
