#include "file_saver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace corvane_host {
namespace {

constexpr size_t kMaxNameBytes = 255;

const rapidjson::Value* Member(const rapidjson::Value* object, const char* key) {
  if (object == nullptr || !object->IsObject()) return nullptr;
  auto it = object->FindMember(key);
  return it == object->MemberEnd() ? nullptr : &it->value;
}

std::optional<int64_t> IntMember(const rapidjson::Value* object, const char* key) {
  const rapidjson::Value* v = Member(object, key);
  if (v == nullptr || !v->IsInt64()) return std::nullopt;
  return v->GetInt64();
}

bool WriteAll(int fd, std::string_view bytes, int64_t offset) {
  while (!bytes.empty()) {
    ssize_t wrote = pwrite(fd, bytes.data(), bytes.size(), offset);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(wrote));
    offset += wrote;
  }
  return true;
}

}  // namespace

std::string SafeFileName(std::string_view name, std::string_view fallback) {
  size_t slash = name.find_last_of('/');
  if (slash != std::string_view::npos) name = name.substr(slash + 1);
  std::string safe(name.substr(0, kMaxNameBytes));
  for (char& c : safe) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127 || std::strchr("\\:*?\"<>|", c) != nullptr) c = '_';
  }
  if (safe.empty() || safe == "." || safe == "..") return std::string(fallback);
  return safe;
}

FileSaver::~FileSaver() {
  for (auto& [task, stream] : streams_) Close(stream, false);
}

SaveOutcome FileSaver::Take(uint64_t task, const SaveShape& save, const hostlink::Report& report,
                            const rapidjson::Value* command) {
  switch (save.kind) {
    case SaveKind::kStream:
      return TakeStreamed(task, report, command);
    case SaveKind::kImages:
      return TakeImage(save, report);
    case SaveKind::kNothing:
    case SaveKind::kLocalFolder:
      break;
  }
  return {};
}

FileSaver::Stream& FileSaver::Open(uint64_t task, const rapidjson::Value* command) {
  auto [it, added] = streams_.try_emplace(task);
  Stream& stream = it->second;
  if (!added) return stream;
  const rapidjson::Value* path = Member(Member(command, "info"), "path");
  std::string name = SafeFileName(path != nullptr && path->IsString() ? path->GetString() : "", "download");
  stream.final_path = folder_ + "/" + name;
  stream.part_path = stream.final_path + ".part";
  stream.fd = open(stream.part_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (stream.fd < 0) stream.error = "cannot write " + stream.part_path + ": " + std::strerror(errno);
  return stream;
}

SaveOutcome FileSaver::TakeStreamed(uint64_t task, const hostlink::Report& report,
                                    const rapidjson::Value* command) {
  if (report.is_final()) {
    bool succeeded = report.header_code == hostlink::kCodeSuccess && report.code == 0;
    if (!succeeded) {
      if (streams_.count(task) != 0) Close(streams_[task], false);
      streams_.erase(task);
      return {};
    }
    Stream& stream = Open(task, command);  // an empty file has no chunks
    rapidjson::Document info;
    if (report.has_info) info.Parse(report.info.data(), report.info.size());
    std::optional<int64_t> size = IntMember(&info, "size");
    if (stream.error.empty() && size && *size != stream.written) {
      stream.error = "the chunks held " + std::to_string(stream.written) + " bytes of the file's " +
                     std::to_string(*size);
    }
    Close(stream, stream.error.empty());
    SaveOutcome outcome{stream.error.empty() ? stream.final_path : "", stream.error};
    streams_.erase(task);
    return outcome;
  }
  rapidjson::Document info;
  if (report.has_info) info.Parse(report.info.data(), report.info.size());
  std::optional<int64_t> offset = IntMember(&info, "offset");
  std::optional<int64_t> size = IntMember(&info, "size");
  if (!offset || !size) return {};
  bool opened_now = streams_.count(task) == 0;
  Stream& stream = Open(task, command);
  if (!stream.error.empty()) return {"", opened_now ? stream.error : ""};
  auto length = static_cast<int64_t>(report.data.size());
  if (*offset < 0 || length > *size || *offset > *size - length) {
    stream.error = "a chunk at offset " + std::to_string(*offset) + " does not fit the file's size " +
                   std::to_string(*size);
  } else if (!WriteAll(stream.fd, report.data, *offset)) {
    stream.error = "cannot write " + stream.part_path + ": " + std::strerror(errno);
  } else {
    stream.written += length;
  }
  return {"", stream.error};
}

SaveOutcome FileSaver::TakeImage(const SaveShape& save, const hostlink::Report& report) {
  std::string_view data = report.data;
  const char* extension = data.starts_with("\x89PNG\r\n\x1a\n") ? ".png"
                          : data.starts_with("\xff\xd8\xff")    ? ".jpg"
                                                                : nullptr;
  if (extension == nullptr || report.is_final()) return {};
  rapidjson::Document info;
  if (report.has_info) info.Parse(report.info.data(), report.info.size());
  const rapidjson::Value* item = Member(&info, save.member);
  std::string stem = item != nullptr && item->IsString() ? item->GetString() : "";
  std::string path = folder_ + "/" + SafeFileName(stem.empty() ? "" : stem + save.suffix, "image") + extension;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) return {"", "cannot write " + path};
  return {path, ""};
}

void FileSaver::Close(Stream& stream, bool keep) {
  if (stream.fd >= 0) close(stream.fd);
  stream.fd = -1;
  if (keep && std::rename(stream.part_path.c_str(), stream.final_path.c_str()) == 0) return;
  if (keep) stream.error = "cannot rename " + stream.part_path;
  unlink(stream.part_path.c_str());
}

}  // namespace corvane_host
