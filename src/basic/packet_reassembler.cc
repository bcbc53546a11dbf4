#include "basic/packet_reassembler.h"

#include <algorithm>

namespace bas {
namespace {

constexpr uint64_t kMaxReserve = uint64_t{64} << 20;

bool IsPrefixOf(std::string_view head, std::string_view whole) {
  return head.size() <= whole.size() && whole.compare(0, head.size(), head) == 0;
}

// Where the next packet or heartbeat could begin after the first byte of `head`.
size_t NextCandidate(const std::string& head) {
  for (size_t i = 1; i < head.size(); ++i) {
    if (head[i] == kPacketMagic[0] || head[i] == kHeartbeatByte) return i;
  }
  return head.size();
}

}  // namespace

bool PacketReassembler::ResolveBoundary(std::vector<IPCPacketPtr>* out, Stats* stats) {
  for (;;) {
    if (head_.empty()) return false;
    if (head_[0] == kHeartbeatByte) {
      size_t run = 0;
      while (run < head_.size() && run < kHeartbeatSize && head_[run] == kHeartbeatByte) ++run;
      if (run == kHeartbeatSize) {
        head_.erase(0, kHeartbeatSize);
        ++stats->heartbeats;
        continue;
      }
      if (run == head_.size()) return false;  // a heartbeat so far; wait for the rest
    } else if (IsPrefixOf(std::string_view(head_).substr(0, kPacketMagic.size()), kPacketMagic)) {
      if (head_.size() < kPacketHeaderSize) return false;
      IPCPacketHeader header;
      DecodePacketHeader(head_.data(), &header);
      if (header.length <= kMaxPacketPayload) {
        current_ = std::make_unique<IPCPacket>();
        current_->task_id = header.task_id;
        current_->type = header.type;
        current_->code = header.code;
        current_->payload.reserve(std::min(header.length, kMaxReserve));
        missing_ = header.length;
        head_.erase(0, kPacketHeaderSize);
        if (missing_ == 0) out->push_back(std::move(current_));
        return true;
      }
    }
    size_t skip = NextCandidate(head_);
    head_.erase(0, skip);
    stats->skipped_bytes += skip;
  }
}

void PacketReassembler::Feed(const char* data, size_t length, std::vector<IPCPacketPtr>* out, Stats* stats) {
  size_t pos = 0;
  for (;;) {
    if (current_ != nullptr) {
      size_t take = static_cast<size_t>(std::min<uint64_t>(missing_, length - pos));
      current_->payload.append(data + pos, take);
      pos += take;
      missing_ -= take;
      if (missing_ != 0) return;
      out->push_back(std::move(current_));
      continue;
    }
    if (ResolveBoundary(out, stats)) continue;
    if (pos == length) return;
    // At a boundary: gather just enough bytes to recognise a header or a heartbeat.
    size_t take = std::min(kPacketHeaderSize - head_.size(), length - pos);
    head_.append(data + pos, take);
    pos += take;
  }
}

}  // namespace bas
