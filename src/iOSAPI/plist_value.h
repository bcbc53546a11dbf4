// PlistValue: a property-list value as the layers above the device library see it.
//
// A tree of strings, integers (64-bit), reals, booleans, dates
// (their ISO 8601 text), data (bytes; their text form is Base64), arrays and dictionaries (keys in order, a later
// duplicate replacing the earlier value). It never exposes the plist library's own types.
//
// Thread safety: a plain value.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class PlistValue {
 public:
  enum class Kind { kString, kInteger, kReal, kBoolean, kDate, kData, kArray, kDict };
  using Array = std::vector<PlistValue>;
  using Dict = std::map<std::string, PlistValue>;

  PlistValue() : kind_(Kind::kDict) {}
  static PlistValue String(std::string text);
  static PlistValue Integer(int64_t value);
  static PlistValue Real(double value);
  static PlistValue Boolean(bool value);
  static PlistValue Date(std::string iso8601);
  static PlistValue Data(std::string bytes);
  static PlistValue MakeArray(Array items = {});
  static PlistValue MakeDict(Dict members = {});

  Kind kind() const { return kind_; }
  bool IsString() const { return kind_ == Kind::kString; }
  bool IsInteger() const { return kind_ == Kind::kInteger; }
  bool IsReal() const { return kind_ == Kind::kReal; }
  bool IsBoolean() const { return kind_ == Kind::kBoolean; }
  bool IsArray() const { return kind_ == Kind::kArray; }
  bool IsDict() const { return kind_ == Kind::kDict; }
  bool IsData() const { return kind_ == Kind::kData; }
  bool IsDate() const { return kind_ == Kind::kDate; }

  // The text of a string or date, the Base64 text of data; empty for other kinds.
  std::string Text() const;
  // The raw bytes of data (or of a string).
  const std::string& Bytes() const { return text_; }
  int64_t AsInt64() const { return integer_; }
  double AsReal() const { return real_; }
  bool AsBool() const { return boolean_; }

  const Array& array() const { return array_; }
  Array& array() { return array_; }
  const Dict& dict() const { return dict_; }
  Dict& dict() { return dict_; }

  // The member `key` of a dictionary, or null.
  const PlistValue* Find(const std::string& key) const;
  // Convenience readers for dictionary members of the expected kind.
  std::optional<std::string> FindString(const std::string& key) const;
  std::optional<int64_t> FindInteger(const std::string& key) const;
  const PlistValue* FindDict(const std::string& key) const;
  const PlistValue* FindArray(const std::string& key) const;

  bool operator==(const PlistValue& other) const;

 private:
  Kind kind_;
  std::string text_;
  int64_t integer_ = 0;
  double real_ = 0;
  bool boolean_ = false;
  Array array_;
  Dict dict_;
};

// Base64 of bytes, without line breaks.
std::string Base64Encode(const std::string& bytes);
