#include "utility/module/app/app_reports.h"

#include "utility/zeb_utility.h"

namespace {

constexpr int kStageItem = 2;
constexpr int kTypeCompressed = 0;
constexpr int kTypeRaw = 1;

TaskReport Item(const std::string& uuid, int type, std::string info, std::string_view data = {}) {
  TaskReport report;
  report.stage = kStageItem;
  report.uuid = uuid;
  report.type = type;
  report.info = std::move(info);
  report.data = data;
  return report;
}

std::string Member(std::string_view name, std::string_view text) {
  return JsonQuote(name) + ":" + JsonQuote(text);
}

}  // namespace

TaskReport IconReport(const std::string& uuid, std::string_view bundle_id, std::string_view png) {
  return Item(uuid, kTypeRaw, "{" + Member("bundle_id", bundle_id) + "}", png);
}

TaskReport PackageInfoReport(const std::string& uuid, std::string_view bundle_id, std::string_view package,
                             std::string_view json) {
  return Item(uuid, kTypeCompressed, "{" + Member("bundle_id", bundle_id) + "," + Member("package", package) + "}",
              json);
}

TaskReport StoreIconReport(const std::string& uuid, std::string_view bundle_id, std::string_view url,
                           std::string_view image) {
  return Item(uuid, kTypeRaw, "{" + Member("bundle_id", bundle_id) + "," + Member("url", url) + "}", image);
}

TaskReport ProgressReport(const std::string& uuid, std::string_view bundle_id, int64_t percent) {
  return Item(uuid, kTypeCompressed,
              "{" + Member("bundle_id", bundle_id) + ",\"percent\":" + std::to_string(percent) + "}");
}

TaskReport OutcomeReport(const std::string& uuid, const ItemOutcome& outcome) {
  std::string info = "{";
  if (!outcome.bundle_id.empty()) info += Member("bundle_id", outcome.bundle_id) + ",";
  if (!outcome.package.empty()) info += Member("package", outcome.package) + ",";
  info += outcome.complete ? "\"complete\":true" : "\"complete\":false";
  if (!outcome.complete && !outcome.error.empty()) info += "," + Member("error", outcome.error);
  if (!outcome.complete && !outcome.description.empty()) info += "," + Member("description", outcome.description);
  return Item(uuid, kTypeCompressed, info + "}");
}
