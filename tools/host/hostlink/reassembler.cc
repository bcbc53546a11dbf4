#include "hostlink/reassembler.h"

#include <algorithm>

namespace hostlink {
namespace {

// True when `bytes` could still grow into `whole` (it is a proper prefix of it).
bool IsProperPrefixOf(std::string_view bytes, std::string_view whole) {
  return bytes.size() < whole.size() && whole.substr(0, bytes.size()) == bytes;
}

// The prefix of a header that can be checked with the bytes at hand: magic and tail.
bool CouldBeHeader(std::string_view bytes) {
  std::string_view expected_start = std::string_view("kCommand\x01\x02\x03\x04\x05\x06", 14);
  size_t n = std::min(bytes.size(), expected_start.size());
  return bytes.substr(0, n) == expected_start.substr(0, n);
}

}  // namespace

void PacketReassembler::Feed(std::string_view bytes) {
  // Drop consumed bytes once they dominate the buffer, so a long stream does not grow it without bound.
  if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
  while (ConsumeOne()) {
  }
}

std::optional<Packet> PacketReassembler::Next() {
  if (ready_.empty()) return std::nullopt;
  Packet packet = std::move(ready_.front());
  ready_.pop_front();
  return packet;
}

bool PacketReassembler::ConsumeOne() {
  std::string_view rest = std::string_view(buffer_).substr(start_);
  if (rest.empty()) return false;

  if (rest.substr(0, kHeartbeat.size()) == kHeartbeat) {
    start_ += kHeartbeat.size();
    ++heartbeats_;
    return true;
  }
  if (IsProperPrefixOf(rest, kHeartbeat)) return false;

  if (CouldBeHeader(rest)) {
    PacketHeader header;
    if (!DecodeHeader(rest, &header)) return false;  // header not complete yet
    if (rest.size() - kHeaderSize < header.payload_size) return false;
    ready_.push_back({header, std::string(rest.substr(kHeaderSize, header.payload_size))});
    start_ += kHeaderSize + header.payload_size;
    return true;
  }

  // Garbage where a packet must begin: skip to the next byte that could start a header or a heartbeat.
  size_t skip = rest.find_first_of(std::string_view("k\x16", 2), 1);
  if (skip == std::string_view::npos) skip = rest.size();
  start_ += skip;
  discarded_bytes_ += skip;
  return true;
}

}  // namespace hostlink
