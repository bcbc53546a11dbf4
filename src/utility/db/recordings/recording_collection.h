// The voice recordings of one listing: one record per audio file, keyed by its device path, in the order the
// sources named them.
//
// Sources are read in a fixed order (recordings database, asset manifest, compositions); the first source that
// names a file keeps its record, and a later source may only update the date of a record already there. The
// records' JSON members come in the order the host expects:
//   {"path","size","label","duration_int","duration","date_int","date","source"}
// source 1 recordings database, 2 asset manifest, 3 composition, 4 cloud recordings database (backups only).
//
// Thread safety: a collection belongs to one thread.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace recordings {

enum Source : int { kDatabase = 1, kAssetManifest = 2, kComposition = 3, kCloudDatabase = 4 };

struct Recording {
  std::string path;  // the device path from "/Recordings"
  int64_t size = 0;
  std::string label;
  double duration_int = 0.0;  // seconds
  std::string duration;
  double date_int = 0.0;
  std::string date;
  int source = kDatabase;
};

class RecordingCollection {
 public:
  bool Contains(const std::string& path) const { return index_.count(path) != 0; }
  // Adds the record unless its path is already there; true when added.
  bool Add(Recording recording);
  // The record with this path, or null.
  Recording* Find(const std::string& path);
  size_t size() const { return records_.size(); }
  const std::vector<Recording>& records() const { return records_; }

  // A JSON array of every record, in the order they were added.
  std::string JsonArray() const;

 private:
  std::vector<Recording> records_;
  std::unordered_map<std::string, size_t> index_;
};

std::string RecordingJson(const Recording& recording);

}  // namespace recordings
