// The `upload` command of corvane-host: drives the whole resumable upload (703) as a host does. It sends the
// start with the file's name, size and MD5, then each block the module asks for, until the final report. The
// module keeps a journal beside the file on the device, so after an interruption (Corvane or the link gone) the
// same upload run again is asked only for the blocks still missing.
#include <fcntl.h>
#include <openssl/evp.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "host_run.h"

namespace corvane_host {
namespace {

constexpr uint32_t kTypeUpload = 703;
constexpr size_t kReadSize = 1 << 20;

struct LocalFile {
  int fd = -1;
  int64_t size = 0;
  std::string md5;
  ~LocalFile() {
    if (fd >= 0) close(fd);
  }
};

bool OpenLocal(const std::string& path, LocalFile* file, std::string* error) {
  file->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (file->fd < 0 || fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = "cannot read " + path + (file->fd < 0 ? std::string(": ") + std::strerror(errno) : ": not a file");
    return false;
  }
  file->size = st.st_size;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md5(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  EVP_DigestInit_ex(md5.get(), EVP_md5(), nullptr);
  std::string buffer(kReadSize, '\0');
  for (int64_t offset = 0; offset < file->size;) {
    ssize_t got = pread(file->fd, buffer.data(), buffer.size(), offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      *error = "cannot read " + path;
      return false;
    }
    EVP_DigestUpdate(md5.get(), buffer.data(), static_cast<size_t>(got));
    offset += got;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(md5.get(), digest, &length);
  static constexpr char kHex[] = "0123456789abcdef";
  for (unsigned int i = 0; i < length; ++i) {
    file->md5 += kHex[digest[i] >> 4];
    file->md5 += kHex[digest[i] & 0xf];
  }
  return true;
}

bool ReadBlock(const LocalFile& file, int64_t offset, int64_t length, std::string* bytes) {
  bytes->resize(static_cast<size_t>(length));
  for (int64_t done = 0; done < length;) {
    ssize_t got = pread(file.fd, bytes->data() + done, static_cast<size_t>(length - done), offset + done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += got;
  }
  return true;
}

std::string StartJson(const std::string& name, const std::string& device_dir, const LocalFile& file) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  w.StartObject();
  w.Key("stage");
  w.Int(1);
  w.Key("info");
  w.StartObject();
  w.Key("name");
  w.String(name.c_str());
  w.Key("media");
  w.Bool(true);
  w.Key("dir");
  w.String(device_dir.c_str());
  w.Key("size");
  w.Int64(file.size);
  w.Key("md5");
  w.String(file.md5.c_str());
  w.EndObject();
  w.EndObject();
  return buffer.GetString();
}

// The block an answer asks for, when it is one of the file's.
std::optional<std::pair<int64_t, int64_t>> AskedBlock(const hostlink::Report& answer, int64_t size) {
  rapidjson::Document info;
  info.Parse(answer.info.data(), answer.info.size());
  if (!info.IsObject() || !info.HasMember("offset") || !info.HasMember("offset_length") ||
      !info["offset"].IsInt64() || !info["offset_length"].IsInt64()) {
    return std::nullopt;
  }
  int64_t offset = info["offset"].GetInt64();
  int64_t length = info["offset_length"].GetInt64();
  if (offset < 0 || length <= 0 || offset > size || length > size - offset) return std::nullopt;
  return std::make_pair(offset, length);
}

}  // namespace

int HostRun::Upload() {
  LocalFile file;
  std::string error;
  if (!OpenLocal(options_.upload_local, &file, &error)) {
    Complain(error);
    return kExitFailure;
  }
  hostlink::Report report;
  WaitEnd end = WaitPrinting(hostlink::OfType(19), Timeout(), &report);
  if (end != WaitEnd::kMatched) {
    ReportWaitEnd(end, "the start report (type 19)");
    return kExitFailure;
  }
  std::string name = std::filesystem::path(options_.upload_local).filename().string();
  corvane_host::SendRequest start;
  start.packet_type = kTypeUpload;
  start.json = StartJson(name, options_.upload_device_dir, file);
  uint64_t task_id = 0;
  if (!SendRequest(start, &task_id)) return kExitFailure;
  auto of_task = [task_id](const hostlink::Report& r) { return r.task_id == task_id && r.packet_type == kTypeUpload; };
  auto tell_how_to_resume = [] {
    Complain("the device keeps what arrived: run the same upload again to resume it");
    return kExitFailure;
  };
  std::string block;
  for (;;) {
    end = WaitPrinting(of_task, Timeout(), &report);
    if (end != WaitEnd::kMatched) {
      ReportWaitEnd(end, "the next answer of the upload (task " + std::to_string(task_id) + ")");
      return end == WaitEnd::kInterrupted ? kExitFailure : tell_how_to_resume();
    }
    if (report.is_final()) return FinalExitCode(report);
    std::optional<std::pair<int64_t, int64_t>> asked = AskedBlock(report, file.size);
    if (!asked) {
      Complain("the upload asked for a block that is not one of the file's: " + report.info);
      return kExitFailure;
    }
    if (!ReadBlock(file, asked->first, asked->second, &block)) {
      Complain("cannot read " + options_.upload_local);
      return kExitFailure;
    }
    std::string descriptor = "{\"stage\":2,\"code\":0,\"info\":{\"offset\":" + std::to_string(asked->first) +
                             ",\"offset_length\":" + std::to_string(asked->second) + "}}";
    if (!connection_->SendCommand(task_id, kTypeUpload, descriptor, block)) {
      Complain(connection_->last_error());
      return tell_how_to_resume();
    }
  }
}

}  // namespace corvane_host
