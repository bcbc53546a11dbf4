#include "utility/module/media/media_file_check.h"

#include "utility/ios/zeb_afc.h"

namespace media {

RegularFileCheck DeviceRegularFileCheck(AFCConnectionRef afc, std::function<bool()> stop) {
  return [afc, stop = std::move(stop)](const std::vector<std::string>& paths) {
    std::vector<bool> regular(paths.size(), false);
    for (size_t i = 0; i < paths.size(); ++i) {
      // Polled every 64 requests: often enough for a stop to be seen within a fraction of a second.
      if (i % 64 == 0 && stop && stop()) break;
      ZEBFileInfo info;
      regular[i] = GetFileInfo(afc, paths[i], &info) && info.IsRegularFile();
    }
    return regular;
  };
}

}  // namespace media
