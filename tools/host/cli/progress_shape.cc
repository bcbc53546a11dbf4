#include "progress_shape.h"

#include <charconv>
#include <string_view>

namespace corvane_host {
namespace {

// The value at a dot-separated path below `root`, or null.
const rapidjson::Value* Find(const rapidjson::Value* root, std::string_view path) {
  while (root != nullptr && !path.empty()) {
    if (!root->IsObject()) return nullptr;
    size_t dot = path.find('.');
    std::string_view key = path.substr(0, dot);
    auto member = root->FindMember(rapidjson::Value(rapidjson::StringRef(key.data(), key.size())));
    root = member == root->MemberEnd() ? nullptr : &member->value;
    path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
  }
  return root;
}

struct Sources {
  const hostlink::Report& report;
  const rapidjson::Value* info;
  const rapidjson::Value* command;

  const rapidjson::Value* Lookup(std::string_view path) const {
    if (path.rfind("info.", 0) == 0) return Find(info, path.substr(5));
    if (path.rfind("command.", 0) == 0) return Find(command, path.substr(8));
    return nullptr;
  }
};

std::optional<int64_t> Term(std::string_view term, const Sources& s) {
  if (term == "code") return s.report.code;
  int64_t number = 0;
  auto [end, ec] = std::from_chars(term.data(), term.data() + term.size(), number);
  if (ec == std::errc() && end == term.data() + term.size()) return number;
  const rapidjson::Value* v = s.Lookup(term);
  if (v == nullptr || !v->IsNumber()) return std::nullopt;
  if (v->IsInt64()) return v->GetInt64();
  return static_cast<int64_t>(v->GetDouble());
}

std::optional<int64_t> Amount(std::string_view expression, const Sources& s) {
  int64_t sum = 0;
  for (;;) {
    size_t plus = expression.find('+');
    std::optional<int64_t> term = Term(expression.substr(0, plus), s);
    if (!term) return std::nullopt;
    sum += *term;
    if (plus == std::string_view::npos) return sum;
    expression = expression.substr(plus + 1);
  }
}

std::string Text(const rapidjson::Value& v) {
  if (v.IsString()) return std::string(v.GetString(), v.GetStringLength());
  if (v.IsInt64()) return std::to_string(v.GetInt64());
  if (v.IsNumber()) return std::to_string(v.GetDouble());
  return {};
}

std::string Label(std::string_view pattern, const Sources& s) {
  std::string out;
  for (;;) {
    size_t open = pattern.find('{');
    size_t close = open == std::string_view::npos ? open : pattern.find('}', open);
    if (close == std::string_view::npos) return out.append(pattern);
    out.append(pattern.substr(0, open));
    const rapidjson::Value* v = s.Lookup(pattern.substr(open + 1, close - open - 1));
    if (v != nullptr) out += Text(*v);
    pattern = pattern.substr(close + 1);
  }
}

}  // namespace

std::optional<ProgressReading> ReadProgress(const ProgressShape& shape, const hostlink::Report& report,
                                            const rapidjson::Value* command) {
  if (report.is_final() || (shape.stage >= 0 && report.stage != shape.stage)) return std::nullopt;
  rapidjson::Document info;
  if (report.has_info) info.Parse(report.info.data(), report.info.size());
  Sources sources{report, info.IsObject() ? &info : nullptr, command};
  std::optional<int64_t> done = Amount(shape.done, sources);
  std::optional<int64_t> total = Amount(shape.total, sources);
  if (!done || !total || *total <= 0 || *done < 0) return std::nullopt;
  ProgressReading reading;
  reading.done = std::min(*done, *total);
  reading.total = *total;
  reading.unit = shape.unit;
  reading.label = Label(shape.label, sources);
  return reading;
}

}  // namespace corvane_host
