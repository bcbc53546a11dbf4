#include "devicesim/request_log.h"

namespace devicesim {

std::string Request::Arg(const std::string& key) const {
  auto it = args.find(key);
  return it == args.end() ? std::string() : it->second;
}

bool RequestFilter::Matches(const Request& request) const {
  if (!udid.empty() && request.udid != udid) return false;
  if (!channel.empty() && request.channel != channel) return false;
  if (!name.empty() && request.name != name) return false;
  if (!arg_key.empty() && request.Arg(arg_key) != arg_value) return false;
  return true;
}

void RequestLog::Add(Request request) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (records_.size() < capacity_) {
    records_.push_back(std::move(request));
    return;
  }
  records_[next_] = std::move(request);
  next_ = (next_ + 1) % capacity_;
}

std::vector<Request> RequestLog::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Request> ordered;
  ordered.reserve(records_.size());
  for (size_t i = 0; i < records_.size(); ++i) ordered.push_back(records_[(next_ + i) % records_.size()]);
  return ordered;
}

std::vector<Request> RequestLog::Find(const RequestFilter& filter) const {
  std::vector<Request> found;
  for (Request& request : Snapshot()) {
    if (filter.Matches(request)) found.push_back(std::move(request));
  }
  return found;
}

size_t RequestLog::Count(const RequestFilter& filter) const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t count = 0;
  for (const Request& request : records_) count += filter.Matches(request) ? 1 : 0;
  return count;
}

void RequestLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();
  next_ = 0;
}

}  // namespace devicesim
