// ListingReporter: how a module hands the host a list. First one count report, then the items in reports of at
// most a fixed number each.
//
//   count report  stage 1, info {"Count":N}, no data. N is the number of items to come, or -1 where a module
//                 says the list is unknown rather than empty.
//   item reports  stage 2, data = the next items: one item's own JSON (kEach), a JSON array of up to `batch`
//                 items (kArray), or a JSON object of up to `batch` members, each an item under its key
//                 (kObjectMap). With `count_on_items` they carry the count report's info too.
// Every report has the command's device identifier as uuid and code 0; the data type flag is `type` (0: the
// report path compresses the data). The module sends its final result itself, after Finish.
//
// The reporter depends on nothing but the report record: it sends through the callback it is given.
//
// Thread safety: one reporter belongs to the one thread that runs the command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "utility/task_report.h"

struct ListingOptions {
  enum class Shape { kEach, kArray, kObjectMap };
  Shape shape = Shape::kArray;
  size_t batch = 100;  // items per report for kArray and kObjectMap
  int type = 0;
  bool count_on_items = false;
  // Type 0: item data go as stored zlib blocks rather than deflated (TaskReport::store_data). For long listings
  // on the loopback link, where deflating every batch would cost more time than the query itself.
  bool stored_data = false;
};

class ListingReporter {
 public:
  using Send = std::function<void(const TaskReport& report)>;

  ListingReporter(std::string uuid, ListingOptions options, Send send);

  void SendCount(int64_t count);
  // An item's JSON text (kEach, kArray).
  void Add(std::string_view item_json);
  // An item's JSON text under its key (kObjectMap).
  void Add(std::string_view key, std::string_view item_json);
  // Sends the items still held back (a batch that did not fill up).
  void Finish();

 private:
  void Append(std::string_view member);
  void SendItems(std::string_view data);

  const ListingOptions options_;
  const Send send_;
  TaskReport report_;
  std::string pending_;  // the open batch's members, comma-separated
  size_t pending_count_ = 0;
};

// The whole listing: the count of `items`, then the items in reports as the options say.
void SendListing(const std::string& uuid, const ListingOptions& options, const std::vector<std::string>& items,
                 const ListingReporter::Send& send);
