#include "utility/module/media/media_file_check.h"

#include <glog/logging.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "utility/ios/zeb_afc.h"

namespace media {

namespace {

// Asks about paths[next++] on `afc` until none is left or a stop is seen.
void RunLane(const ZEBDeviceService& afc, const std::vector<std::string>& paths, std::atomic<size_t>* next,
             const std::function<bool()>& stop, std::vector<char>* regular) {
  for (size_t asked = 0;; ++asked) {
    // Polled every 64 requests: often enough for a stop to be seen within a fraction of a second.
    if (asked % 64 == 0 && stop && stop()) return;
    size_t i = next->fetch_add(1);
    if (i >= paths.size()) return;
    ZEBFileInfo info;
    (*regular)[i] = GetFileInfo(afc, paths[i], &info) && info.IsRegularFile();
  }
}

}  // namespace

bool DeviceStillAnswers(const ZEBDeviceService& afc) {
  ZEBFileInfo root;
  return GetFileInfo(afc, "/", &root);
}

RegularFileCheck DeviceRegularFileCheck(ZEBDeviceConnectionPtr device, ZEBDeviceServicePtr shared,
                                        std::function<bool()> stop, int lanes) {
  return [device = std::move(device), shared = std::move(shared), stop = std::move(stop),
          lanes](const std::vector<std::string>& paths) {
    std::vector<char> regular(paths.size(), 0);
    size_t wanted = std::min<size_t>(std::max(lanes, 1), 1 + paths.size() / kPathsPerExtraLane);
    std::vector<ZEBDeviceServicePtr> own;
    for (size_t lane = 1; lane < wanted; ++lane) {
      int error = 0;
      ServiceOptions options;
      options.own_connection = true;
      ZEBDeviceServicePtr extra = StartService(*device, kServiceAfc, &error, options, true);
      if (!extra) break;  // the lanes that started carry the rest
      own.push_back(std::move(extra));
    }
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (const ZEBDeviceServicePtr& service : own) {
      threads.emplace_back(RunLane, std::cref(*service), std::cref(paths), &next, std::cref(stop), &regular);
    }
    RunLane(*shared, paths, &next, stop, &regular);
    for (std::thread& thread : threads) thread.join();
    if (!own.empty()) LOG(INFO) << "Checked " << paths.size() << " files on " << own.size() + 1 << " connections";
    return std::vector<bool>(regular.begin(), regular.end());
  };
}

}  // namespace media
