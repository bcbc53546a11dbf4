#include "fake_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "hostlink/zlib_codec.h"

namespace hostlink::testing {

using Clock = std::chrono::steady_clock;

std::string EncodeReportPayload(int64_t stage, int64_t code, std::string_view uuid, int64_t type,
                                std::string_view info, std::string_view data) {
  std::string text = "1";
  text.push_back('\0');
  text += "{\"stage\":" + std::to_string(stage) + ",\"code\":" + std::to_string(code) + ",\"uuid\":\"" +
          std::string(uuid) + "\",\"type\":" + std::to_string(type);
  if (!info.empty()) text += ",\"info\":" + std::string(info);
  text += "}";
  text.push_back('\0');
  text += type == 0 && !data.empty() ? ZlibDeflate(data, 9) : std::string(data);
  return text;
}

std::string EncodeReport(uint64_t task_id, uint32_t packet_type, uint16_t header_code, int64_t stage, int64_t code,
                         std::string_view uuid, int64_t type, std::string_view info, std::string_view data) {
  return EncodePacket(task_id, packet_type, header_code, EncodeReportPayload(stage, code, uuid, type, info, data));
}

FakePeer::~FakePeer() { Close(); }

bool FakePeer::Connect(uint16_t port) {
  Close();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
}

bool FakePeer::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

bool FakePeer::ReadSome(Clock::time_point deadline, std::string* into) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  pollfd pfd{fd_, POLLIN, 0};
  if (poll(&pfd, 1, left > 0 ? static_cast<int>(left) : 0) <= 0) return false;
  char buffer[65536];
  ssize_t got = recv(fd_, buffer, sizeof(buffer), 0);
  if (got <= 0) return false;
  into->append(buffer, static_cast<size_t>(got));
  return true;
}

std::optional<Packet> FakePeer::ReadPacket(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  for (;;) {
    if (auto packet = reassembler_.Next()) return packet;
    std::string bytes;
    if (!ReadSome(deadline, &bytes)) return std::nullopt;
    reassembler_.Feed(bytes);
  }
}

std::optional<std::string> FakePeer::ReadBytes(size_t count, std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  std::string bytes;
  while (bytes.size() < count) {
    if (!ReadSome(deadline, &bytes)) return std::nullopt;
  }
  return bytes;
}

void FakePeer::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace hostlink::testing
