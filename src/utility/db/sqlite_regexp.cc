#include "utility/db/sqlite_regexp.h"

#include <cctype>
#include <regex>
#include <string>

namespace {

constexpr const char* kInvalidArguments = "SQL function regexp() called with invalid arguments.\n";

std::string UpperCaseArgument(sqlite3_value* value) {
  const unsigned char* text = sqlite3_value_text(value);
  if (text == nullptr) return std::string();
  std::string upper(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_value_bytes(value)));
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

void Regexp(sqlite3_context* context, int argc, sqlite3_value** argv) {
  std::string pattern = argc == 2 ? UpperCaseArgument(argv[0]) : std::string();
  std::string subject = argc == 2 ? UpperCaseArgument(argv[1]) : std::string();
  if (pattern.empty() || subject.empty()) {
    sqlite3_result_error(context, kInvalidArguments, -1);
    return;
  }
  try {
    sqlite3_result_int(context, std::regex_search(subject, std::regex(pattern)) ? 1 : 0);
  } catch (const std::exception& error) {  // a malformed pattern, or a search too complex for std::regex
    sqlite3_result_error(context, error.what(), -1);
  }
}

}  // namespace

int RegisterRegexpFunction(sqlite3* db) {
  return sqlite3_create_function(db, "regexp", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &Regexp, nullptr,
                                 nullptr);
}
