#include "libbasic/kx_task_pool.h"

namespace bas {

KxTaskPool::~KxTaskPool() { Stop(); }

KxTaskPool& KxTaskPool::Get() {
  // Never destroyed: workers may still be running when the process exits.
  static KxTaskPool* pool = new KxTaskPool();
  return *pool;
}

void KxTaskPool::Activate(int workers) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!workers_.empty() || stopping_) return;
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

void KxTaskPool::AddQuickTask(std::function<void()> func) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    queue_.push_back(std::move(func));
  }
  wake_.notify_one();
}

void KxTaskPool::Stop() {
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
    workers.swap(workers_);
  }
  wake_.notify_all();
  for (std::thread& worker : workers) worker.join();
}

size_t KxTaskPool::WorkerCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return workers_.size();
}

void KxTaskPool::WorkerLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    std::function<void()> func = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    func();
    func = nullptr;  // release what the function captured before waiting again
    lock.lock();
  }
}

}  // namespace bas
