// A property-list value as the simulator's API sees it: string, boolean, integer, real, data, date, array or
// dictionary. Tests use it to put lockdown values, store metadata and diagnostics into a profile and to change a
// value at run time; the simulator turns it into a libplist node on the wire and into JSON in device.json.
//
// A Value is a plain value type with no shared state; copies are independent, so it is as thread-safe as any
// standard container (one writer or many readers per object).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace devicesim {

class Value {
 public:
  enum class Type { kString, kBool, kInteger, kReal, kData, kDate, kArray, kDict };

  Value() = default;  // an empty string
  Value(const char* text) : text_(text) {}                      // NOLINT: implicit on purpose, reads like a literal
  Value(std::string text) : text_(std::move(text)) {}           // NOLINT
  Value(bool flag) : type_(Type::kBool), flag_(flag) {}          // NOLINT
  Value(int number) : type_(Type::kInteger), integer_(number) {}  // NOLINT
  Value(unsigned number) : type_(Type::kInteger), integer_(number) {}  // NOLINT
  Value(int64_t number) : type_(Type::kInteger), integer_(number) {}  // NOLINT
  Value(uint64_t number) : type_(Type::kInteger), integer_(static_cast<int64_t>(number)) {}  // NOLINT
  Value(double number) : type_(Type::kReal), real_(number) {}    // NOLINT

  static Value Data(std::string bytes);
  // Seconds since 1970-01-01 UTC.
  static Value Date(int64_t unix_seconds);
  static Value Array(std::vector<Value> items = {});
  static Value Dict();

  Type type() const { return type_; }
  bool is_dict() const { return type_ == Type::kDict; }

  // String text or data bytes.
  const std::string& text() const { return text_; }
  bool flag() const { return flag_; }
  // Integer value, or the seconds of a date.
  int64_t integer() const { return integer_; }
  double real() const { return real_; }
  const std::vector<Value>& items() const { return items_; }
  std::vector<Value>& items() { return items_; }
  // Dictionary members in insertion order (the order they go on the wire).
  const std::vector<std::pair<std::string, Value>>& members() const { return members_; }

  // Dictionary access. Set replaces a member of the same key in place or appends it; Set on a value that is not
  // a dictionary turns it into an empty dictionary first. Find returns null when the key is absent.
  Value& Set(const std::string& key, Value value);
  const Value* Find(const std::string& key) const;
  Value* Find(const std::string& key);
  bool Remove(const std::string& key);

  // Array access: appends to an array (a non-array becomes an empty array first).
  Value& Append(Value value);

  bool operator==(const Value& other) const;
  bool operator!=(const Value& other) const { return !(*this == other); }

 private:
  Type type_ = Type::kString;
  std::string text_;
  bool flag_ = false;
  int64_t integer_ = 0;
  double real_ = 0;
  std::vector<Value> items_;
  std::vector<std::pair<std::string, Value>> members_;
};

}  // namespace devicesim
