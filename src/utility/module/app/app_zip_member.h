// Reading one small member of a zip archive straight from the file, for the members minizip cannot open.
//
// The minizip 1.1 of Debian 12 recognises a zip64 field only when the 32-bit field equals (unsigned long)-1,
// which on 64-bit Linux is never a 32-bit value: a member whose local header lies beyond 4 GiB keeps the marker
// 0xFFFFFFFF as its offset and cannot be opened. Packages above 4 GiB have such members (often
// iTunesMetadata.plist, sometimes Info.plist). minizip still lists them and hands over the central directory's
// extra field; this reader takes the true sizes and offset from its zip64 field, checks the local header, inflates
// (or copies, for stored members) and verifies the checksum.
//
// Thread safety: pure function.
#pragma once

#include <unzip.h>

#include <string>
#include <string_view>

// `entry` and `central_extra` as minizip gave them for the member; false when the member cannot be found, is
// larger than `limit`, uses another method than stored or deflate, or fails its checksum.
bool ReadZipMemberDirectly(const std::string& archive, const unz_file_info64& entry, std::string_view central_extra,
                           size_t limit, std::string* out);
