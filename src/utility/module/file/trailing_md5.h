// TrailingMd5: the MD5 of a stream of blocks, taken on a thread of its own that trails behind the caller.
//
// An upload hashes every block it writes in order, and the hash costs about as much CPU as the device write: done
// in line it would hold the host's next block back. Here a block is queued (kept alive by its owner, without a
// copy) and hashed while the caller answers the host and receives the next block. At most kMaxQueued blocks wait,
// so a hash that falls behind slows the caller down instead of holding on to the whole file.
//
// Thread safety: Update and Finish are called by one thread at a time (the upload's current step); the hashing
// thread is private.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "utility/zeb_utility.h"

namespace file {

class TrailingMd5 {
 public:
  static constexpr size_t kMaxQueued = 2;

  TrailingMd5() = default;
  ~TrailingMd5();
  TrailingMd5(const TrailingMd5&) = delete;
  TrailingMd5& operator=(const TrailingMd5&) = delete;

  // Queues `bytes`, which `owner` keeps valid, after everything queued before; waits while kMaxQueued wait.
  void Update(std::shared_ptr<const void> owner, std::string_view bytes);
  // Waits until everything queued is hashed; the digest of it all, as Md5Stream::Finish gives it.
  std::string Finish();

 private:
  struct Piece {
    std::shared_ptr<const void> owner;
    std::string_view bytes;
  };
  void Run();

  std::mutex mutex_;  // guards everything below but md5_, which only the thread touches while it is not idle
  std::condition_variable changed_;
  std::deque<Piece> queue_;
  bool hashing_ = false;  // the thread holds a piece taken off the queue
  bool stopping_ = false;
  Md5Stream md5_;
  std::thread thread_;  // started with the first piece
};

}  // namespace file
