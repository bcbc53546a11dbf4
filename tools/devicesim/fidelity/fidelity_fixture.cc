#include "fidelity_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

namespace devicesim {

ToolResult RunTool(const std::vector<std::string>& argv, int timeout_ms) {
  ToolResult result;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return result;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipe_fds[1], 1);
    dup2(pipe_fds[1], 2);
    int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    pollfd waiter{pipe_fds[0], POLLIN, 0};
    if (poll(&waiter, 1, static_cast<int>(left.count())) <= 0) continue;
    ssize_t n = read(pipe_fds[0], buffer, sizeof(buffer));
    if (n <= 0) break;
    result.output.append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!result.timed_out && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  return result;
}

LockdownSession::LockdownSession(const std::string& udid) {
  if (idevice_new(&device_, udid.c_str()) != IDEVICE_E_SUCCESS) {
    device_ = nullptr;
    error_ = LOCKDOWN_E_MUX_ERROR;
    return;
  }
  error_ = lockdownd_client_new_with_handshake(device_, &client_, "devicesim-fidelity");
  if (error_ != LOCKDOWN_E_SUCCESS) client_ = nullptr;
}

LockdownSession::~LockdownSession() {
  if (client_) lockdownd_client_free(client_);
  if (device_) idevice_free(device_);
}

lockdownd_service_descriptor_t LockdownSession::Start(const char* service, lockdownd_error_t* error) {
  lockdownd_service_descriptor_t descriptor = nullptr;
  lockdownd_error_t result = client_ ? lockdownd_start_service(client_, service, &descriptor) : error_;
  if (error) *error = result;
  if (result != LOCKDOWN_E_SUCCESS) return nullptr;
  return descriptor;
}

RawService::RawService(LockdownSession& session, const char* service) {
  lockdownd_service_descriptor_t descriptor = session.Start(service);
  if (!descriptor) return;
  if (idevice_connect(session.device(), descriptor->port, &connection_) != IDEVICE_E_SUCCESS) connection_ = nullptr;
  lockdownd_service_descriptor_free(descriptor);
}

RawService::~RawService() {
  if (connection_) idevice_disconnect(connection_);
}

bool RawService::Send(const std::string& bytes) {
  uint32_t sent = 0;
  return connection_ &&
         idevice_connection_send(connection_, bytes.data(), static_cast<uint32_t>(bytes.size()), &sent) ==
             IDEVICE_E_SUCCESS &&
         sent == bytes.size();
}

bool RawService::Receive(size_t size, std::string* bytes, int timeout_ms) {
  bytes->assign(size, '\0');
  size_t done = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (connection_ && done < size) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    uint32_t got = 0;
    idevice_error_t error = idevice_connection_receive_timeout(connection_, bytes->data() + done,
                                                               static_cast<uint32_t>(size - done), &got,
                                                               static_cast<unsigned>(left.count()));
    if (error != IDEVICE_E_SUCCESS && error != IDEVICE_E_TIMEOUT) break;
    done += got;
  }
  bytes->resize(done);
  return done == size;
}

bool RawService::SendPlist(plist_t message, bool little_endian) {
  char* body = nullptr;
  uint32_t length = 0;
  plist_to_bin(message, &body, &length);
  std::string frame(4, '\0');
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>(length >> (little_endian ? 8 * i : 8 * (3 - i)));
  frame.append(body, length);
  plist_to_bin_free(body);
  return Send(frame);
}

plist_t RawService::ReceivePlist(bool little_endian, int timeout_ms) {
  std::string prefix, body;
  if (!Receive(4, &prefix, timeout_ms)) return nullptr;
  uint32_t length = 0;
  for (int i = 0; i < 4; ++i) {
    length |= static_cast<uint32_t>(static_cast<unsigned char>(prefix[i])) << (little_endian ? 8 * i : 8 * (3 - i));
  }
  if (length > (16u << 20) || !Receive(length, &body, timeout_ms)) return nullptr;
  plist_t message = nullptr;
  plist_from_memory(body.data(), length, &message);
  return message;
}

void SimulatorTest::SetUp() {
  char pattern[] = "/tmp/devicesim-fidelity.XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  socket_ = dir_ + "/mux.sock";
  std::string error;
  ASSERT_TRUE(sim_.Start(socket_, &error)) << error;
  setenv("USBMUXD_SOCKET_ADDRESS", sim_.SocketAddress().c_str(), 1);
}

void SimulatorTest::TearDown() {
  sim_.Stop();
  std::filesystem::remove_all(dir_);
}

void SimulatorTest::AddDevice(const std::string& name, const ProfileBuilder& profile, bool attached) {
  std::string error;
  ASSERT_TRUE(profile.Write(ProfileDir(name), &error)) << error;
  ASSERT_TRUE(sim_.AddProfile(ProfileDir(name), attached, &error)) << error;
}

}  // namespace devicesim
