// bas::IPCPacketChannel: a channel that delivers whole packets.
//
// Received bytes are reassembled per connection (packet_reassembler.h) on the receive thread; whole packets go to
// a FIFO queue, and a consumer thread hands them one by one to the packet callback, which owns each packet. The
// end of a connection arrives as a packet with every field zero and only the connection set.
//
// Thread safety: as IPCChannel. The packet callback runs on the consumer thread only, so packets are handled one
// at a time in arrival order.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "basic/ipc_channel.h"
#include "basic/packet_reassembler.h"

namespace bas {

using IPCPacketCallback = std::function<void(IPCPacketPtr packet)>;

class IPCPacketChannel : public IPCChannel {
 public:
  explicit IPCPacketChannel(IPCPacketCallback callback = nullptr);
  ~IPCPacketChannel() override;

  void Stop() override;
  void SetPacketCallback(IPCPacketCallback callback);

 protected:
  void Receive(const IPCConnectionPtr& connection, const char* data, size_t length) override;

 private:
  void ConsumeLoop();
  void Push(std::vector<IPCPacketPtr>& packets);

  // Used on the receive thread only.
  std::map<IPCConnection*, PacketReassembler> reassemblers_;
  std::vector<IPCPacketPtr> completed_;

  std::mutex queue_mutex_;  // guards everything below
  std::condition_variable queue_changed_;
  std::deque<IPCPacketPtr> queue_;
  IPCPacketCallback callback_;
  bool stopping_ = false;
  std::thread consumer_;
};

}  // namespace bas
