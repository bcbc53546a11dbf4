#include "utility/module/media/media_filter.h"

namespace media {

bool MayNameMediaFile(const std::string& path) {
  if (path.empty() || path == "/") return false;
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  return path.find('.', slash + 1) != std::string::npos;
}

void FilterItems(std::vector<MediaItem>* items, const RegularFileCheck& check) {
  std::vector<std::string> paths;
  std::vector<size_t> asked;  // index into *items of each path
  for (size_t i = 0; i < items->size(); ++i) {
    if (!MayNameMediaFile((*items)[i].path)) continue;
    paths.push_back((*items)[i].path);
    asked.push_back(i);
  }
  std::vector<bool> regular = paths.empty() ? std::vector<bool>() : check(paths);
  std::vector<MediaItem> kept;
  kept.reserve(paths.size());
  for (size_t k = 0; k < asked.size() && k < regular.size(); ++k) {
    if (regular[k]) kept.push_back(std::move((*items)[asked[k]]));
  }
  items->swap(kept);
}

}  // namespace media
