#include "basic/ipc_packet_channel.h"

#include <cstdio>

namespace bas {

IPCPacketChannel::IPCPacketChannel(IPCPacketCallback callback)
    : callback_(std::move(callback)), consumer_([this] { ConsumeLoop(); }) {}

IPCPacketChannel::~IPCPacketChannel() { Stop(); }

void IPCPacketChannel::Stop() {
  IPCChannel::Stop();
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    stopping_ = true;
  }
  queue_changed_.notify_all();
  if (consumer_.joinable()) {
    if (consumer_.get_id() == std::this_thread::get_id()) {
      consumer_.detach();
    } else {
      consumer_.join();
    }
  }
}

void IPCPacketChannel::SetPacketCallback(IPCPacketCallback callback) {
  std::lock_guard<std::mutex> lock(queue_mutex_);
  callback_ = std::move(callback);
}

void IPCPacketChannel::Receive(const IPCConnectionPtr& connection, const char* data, size_t length) {
  if (data == nullptr) {
    reassemblers_.erase(connection.get());
    auto end = std::make_unique<IPCPacket>();
    end->connection = connection;
    completed_.push_back(std::move(end));
    Push(completed_);
    return;
  }
  PacketReassembler::Stats stats;
  reassemblers_[connection.get()].Feed(data, length, &completed_, &stats);
  for (size_t i = 0; i < stats.heartbeats; ++i) {
    Notify(IPCNotice::kDiagnostic, connection, 0, "SelectRecv Heart Test Receive: 8");
  }
  if (stats.skipped_bytes != 0) {
    char text[96];
    std::snprintf(text, sizeof text, "SelectRecv skipped %zu bytes outside any packet", stats.skipped_bytes);
    Notify(IPCNotice::kDiagnostic, connection, 0, text);
  }
  for (IPCPacketPtr& packet : completed_) packet->connection = connection;
  if (!completed_.empty()) Push(completed_);
}

void IPCPacketChannel::Push(std::vector<IPCPacketPtr>& packets) {
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    for (IPCPacketPtr& packet : packets) queue_.push_back(std::move(packet));
  }
  packets.clear();
  queue_changed_.notify_one();
}

void IPCPacketChannel::ConsumeLoop() {
  std::unique_lock<std::mutex> lock(queue_mutex_);
  for (;;) {
    queue_changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    IPCPacketPtr packet = std::move(queue_.front());
    queue_.pop_front();
    IPCPacketCallback callback = callback_;
    lock.unlock();
    if (callback) callback(std::move(packet));
    lock.lock();
  }
}

}  // namespace bas
