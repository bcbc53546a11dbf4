#include "utility/module/connect/driver_download.h"

#include <glog/logging.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <vector>

#include "platform/platform.h"
#include "utility/zeb_utility.h"

namespace {

constexpr size_t kMd5Digits = 32;
constexpr int kProgressSteps = 100;  // progress goes out when a hundredth more of the package has arrived

std::string LastSegment(const std::string& url) { return url.substr(url.find_last_of('/') + 1); }

// The companion's text as an MD5: 32 hexadecimal digits, surrounding blanks and line ends allowed; else "".
std::string ReadMd5Text(std::string text) {
  auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
  text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
  if (text.size() != kMd5Digits) return std::string();
  for (char& c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::string();
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

class PackageRun {
 public:
  PackageRun(const DriverDownload& request, int index, int count)
      : request_(request), index_(index), count_(count) {}

  enum class Result { kVerified, kSkipped, kStop };

  Result Fetch(const std::string& url, const std::string& path) {
    std::string md5_url = url + ".txt";
    int64_t md5_size = -1;
    HttpOutcome query = QuerySize(md5_url, &md5_size, request_.companion_limits);
    if (query.code != HttpCode::kOk || md5_size == 0) {
      LOG(INFO) << "md5Url file size 0: " << md5_url;
      return Result::kSkipped;
    }
    std::string body;
    HttpOutcome fetched = DownloadToMemory(md5_url, &body, request_.companion_limits);
    std::string expected = fetched.code == HttpCode::kOk ? ReadMd5Text(body) : std::string();
    if (expected.empty()) {
      LOG(ERROR) << "Url Error: " << md5_url << " " << fetched.reason;
      return Result::kStop;
    }
    if (platform::PathExists(path) && FileMd5(path) == expected) return Result::kVerified;
    int64_t size = -1;
    QuerySize(url, &size, request_.package_limits);
    if (size <= 0) LOG(INFO) << "Query Url File Size 0: " << url;
    total_ = std::max<int64_t>(size, 0);
    HttpOutcome download = DownloadToFile(url, path, request_.package_limits,
                                          [this](int64_t received, int64_t total) { return OnProgress(received, total); });
    if (request_.aborted()) return Result::kStop;
    if (download.code != HttpCode::kOk) {
      LOG(ERROR) << "Download of " << url << " failed: " << download.reason;
      return Result::kStop;
    }
    if (download.md5 != expected) {
      LOG(ERROR) << "Download Driver UnComplete: " << path;
      platform::RemoveTree(path);
      return Result::kStop;
    }
    return Result::kVerified;
  }

 private:
  bool OnProgress(int64_t received, int64_t total) {
    if (request_.aborted()) return false;
    if (total > 0) total_ = total;
    int64_t granule = total_ > 0 ? std::max<int64_t>(1, total_ / kProgressSteps) : 1 << 20;
    if (received > sent_ && (received - sent_ >= granule || received == total_)) {
      sent_ = received;
      request_.progress(DriverProgress{total_, received, index_, count_});
    }
    return true;
  }

  const DriverDownload& request_;
  const int index_;
  const int count_;
  int64_t total_ = 0;
  int64_t sent_ = 0;
};

}  // namespace

std::vector<std::string> DriverPackageUrls(std::string base_url) {
  if (base_url.empty() || base_url.back() != '/') base_url += '/';
  std::vector<std::string> urls;
  for (const char* package : kDriverPackages) urls.push_back(base_url + package);
  return urls;
}

std::string FileMd5(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  Md5Stream md5;
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    md5.Update(std::string_view(buffer.data(), static_cast<size_t>(in.gcount())));
  }
  return in.bad() ? std::string() : md5.Finish();
}

std::vector<std::string> DownloadDriverPackages(const DriverDownload& request) {
  std::vector<std::string> verified;
  std::vector<std::string> urls = DriverPackageUrls(request.base_url);
  int count = static_cast<int>(urls.size());
  for (int i = 0; i < count && !request.aborted(); ++i) {
    std::string path = request.folder + LastSegment(urls[i]);
    PackageRun run(request, i + 1, count);
    PackageRun::Result result = run.Fetch(urls[i], path);
    if (result == PackageRun::Result::kStop) break;
    if (result == PackageRun::Result::kVerified) verified.push_back(path);
  }
  return verified;
}
