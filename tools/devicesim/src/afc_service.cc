// The AFC file service ("com.apple.afc", and "com.apple.afc2" on jailbroken profiles) over the profile's afc/
// folder. One instance per connection: it owns the connection's file handles and its transfer buffer.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cerrno>
#include <filesystem>
#include <map>
#include <vector>

#include "afc_paths.h"
#include "afc_wire.h"
#include "builtin_services.h"
#include "hub.h"

namespace devicesim {
namespace {

// Fields (paths, handles) of a request stay small; a larger this_length is no AFC client.
constexpr uint64_t kMaxFields = 64 << 10;
// A single read beyond this is cut and a write beyond it refused; clients use a few MiB.
constexpr uint64_t kMaxTransfer = 64ull << 20;

uint64_t StatusFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kAfcObjectNotFound;
    case EISDIR:
      return kAfcObjectIsDir;
    case EACCES:
    case EPERM:
    case EROFS:
      return kAfcPermissionDenied;
    case EEXIST:
      return kAfcObjectExists;
    case ENOSPC:
      return kAfcNoSpaceLeft;
    case ENOTEMPTY:
      return kAfcUnknownError;  // clients report 1 from REMOVE_PATH as "directory not empty"
    case EWOULDBLOCK:
      return kAfcOpWouldBlock;
    case EINVAL:
      return kAfcInvalidArgument;
    default:
      return kAfcIoError;
  }
}

int OpenFlags(uint64_t mode) {
  switch (mode) {
    case 1: return O_RDONLY;
    case 2: return O_RDWR | O_CREAT;
    case 3: return O_WRONLY | O_CREAT | O_TRUNC;
    case 4: return O_RDWR | O_CREAT | O_TRUNC;
    case 5: return O_WRONLY | O_APPEND | O_CREAT;
    case 6: return O_RDWR | O_APPEND | O_CREAT;
    default: return -1;
  }
}

const char* FileKind(mode_t mode) {
  if (S_ISDIR(mode)) return "S_IFDIR";
  if (S_ISLNK(mode)) return "S_IFLNK";
  if (S_ISCHR(mode)) return "S_IFCHR";
  if (S_ISBLK(mode)) return "S_IFBLK";
  if (S_ISFIFO(mode)) return "S_IFIFO";
  if (S_ISSOCK(mode)) return "S_IFSOCK";
  return "S_IFREG";
}

uint64_t Nanoseconds(const timespec& time) {
  return static_cast<uint64_t>(time.tv_sec) * 1000000000ull + static_cast<uint64_t>(time.tv_nsec);
}

std::vector<std::string> HostileNames() {
  return {"..", "evil/name", "back\\slash", std::string("nul\0inside", 10), std::string(300, 'L')};
}

class AfcService : public Service {
 public:
  ~AfcService() override {
    for (const auto& [handle, file] : files_) ::close(file.fd);
  }

  void Serve(ServiceContext& context) override {
    context_ = &context;
    root_ = context.device->profile.afc_root;
    channel_ = context.service == kAfc2Service ? "afc2" : "afc";
    Stream& stream = context.stream;
    while (!context.hub.stopping.load()) {
      unsigned char raw[kAfcHeaderSize];
      AfcHeader header;
      if (!stream.ReadExact(raw, sizeof(raw)) || !ParseAfcHeader(raw, &header)) return;
      uint64_t fields_size = header.this_length - kAfcHeaderSize;
      uint64_t payload_size = header.entire_length - header.this_length;
      if (fields_size > kMaxFields || payload_size > kMaxTransfer) return;
      fields_.resize(fields_size);
      if (!stream.ReadExact(fields_.data(), fields_.size())) return;
      // A write's payload goes from the socket straight into the file; other payloads are request fields.
      if (header.operation != kAfcFileWrite && payload_size > 0) {
        if (payload_size > kMaxFields) return;
        size_t had = fields_.size();
        fields_.resize(had + payload_size);
        if (!stream.ReadExact(fields_.data() + had, payload_size)) return;
      }
      if (context.request_delay_us != 0) std::this_thread::sleep_for(std::chrono::microseconds(context.request_delay_us));
      if (!Dispatch(header, payload_size)) return;
    }
  }

  std::string BrokenAnswer(bool oversized) const override {
    if (oversized) return BuildAfcHeader(kAfcData, 0, 0, (4ull << 30) - kAfcHeaderSize) + "trunc";
    std::string header = BuildAfcHeader(kAfcStatus, 0, 8, 0);
    header.replace(0, 8, "CFA6XXXX");
    return header + std::string(8, '\0');
  }

 private:
  struct OpenFile {
    int fd;
    std::string path;
  };

  bool Dispatch(const AfcHeader& header, uint64_t payload_size) {
    uint64_t number = header.packet_num;
    switch (header.operation) {
      case kAfcReadDir: return ReadDirectory(number);
      case kAfcGetFileInfo: return FileInfo(number);
      case kAfcGetDevInfo: return DeviceInfo(number);
      case kAfcMakeDir: return MakeDirectory(number);
      case kAfcTruncate: return Truncate(number);
      case kAfcRemovePath: return RemovePath(number, false);
      case kAfcRemovePathAndContents: return RemovePath(number, true);
      case kAfcRenamePath: return Rename(number);
      case kAfcMakeLink: return MakeLink(number);
      case kAfcSetFileModTime: return SetModTime(number);
      case kAfcFileOpen: return Open(number);
      case kAfcFileRead: return Read(number);
      case kAfcFileWrite: return Write(number, payload_size);
      case kAfcFileSeek: return Seek(number);
      case kAfcFileTell: return Tell(number);
      case kAfcFileClose: return Close(number);
      case kAfcFileSetSize: return SetSize(number);
      case kAfcFileLock: return Lock(number);
      default:
        Log(AfcOperationName(header.operation), "");
        return SendStatus(number, kAfcOpNotSupported);
    }
  }

  void Log(const std::string& operation, const std::string& path, const std::string& path2 = "") {
    std::map<std::string, std::string> args;
    if (!path.empty()) args["Path"] = path;
    if (!path2.empty()) args["Path2"] = path2;
    context_->hub.Record(Request{context_->device->udid, channel_, operation, std::move(args)});
  }

  bool SendStatus(uint64_t number, uint64_t code) {
    std::string packet = BuildAfcHeader(kAfcStatus, number, 8, 0);
    AppendLe64(&packet, code);
    return context_->stream.Write(packet.data(), packet.size());
  }

  bool SendValue(uint64_t operation, uint64_t number, uint64_t value) {
    std::string packet = BuildAfcHeader(operation, number, 8, 0);
    AppendLe64(&packet, value);
    return context_->stream.Write(packet.data(), packet.size());
  }

  bool SendData(uint64_t number, const char* data, size_t size) {
    std::string header = BuildAfcHeader(kAfcData, number, 0, size);
    return context_->stream.WriteParts(header.data(), header.size(), data, size);
  }

  uint64_t Field64(size_t offset) const {
    if (fields_.size() < offset + 8) return 0;
    return ReadLe64(reinterpret_cast<const unsigned char*>(fields_.data()) + offset);
  }

  OpenFile* FindFile(uint64_t handle) {
    auto it = files_.find(handle);
    return it == files_.end() ? nullptr : &it->second;
  }

  bool ReadDirectory(uint64_t number) {
    std::string path = StringAt(fields_, 0), host;
    Log("READ_DIR", path);
    if (uint64_t code = ResolveAfcPath(root_, path, true, &host)) return SendStatus(number, code);
    DIR* dir = ::opendir(host.c_str());
    if (!dir) return SendStatus(number, StatusFromErrno(errno));
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    names.insert(names.begin(), {".", ".."});
    std::string normalized, hostile;
    {
      std::lock_guard<std::mutex> lock(context_->device->mutex);
      hostile = context_->device->hostile_folder;
    }
    if (!hostile.empty() && NormalizeAfcPath(path, &normalized) && normalized == hostile) {
      for (std::string& name : HostileNames()) names.push_back(std::move(name));
    }
    std::string answer = EncodeStrings(names);
    return SendData(number, answer.data(), answer.size());
  }

  bool FileInfo(uint64_t number) {
    std::string path = StringAt(fields_, 0), host;
    Log("GET_FILE_INFO", path);
    if (uint64_t code = ResolveAfcPath(root_, path, false, &host)) return SendStatus(number, code);
    struct statx info;
    if (::statx(AT_FDCWD, host.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
      return SendStatus(number, StatusFromErrno(errno));
    }
    auto ns = [](const statx_timestamp& t) { return Nanoseconds(timespec{t.tv_sec, t.tv_nsec}); };
    uint64_t birth = (info.stx_mask & STATX_BTIME) ? ns(info.stx_btime) : ns(info.stx_mtime);
    std::vector<std::pair<std::string, std::string>> pairs = {
        {"st_size", std::to_string(info.stx_size)},
        {"st_blocks", std::to_string(info.stx_blocks)},
        {"st_nlink", std::to_string(info.stx_nlink)},
        {"st_ifmt", FileKind(info.stx_mode)},
        {"st_mtime", std::to_string(ns(info.stx_mtime))},
        {"st_birthtime", std::to_string(birth)},
    };
    if (S_ISLNK(info.stx_mode)) {
      char target[4096];
      ssize_t n = ::readlink(host.c_str(), target, sizeof(target));
      if (n > 0) pairs.emplace_back("LinkTarget", std::string(target, static_cast<size_t>(n)));
    }
    std::string answer = EncodeKeyValues(pairs);
    return SendData(number, answer.data(), answer.size());
  }

  bool DeviceInfo(uint64_t number) {
    Log("GET_DEVINFO", "");
    const Profile& profile = context_->device->profile;
    struct statvfs fs_info {};
    ::statvfs(root_.c_str(), &fs_info);
    auto figure = [&](const char* key, uint64_t measured) {
      const Value* value = profile.afc_device_info.Find(key);
      return value && value->type() == Value::Type::kInteger ? std::to_string(value->integer())
                                                            : std::to_string(measured);
    };
    const Value* model = profile.afc_device_info.Find("Model");
    if (!model) model = profile.values.Find("ProductType");
    std::string answer = EncodeKeyValues({
        {"Model", model ? model->text() : "iPhone"},
        {"FSTotalBytes", figure("FSTotalBytes", uint64_t{fs_info.f_blocks} * fs_info.f_frsize)},
        {"FSFreeBytes", figure("FSFreeBytes", profile.afc_free_bytes >= 0
                                                  ? static_cast<uint64_t>(std::max<int64_t>(0, FreeBytesLeft()))
                                                  : uint64_t{fs_info.f_bavail} * fs_info.f_frsize)},
        {"FSBlockSize", figure("FSBlockSize", 4096)},
    });
    return SendData(number, answer.data(), answer.size());
  }

  bool MakeDirectory(uint64_t number) {
    std::string path = StringAt(fields_, 0), host;
    Log("MAKE_DIR", path);
    if (uint64_t code = ResolveAfcPath(root_, path, true, &host)) return SendStatus(number, code);
    std::error_code ec;
    std::filesystem::create_directories(host, ec);
    if (ec) return SendStatus(number, StatusFromErrno(ec.value()));
    return SendStatus(number, std::filesystem::is_directory(host) ? kAfcSuccess : kAfcObjectExists);
  }

  bool Truncate(uint64_t number) {
    uint64_t size = Field64(0);
    std::string path = StringAt(fields_, 8), host;
    Log("TRUNCATE", path);
    if (uint64_t code = ResolveAfcPath(root_, path, true, &host)) return SendStatus(number, code);
    int result = ::truncate(host.c_str(), static_cast<off_t>(size));
    return SendStatus(number, result == 0 ? kAfcSuccess : StatusFromErrno(errno));
  }

  bool RemovePath(uint64_t number, bool with_contents) {
    std::string path = StringAt(fields_, 0), host;
    Log(with_contents ? "REMOVE_PATH_AND_CONTENTS" : "REMOVE_PATH", path);
    if (uint64_t code = ResolveAfcPath(root_, path, false, &host)) return SendStatus(number, code);
    if (host == root_) return SendStatus(number, kAfcPermissionDenied);
    struct stat info;
    if (::lstat(host.c_str(), &info) != 0) return SendStatus(number, StatusFromErrno(errno));
    if (with_contents) {
      std::error_code ec;
      std::filesystem::remove_all(host, ec);
      return SendStatus(number, ec ? StatusFromErrno(ec.value()) : kAfcSuccess);
    }
    int result = S_ISDIR(info.st_mode) ? ::rmdir(host.c_str()) : ::unlink(host.c_str());
    return SendStatus(number, result == 0 ? kAfcSuccess : StatusFromErrno(errno));
  }

  bool Rename(uint64_t number) {
    size_t next = 0;
    std::string from = StringAt(fields_, 0, &next), to = StringAt(fields_, next), host_from, host_to;
    Log("RENAME_PATH", from, to);
    if (uint64_t code = ResolveAfcPath(root_, from, false, &host_from)) return SendStatus(number, code);
    if (uint64_t code = ResolveAfcPath(root_, to, false, &host_to)) return SendStatus(number, code);
    if (host_from == root_ || host_to == root_) return SendStatus(number, kAfcPermissionDenied);
    int result = ::rename(host_from.c_str(), host_to.c_str());
    return SendStatus(number, result == 0 ? kAfcSuccess : StatusFromErrno(errno));
  }

  bool MakeLink(uint64_t number) {
    size_t next = 0;
    uint64_t type = Field64(0);
    std::string target = StringAt(fields_, 8, &next), name = StringAt(fields_, next), host_name, host_target;
    Log("MAKE_LINK", name, target);
    if (uint64_t code = ResolveAfcPath(root_, name, false, &host_name)) return SendStatus(number, code);
    int result = -1;
    if (type == 2) {
      // The link's text is stored as given; following it later is confined like any other path.
      result = ::symlink(target.c_str(), host_name.c_str());
    } else if (type == 1) {
      if (uint64_t code = ResolveAfcPath(root_, target, true, &host_target)) return SendStatus(number, code);
      result = ::link(host_target.c_str(), host_name.c_str());
    } else {
      return SendStatus(number, kAfcInvalidArgument);
    }
    return SendStatus(number, result == 0 ? kAfcSuccess : StatusFromErrno(errno));
  }

  bool SetModTime(uint64_t number) {
    uint64_t mtime = Field64(0);
    std::string path = StringAt(fields_, 8), host;
    Log("SET_FILE_MOD_TIME", path);
    if (uint64_t code = ResolveAfcPath(root_, path, true, &host)) return SendStatus(number, code);
    timespec times[2] = {{0, UTIME_OMIT},
                         {static_cast<time_t>(mtime / 1000000000ull), static_cast<long>(mtime % 1000000000ull)}};
    int result = ::utimensat(AT_FDCWD, host.c_str(), times, 0);
    return SendStatus(number, result == 0 ? kAfcSuccess : StatusFromErrno(errno));
  }

  bool Open(uint64_t number) {
    uint64_t mode = Field64(0);
    std::string path = StringAt(fields_, 8), host;
    Log("FILE_OPEN", path);
    int flags = OpenFlags(mode);
    if (flags < 0) return SendStatus(number, kAfcInvalidArgument);
    if (uint64_t code = ResolveAfcPath(root_, path, true, &host)) return SendStatus(number, code);
    int fd = ::open(host.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return SendStatus(number, StatusFromErrno(errno));
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      ::close(fd);
      return SendStatus(number, kAfcObjectIsDir);
    }
    uint64_t handle = next_handle_++;
    files_[handle] = OpenFile{fd, path};
    return SendValue(kAfcFileOpenResult, number, handle);
  }

  bool Read(uint64_t number) {
    OpenFile* file = FindFile(Field64(0));
    uint64_t length = std::min(Field64(8), kMaxTransfer);
    Log("FILE_READ", file ? file->path : "");
    if (!file) return SendStatus(number, kAfcInvalidArgument);
    struct stat info;
    off_t position = ::lseek(file->fd, 0, SEEK_CUR);
    if (::fstat(file->fd, &info) != 0 || position < 0) return SendStatus(number, StatusFromErrno(errno));
    if (!S_ISREG(info.st_mode)) return SendStatus(number, kAfcIoReadError);
    // The header promises the length, then the bytes go from the file to the socket without a copy here.
    size_t size = static_cast<size_t>(std::min<uint64_t>(length, info.st_size > position ? info.st_size - position : 0));
    std::string header = BuildAfcHeader(kAfcData, number, 0, size);
    return context_->stream.Write(header.data(), header.size()) && context_->stream.SendFile(file->fd, size);
  }

  bool Write(uint64_t number, uint64_t payload_size) {
    OpenFile* file = FindFile(Field64(0));
    Log("FILE_WRITE", file ? file->path : "");
    if (!file) return context_->stream.Skip(payload_size) && SendStatus(number, kAfcInvalidArgument);
    if (context_->device->profile.afc_free_bytes >= 0) return WriteWithinFreeSpace(number, *file, payload_size);
    bool file_error = false;
    if (context_->stream.ReceiveToFile(file->fd, payload_size, &file_error)) return SendStatus(number, kAfcSuccess);
    return file_error && SendStatus(number, kAfcWriteError);
  }

  // The free space left of a profile whose afc/ folder may grow only so far.
  int64_t FreeBytesLeft() const {
    const Device& device = *context_->device;
    return device.afc_baseline_bytes + device.profile.afc_free_bytes - ApparentTreeBytes(root_);
  }

  // A small data partition: a write that does not fit is refused whole, as a full device does, and a block of
  // zeros becomes a hole, so that filling a few hundred MiB costs no disk.
  bool WriteWithinFreeSpace(uint64_t number, const OpenFile& file, uint64_t payload_size) {
    struct stat info;
    off_t position = ::lseek(file.fd, 0, SEEK_CUR);
    if (::fstat(file.fd, &info) != 0 || position < 0) {
      return context_->stream.Skip(payload_size) && SendStatus(number, StatusFromErrno(errno));
    }
    int64_t growth = std::max<int64_t>(0, position + static_cast<int64_t>(payload_size) - info.st_size);
    if (growth > FreeBytesLeft()) return context_->stream.Skip(payload_size) && SendStatus(number, kAfcNoSpaceLeft);
    write_buffer_.resize(payload_size);
    if (!context_->stream.ReadExact(write_buffer_.data(), payload_size)) return false;
    bool zeros = std::all_of(write_buffer_.begin(), write_buffer_.end(), [](char c) { return c == 0; });
    bool ok;
    if (zeros) {
      off_t end = position + static_cast<off_t>(payload_size);
      ok = ::lseek(file.fd, end, SEEK_SET) == end && (end <= info.st_size || ::ftruncate(file.fd, end) == 0);
    } else {
      ok = ::write(file.fd, write_buffer_.data(), payload_size) == static_cast<ssize_t>(payload_size);
    }
    return SendStatus(number, ok ? kAfcSuccess : kAfcWriteError);
  }

  bool Seek(uint64_t number) {
    OpenFile* file = FindFile(Field64(0));
    Log("FILE_SEEK", file ? file->path : "");
    if (!file) return SendStatus(number, kAfcInvalidArgument);
    uint64_t whence = Field64(8);
    auto offset = static_cast<int64_t>(Field64(16));
    if (whence > 2) return SendStatus(number, kAfcInvalidArgument);
    off_t result = ::lseek(file->fd, offset, static_cast<int>(whence));
    return SendStatus(number, result < 0 ? StatusFromErrno(errno) : kAfcSuccess);
  }

  bool Tell(uint64_t number) {
    OpenFile* file = FindFile(Field64(0));
    Log("FILE_TELL", file ? file->path : "");
    if (!file) return SendStatus(number, kAfcInvalidArgument);
    off_t position = ::lseek(file->fd, 0, SEEK_CUR);
    if (position < 0) return SendStatus(number, StatusFromErrno(errno));
    return SendValue(kAfcFileTellResult, number, static_cast<uint64_t>(position));
  }

  bool Close(uint64_t number) {
    auto it = files_.find(Field64(0));
    Log("FILE_CLOSE", it == files_.end() ? "" : it->second.path);
    if (it == files_.end()) return SendStatus(number, kAfcInvalidArgument);
    ::close(it->second.fd);
    files_.erase(it);
    return SendStatus(number, kAfcSuccess);
  }

  bool SetSize(uint64_t number) {
    OpenFile* file = FindFile(Field64(0));
    Log("FILE_SET_SIZE", file ? file->path : "");
    if (!file) return SendStatus(number, kAfcInvalidArgument);
    int result = ::ftruncate(file->fd, static_cast<off_t>(Field64(8)));
    return SendStatus(number, result == 0 ? kAfcSuccess : StatusFromErrno(errno));
  }

  bool Lock(uint64_t number) {
    OpenFile* file = FindFile(Field64(0));
    Log("FILE_LOCK", file ? file->path : "");
    if (!file) return SendStatus(number, kAfcInvalidArgument);
    // AFC's lock operations carry the same bits as flock's (shared 1, exclusive 2, non-blocking 4, unlock 8).
    int result = ::flock(file->fd, static_cast<int>(Field64(8) & 0xF));
    return SendStatus(number, result == 0 ? kAfcSuccess : StatusFromErrno(errno));
  }

  ServiceContext* context_ = nullptr;
  std::string root_;
  std::string channel_;
  std::string fields_;  // the current request's fields (and payload, except for writes)
  std::map<uint64_t, OpenFile> files_;
  std::string write_buffer_;  // a write's bytes, for profiles whose free space is limited
  uint64_t next_handle_ = 1;
};

}  // namespace

std::unique_ptr<Service> MakeAfcService() { return std::make_unique<AfcService>(); }

}  // namespace devicesim
