#include "utility/listing/listing_reporter.h"

#include "utility/zeb_utility.h"

namespace {

constexpr int kStageCount = 1;
constexpr int kStageItems = 2;

// A batch of 0 would never be sent; it means one item per report.
ListingOptions AtLeastOnePerBatch(ListingOptions options) {
  if (options.batch == 0) options.batch = 1;
  return options;
}

}  // namespace

ListingReporter::ListingReporter(std::string uuid, ListingOptions options, Send send)
    : options_(AtLeastOnePerBatch(options)), send_(std::move(send)) {
  report_.uuid = std::move(uuid);
  report_.type = options_.type;
  report_.store_data = options_.stored_data;
}

void ListingReporter::SendCount(int64_t count) {
  report_.stage = kStageCount;
  report_.info = "{\"Count\":" + std::to_string(count) + "}";
  report_.data = {};
  send_(report_);
  if (!options_.count_on_items) report_.info.clear();
}

void ListingReporter::Add(std::string_view item_json) {
  if (options_.shape == ListingOptions::Shape::kEach) {
    SendItems(item_json);
    return;
  }
  Append(item_json);
}

void ListingReporter::Add(std::string_view key, std::string_view item_json) {
  Append(JsonQuote(key) + ":" + std::string(item_json));
}

void ListingReporter::Append(std::string_view member) {
  if (pending_count_ > 0) pending_ += ',';
  pending_ += member;
  if (++pending_count_ == options_.batch) Finish();
}

void ListingReporter::Finish() {
  if (pending_count_ == 0) return;
  bool map = options_.shape == ListingOptions::Shape::kObjectMap;
  std::string data;
  data.reserve(pending_.size() + 2);
  data += map ? '{' : '[';
  data += pending_;
  data += map ? '}' : ']';
  pending_.clear();
  pending_count_ = 0;
  SendItems(data);
}

void ListingReporter::SendItems(std::string_view data) {
  report_.stage = kStageItems;
  report_.data = data;
  send_(report_);
  report_.data = {};
}

void SendListing(const std::string& uuid, const ListingOptions& options, const std::vector<std::string>& items,
                 const ListingReporter::Send& send) {
  ListingReporter reporter(uuid, options, send);
  reporter.SendCount(static_cast<int64_t>(items.size()));
  for (const std::string& item : items) reporter.Add(item);
  reporter.Finish();
}
