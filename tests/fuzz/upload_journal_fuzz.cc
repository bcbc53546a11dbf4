// Fuzz target: an upload journal read back from the device can be any bytes. Reading it never crashes, and a
// journal that reads back is written again as the same journal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "utility/module/file/file_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  file::Journal journal;
  if (!file::ParseJournal(std::string_view(reinterpret_cast<const char*>(data), size), &journal)) return 0;
  file::Journal again;
  if (!file::ParseJournal(file::JournalText(journal), &again) || again.path != journal.path ||
      again.md5 != journal.md5 || again.size != journal.size || again.blocks.size() != journal.blocks.size()) {
    std::abort();
  }
  for (size_t i = 0; i < journal.blocks.size(); ++i) {
    if (again.blocks[i].status != journal.blocks[i].status) std::abort();
  }
  return 0;
}
