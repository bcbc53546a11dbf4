// Which shape of the photo database a device's iOS version points to.
//
// Version texts are compared number by number from the left, each dotted part read as a decimal number (leading
// digits; a part without any reads as 0); when one text runs out of parts while the other still has some, the
// shorter one is the smaller ("9" < "9.3", so "14" is smaller than "14.0").
//
// The query forms are registered under the version keys 4 to 14. The candidate order says which keys to try, and
// in which order, for a version the module has not seen work before: the keys below the version in ascending
// order, with the key equal to the whole text (if any) moved to the front, and the keys above the version placed
// right after the first candidate. For "13.4.1" that is 4, 14, 5, 6 ... 13: the oldest form first (it fails fast
// on a newer database), then the newest.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

inline constexpr int kFirstVersionKey = 4;
inline constexpr int kLastVersionKey = 14;

// Negative when a < b, 0 when equal, positive when a > b.
int CompareVersions(std::string_view a, std::string_view b);

std::vector<int> CandidateVersionKeys(std::string_view version);

// "ZASSET" from iOS 14 on, "ZGENERICASSET" before.
std::string AssetTableFor(std::string_view version);
