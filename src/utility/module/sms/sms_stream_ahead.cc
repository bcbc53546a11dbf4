#include "utility/module/sms/sms_stream_ahead.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "utility/module/sms/sms_sqlite.h"

namespace {

// Reports waiting between the reading thread (the producer, a SmsReportSink) and the sending thread.
class ReportQueue : public SmsReportSink {
 public:
  explicit ReportQueue(size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

  bool OnCount(size_t conversations) override { return Push({Kind::kCount, std::string(), conversations}); }
  bool OnConversation(std::string_view json) override { return Push({Kind::kConversation, std::string(json), 0}); }
  bool OnMessage(std::string_view json) override { return Push({Kind::kMessage, std::string(json), 0}); }

  // The producer has ended with `result`.
  void Finish(int result) {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    result_ = result;
    not_empty_.notify_one();
  }

  // Hands every report to `sink` in order until the producer has finished, or the sink stops the stream (then
  // the producer is told to stop as well). Returns the producer's result, or kSmsStopped.
  int Drain(SmsReportSink* sink) {
    std::deque<Item> batch;
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        not_empty_.wait(lock, [this] { return !items_.empty() || finished_; });
        if (items_.empty()) return result_;
        batch.swap(items_);
        not_full_.notify_one();
      }
      for (const Item& item : batch) {
        if (!Forward(item, sink)) {
          Close();
          return kSmsStopped;
        }
      }
      batch.clear();
      std::lock_guard<std::mutex> lock(mutex_);
      if (items_.empty()) sink->OnPause();  // the reader is behind: we are about to wait for it
    }
  }

 private:
  enum class Kind { kCount, kConversation, kMessage };
  struct Item {
    Kind kind;
    std::string json;
    size_t count;
  };

  bool Push(Item item) {
    std::unique_lock<std::mutex> lock(mutex_);
    not_full_.wait(lock, [this] { return items_.size() < capacity_ || closed_; });
    if (closed_) return false;
    items_.push_back(std::move(item));
    not_empty_.notify_one();
    return true;
  }

  static bool Forward(const Item& item, SmsReportSink* sink) {
    switch (item.kind) {
      case Kind::kCount:
        return sink->OnCount(item.count);
      case Kind::kConversation:
        return sink->OnConversation(item.json);
      case Kind::kMessage:
        return sink->OnMessage(item.json);
    }
    return false;
  }

  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    not_full_.notify_one();
  }

  const size_t capacity_;
  std::mutex mutex_;  // guards everything below
  std::condition_variable not_empty_;
  std::condition_variable not_full_;
  std::deque<Item> items_;
  bool closed_ = false;    // the sending side stopped: the producer's next report is refused
  bool finished_ = false;  // the producer has returned
  int result_ = kSmsOk;
};

}  // namespace

int StreamSmsDatabaseAhead(const std::string& path, SmsReportSink* sink, size_t capacity) {
  ReportQueue queue(capacity);
  std::thread reader([&queue, &path] { queue.Finish(StreamSmsDatabase(path, &queue)); });
  int result = queue.Drain(sink);
  reader.join();
  return result;
}
