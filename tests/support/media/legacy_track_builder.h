// Legacy track databases (iTunesCDB) for tests, written from the record layout alone: a database header, a
// track list data set with the given tracks (title, location, artist and genre as UTF-16LE data records), and an
// empty playlist list data set that a reader must skip. `compressed` writes the header long and the body as one
// zlib stream, as newer devices keep it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media_test {

struct LegacyTrackRow {
  std::string title;
  std::string location;  // ":"-separated
  std::string artist;
  std::string genre;
  uint32_t size = 0;
  uint32_t length_ms = 0;
};

std::string BuildLegacyTrackDatabase(const std::vector<LegacyTrackRow>& tracks, bool compressed);

// Little-endian helpers for tests that damage a database on purpose.
void PutLe32(std::string* bytes, size_t offset, uint32_t value);
uint32_t GetLe32(const std::string& bytes, size_t offset);

}  // namespace media_test
