#include "utility/module/file/trailing_md5.h"

namespace file {

TrailingMd5::~TrailingMd5() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TrailingMd5::Update(std::shared_ptr<const void> owner, std::string_view bytes) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queue_.size() < kMaxQueued; });
  queue_.push_back({std::move(owner), bytes});
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  lock.unlock();
  changed_.notify_all();
}

std::string TrailingMd5::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty() && !hashing_; });
  return md5_.Finish();
}

void TrailingMd5::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;  // nobody waits for a digest any more
    Piece piece = std::move(queue_.front());
    queue_.pop_front();
    hashing_ = true;
    lock.unlock();
    changed_.notify_all();  // room in the queue
    md5_.Update(piece.bytes);
    piece.owner.reset();
    lock.lock();
    hashing_ = false;
    changed_.notify_all();
  }
}

}  // namespace file
