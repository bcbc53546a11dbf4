// The device's side of a restore (fetch the manifests, check the password of an encrypted backup, fetch every
// file into the profile's restored state) and of Info and List, which read the computer's backup and answer
// with a text.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "backup_plists.h"
#include "backup_session.h"
#include "hub.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

constexpr size_t kFilesPerDownload = 64;

std::string Identifier(ServiceContext& context, plist_t request) {
  std::string source = DictString(request, "SourceIdentifier").value_or("");
  return source.empty() ? context.device->udid : source;
}

// Writes each downloaded file to the restored path its name maps to; names it does not know are dropped.
class RestoredFiles : public DownloadSink {
 public:
  explicit RestoredFiles(std::map<std::string, std::string> targets) : targets_(std::move(targets)) {}

  bool Open(const std::string& name) override {
    auto it = targets_.find(name);
    if (it == targets_.end()) return false;
    path_ = it->second;
    std::error_code ec;
    fs::create_directories(fs::path(path_).parent_path(), ec);
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    return fd_ >= 0;
  }

  bool Append(const char* data, size_t size) override {
    while (size > 0) {
      ssize_t n = ::write(fd_, data, size);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  void Close(bool complete) override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (complete) {
      ++written_;
    } else {
      ::unlink(path_.c_str());
    }
  }

  size_t written() const { return written_; }

 private:
  std::map<std::string, std::string> targets_;
  std::string path_;
  int fd_ = -1;
  size_t written_ = 0;
};

// Downloads Manifest.plist and the index of the backup of `source`. *usable is false when either is missing
// or unreadable.
bool ReadManifests(BackupComputer& computer, const std::string& source, bool* usable, bool* modern, bool* encrypted,
                   std::string* keybag, std::vector<ManifestEntry>* entries) {
  std::optional<std::string> manifest, index;
  *usable = false;
  if (!computer.DownloadOne(source + "/Manifest.plist", &manifest)) return false;
  if (!manifest || !ReadManifestPlist(*manifest, encrypted, keybag)) return true;
  PlistPtr node = ParsePlist(manifest->data(), manifest->size());
  std::string version = DictString(node.get(), "Version").value_or("");
  *modern = UsesManifestDb(version);
  if (!computer.DownloadOne(source + (*modern ? "/Manifest.db" : "/Manifest.mbdb"), &index)) return false;
  std::string error;
  *usable = index && (*modern ? ReadManifestDb(*index, entries, &error) : ReadManifestMbdb(*index, entries));
  return true;
}

}  // namespace

bool RunRestore(ServiceContext& context, BackupComputer& computer, plist_t request) {
  std::string source = Identifier(context, request);
  plist_t options = plist_dict_get_item(request, "Options");
  std::string password = DictString(options, "Password").value_or("");
  bool usable = false, modern = true, encrypted = false;
  std::string keybag;
  std::vector<ManifestEntry> entries;
  computer.SetProgress(1);
  if (!ReadManifests(computer, source, &usable, &modern, &encrypted, &keybag, &entries)) return false;
  if (!usable) return computer.Finish(205, "Missing or invalid Manifest (MBErrorDomain/205)");
  if (encrypted && !KeybagAccepts(keybag, password)) {
    context.Log("RestoreRefused", {{"Reason", "password"}});
    return computer.Finish(207, "Invalid password when restoring encrypted backup (MBErrorDomain/207)");
  }

  const std::string& root = context.device->profile.restored_root;
  std::error_code ec;
  fs::remove_all(root, ec);
  fs::create_directories(root, ec);
  std::vector<std::pair<std::string, std::string>> files;  // backup name -> restored path
  size_t refused = 0;
  for (const ManifestEntry& entry : entries) {
    std::string path;
    if (!RestoredFilePath(root, entry.domain, entry.relative_path, &path) || entry.file_id.size() < 2) {
      // The domain folder itself has an empty path; anything else that does not map is refused.
      if (!entry.relative_path.empty()) ++refused;
      continue;
    }
    if (entry.flags == 2) {
      fs::create_directories(path, ec);
    } else if (entry.flags == 1) {
      std::string name = modern ? source + "/" + entry.file_id.substr(0, 2) + "/" + entry.file_id
                                : source + "/" + entry.file_id;
      files.emplace_back(name, path);
    }
  }
  size_t written = 0, missing_count = 0;
  for (size_t start = 0; start < files.size(); start += kFilesPerDownload) {
    size_t end = std::min(files.size(), start + kFilesPerDownload);
    std::vector<std::string> names;
    std::map<std::string, std::string> targets;
    for (size_t i = start; i < end; ++i) {
      names.push_back(files[i].first);
      targets[files[i].first] = files[i].second;
    }
    RestoredFiles sink(std::move(targets));
    std::map<std::string, std::string> missing;
    computer.SetProgress(5.0 + 90.0 * static_cast<double>(start) / static_cast<double>(files.size()));
    if (!computer.Download(names, sink, &missing)) return false;
    written += sink.written();
    missing_count += missing.size();
  }
  computer.SetProgress(100);
  context.Log("RestoreFinished", {{"Files", std::to_string(written)},
                                  {"Missing", std::to_string(missing_count)},
                                  {"Refused", std::to_string(refused)}});
  return computer.Finish(0, "");
}

bool RunInfo(ServiceContext& context, BackupComputer& computer, plist_t request) {
  std::string source = Identifier(context, request);
  std::optional<std::string> info;
  if (!computer.DownloadOne(source + "/Info.plist", &info)) return false;
  PlistPtr node = info ? ParsePlist(info->data(), info->size()) : nullptr;
  if (!node || plist_get_node_type(node.get()) != PLIST_DICT) {
    return computer.Finish(205, "No backup information for " + source + " (MBErrorDomain/205)");
  }
  std::string content;
  Value fields = FromPlist(node.get());
  for (const auto& [key, value] : fields.members()) {
    if (value.type() == Value::Type::kString) content += key + ": " + value.text() + "\n";
  }
  Value extra = Value::Dict();
  extra.Set("Content", content);
  return computer.Finish(0, "", extra);
}

bool RunList(ServiceContext& context, BackupComputer& computer, plist_t request) {
  std::string source = Identifier(context, request);
  bool usable = false, modern = true, encrypted = false;
  std::string keybag;
  std::vector<ManifestEntry> entries;
  if (!ReadManifests(computer, source, &usable, &modern, &encrypted, &keybag, &entries)) return false;
  if (!usable) return computer.Finish(205, "Missing or invalid Manifest (MBErrorDomain/205)");
  std::string content = "Domain,RelativePath,FileID,Size\n";
  for (const ManifestEntry& entry : entries) {
    if (entry.flags != 1) continue;
    content += entry.domain + "," + entry.relative_path + "," + entry.file_id + "," + std::to_string(entry.size) + "\n";
  }
  Value extra = Value::Dict();
  extra.Set("Content", content);
  return computer.Finish(0, "", extra);
}

}  // namespace devicesim
