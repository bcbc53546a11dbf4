// Test helpers that play Corvane's side of the host link: build report packets the way Corvane writes them and
// connect to a host listener. Used by the hostlink unit tests and by the fake_corvane stand-in program.
//
// FakePeer is thread-compatible; the encoders are pure functions.
#ifndef CORVANE_TOOLS_HOST_TESTING_FAKE_PEER_H_
#define CORVANE_TOOLS_HOST_TESTING_FAKE_PEER_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "hostlink/packet.h"
#include "hostlink/reassembler.h"

namespace hostlink::testing {

// The payload of a report: "1", NUL, {"stage":S,"code":C,"uuid":"U","type":T[,"info":I]}, NUL, data. `info` is
// JSON text written as given (left out when empty); type 0 data are zlib-compressed at level 9.
std::string EncodeReportPayload(int64_t stage, int64_t code, std::string_view uuid, int64_t type,
                                std::string_view info = {}, std::string_view data = {});

// A whole report packet.
std::string EncodeReport(uint64_t task_id, uint32_t packet_type, uint16_t header_code, int64_t stage, int64_t code,
                         std::string_view uuid, int64_t type, std::string_view info = {},
                         std::string_view data = {});

// Corvane's end of a host-link connection: connects to 127.0.0.1:port, writes bytes, reads packets.
class FakePeer {
 public:
  FakePeer() = default;
  ~FakePeer();
  FakePeer(const FakePeer&) = delete;
  FakePeer& operator=(const FakePeer&) = delete;

  bool Connect(uint16_t port);
  bool Write(std::string_view bytes);
  // The next packet from the host, waiting up to `timeout`.
  std::optional<Packet> ReadPacket(std::chrono::milliseconds timeout);
  // Exactly `count` raw bytes from the host, waiting up to `timeout`.
  std::optional<std::string> ReadBytes(size_t count, std::chrono::milliseconds timeout);
  uint64_t heartbeats() const { return reassembler_.heartbeats(); }
  void Close();

 private:
  bool ReadSome(std::chrono::steady_clock::time_point deadline, std::string* into);

  int fd_ = -1;
  PacketReassembler reassembler_;
};

}  // namespace hostlink::testing

#endif  // CORVANE_TOOLS_HOST_TESTING_FAKE_PEER_H_
