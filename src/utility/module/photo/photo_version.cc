#include "utility/module/photo/photo_version.h"

#include <algorithm>
#include <cstdint>

namespace {

// The parts of a dotted version text; "13.4.1" gives 13, 4, 1. Each part's leading digits count; an overlong
// number saturates rather than wrapping, so a hostile text cannot pass for a small one.
std::vector<int64_t> VersionParts(std::string_view text) {
  std::vector<int64_t> parts;
  if (text.empty()) return parts;
  size_t start = 0;
  while (true) {
    size_t dot = text.find('.', start);
    std::string_view part = text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    int64_t value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') break;
      int64_t digit = c - '0';
      value = value >= (INT64_MAX - digit) / 10 ? INT64_MAX / 10 : value * 10 + digit;
    }
    parts.push_back(value);
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts;
}

}  // namespace

int CompareVersions(std::string_view a, std::string_view b) {
  std::vector<int64_t> left = VersionParts(a);
  std::vector<int64_t> right = VersionParts(b);
  for (size_t i = 0; i < left.size() && i < right.size(); ++i) {
    if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
  }
  if (left.size() == right.size()) return 0;
  return left.size() < right.size() ? -1 : 1;
}

std::vector<int> CandidateVersionKeys(std::string_view version) {
  std::vector<int> keys;
  for (int key = kFirstVersionKey; key <= kLastVersionKey; ++key) {
    std::string key_text = std::to_string(key);
    if (key_text == version) {
      keys.insert(keys.begin(), key);
    } else if (CompareVersions(key_text, version) < 0) {
      keys.push_back(key);
    } else {
      std::vector<int> above;
      for (int rest = key; rest <= kLastVersionKey; ++rest) above.push_back(rest);
      keys.insert(keys.empty() ? keys.begin() : keys.begin() + 1, above.begin(), above.end());
      break;
    }
  }
  return keys;
}

std::string AssetTableFor(std::string_view version) {
  return CompareVersions(version, "14") < 0 ? "ZGENERICASSET" : "ZASSET";
}
