#include "utility/module/photo/photo_listing.h"

#include <glog/logging.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int64_t kStopCheckEvery = 256;
constexpr size_t kReadChunk = 64 * 1024;

}  // namespace

PhotoListing::PhotoListing(SizeLookup size_lookup, StopCheck stopped)
    : size_lookup_(std::move(size_lookup)), stopped_(std::move(stopped)), file_(std::tmpfile()) {
  if (file_ == nullptr) {
    LOG(ERROR) << "No temporary file for the photo listing";
    ok_ = false;
  }
}

PhotoListing::~PhotoListing() {
  if (file_ != nullptr) std::fclose(file_);
}

bool PhotoListing::Write(const std::string& json) {
  if (!ok_) return false;
  // JSON texts carry no raw line breaks, so one line is one object.
  if (std::fwrite(json.data(), 1, json.size(), file_) != json.size() || std::fputc('\n', file_) == EOF) {
    LOG(ERROR) << "The photo listing's temporary file cannot be written";
    ok_ = false;
    return false;
  }
  ++count_;
  return count_ % kStopCheckEvery != 0 || !stopped_ || !stopped_();
}

bool PhotoListing::Photo(PhotoRecord& photo) {
  int64_t size = 0;
  if (photo.original_file_size < 0 && size_lookup_ && size_lookup_(photo.path, &size)) {
    photo.original_file_size = size;
  }
  return Write(PhotoJson(photo));
}

bool PhotoListing::Album(const AlbumRecord& album) { return Write(AlbumJson(album)); }

void PhotoListing::Restart() {
  count_ = 0;
  if (file_ != nullptr) {
    std::rewind(file_);
    ok_ = true;
  }
}

bool PhotoListing::Replay(ListingReporter& reporter) {
  if (!ok_ || std::fflush(file_) != 0) return false;
  // The file may hold a longer, failed form's objects after this one's; only `count_` lines are this form's.
  long end = std::ftell(file_);
  std::rewind(file_);
  reporter.SendCount(count_);
  std::vector<char> chunk(kReadChunk);
  std::string line;
  long read_total = 0;
  while (read_total < end) {
    size_t want = static_cast<size_t>(std::min<long>(static_cast<long>(chunk.size()), end - read_total));
    size_t got = std::fread(chunk.data(), 1, want, file_);
    if (got == 0) return false;
    read_total += static_cast<long>(got);
    const char* at = chunk.data();
    const char* end_of_chunk = at + got;
    while (at < end_of_chunk) {
      const char* newline = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end_of_chunk - at)));
      if (newline == nullptr) {
        line.append(at, end_of_chunk);
        break;
      }
      line.append(at, newline);
      reporter.Add(line);
      line.clear();
      at = newline + 1;
    }
  }
  reporter.Finish();
  return true;
}
