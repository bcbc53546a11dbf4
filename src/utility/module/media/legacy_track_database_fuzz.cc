// Fuzz target: a legacy track database is a device file and may hold any bytes; reading it never crashes, never
// reads outside the input and never inflates past its limit.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "utility/module/media/legacy_track_database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<media::LegacyTrack> tracks;
  std::string error;
  media::ParseLegacyTrackDatabase(std::string_view(reinterpret_cast<const char*>(data), size), &tracks, &error);
  return 0;
}
