// The device's side of a backup: what to send (everything, or what changed since the computer's last
// Manifest), then folders, uploads into Snapshot/, Status.plist through its states, the move out of Snapshot/,
// the manifests and the final Response. Injected faults act on the upload of file number `after_files`.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <set>

#include "backup_plists.h"
#include "backup_session.h"
#include "hub.h"
#include "pairing_material.h"

namespace devicesim {
namespace {

constexpr size_t kFilesPerBatch = 500;
constexpr uint64_t kBytesPerBatch = 256u << 20;

struct Plan {
  std::string udid;
  bool modern = true;
  bool full = true;
  bool encrypt = false;
  std::string password;
  BackupFault fault;
  std::vector<BackupItem> items;        // the whole source, for the manifests
  std::vector<const BackupItem*> send;  // files to upload
  std::set<std::string> replaced;       // file ids that exist in the previous backup and change
  std::vector<std::string> removed;     // file ids of the previous backup that are gone
  uint64_t send_bytes = 0;
};

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string StoredName(const Plan& plan, const std::string& file_id, bool snapshot) {
  std::string base = plan.udid + (snapshot ? "/Snapshot/" : "/");
  return plan.modern ? base + file_id.substr(0, 2) + "/" + file_id : base + file_id;
}

// Reads the computer's previous backup into *previous; false only when the connection broke. Without a usable
// previous backup (or when a full one was asked for) the plan becomes a full backup.
bool ReadPrevious(BackupComputer& computer, Plan* plan, std::vector<ManifestEntry>* previous) {
  std::optional<std::string> status, manifest, index;
  if (!computer.DownloadOne(plan->udid + "/Status.plist", &status)) return false;
  bool usable = status && !plan->full;
  if (usable && !computer.DownloadOne(plan->udid + "/Manifest.plist", &manifest)) return false;
  bool encrypted = false;
  std::string keybag;
  usable = usable && manifest && ReadManifestPlist(*manifest, &encrypted, &keybag) && encrypted == plan->encrypt;
  std::string index_name = plan->modern ? "/Manifest.db" : "/Manifest.mbdb";
  if (usable && !computer.DownloadOne(plan->udid + index_name, &index)) return false;
  std::string error;
  usable = usable && index &&
           (plan->modern ? ReadManifestDb(*index, previous, &error) : ReadManifestMbdb(*index, previous));
  plan->full = !usable;
  if (!usable) previous->clear();
  return true;
}

void Decide(Plan* plan, const std::vector<ManifestEntry>& previous) {
  std::map<std::string, const ManifestEntry*> before;
  for (const ManifestEntry& entry : previous) {
    if (entry.flags == 1) before[entry.file_id] = &entry;
  }
  std::set<std::string> present;
  for (const BackupItem& item : plan->items) {
    if (item.is_dir) continue;
    present.insert(item.file_id);
    auto old = before.find(item.file_id);
    if (!plan->full && old != before.end() && old->second->size == item.size && old->second->mtime == item.mtime) {
      continue;
    }
    if (!plan->full && old != before.end()) plan->replaced.insert(item.file_id);
    plan->send.push_back(&item);
    plan->send_bytes += item.size;
  }
  if (plan->full) return;
  for (const auto& [file_id, entry] : before) {
    if (!present.count(file_id)) plan->removed.push_back(file_id);
  }
}

bool UploadStatus(BackupComputer& computer, const Plan& plan, const std::string& state, const std::string& uuid) {
  std::string status = MakeStatusPlist(state, plan.full, uuid, Now());
  return computer.BeginUpload(status.size()) &&
         SendUploadNames(computer.stream(), "/var/mobile/Library/Backup/Status.plist", plan.udid + "/Status.plist") &&
         SendUploadBytes(computer.stream(), status) && computer.EndUpload();
}

enum class UploadResult { kDone, kCut };

// Sends one file, or acts out the fault armed for it.
UploadResult UploadFile(ServiceContext& context, BackupComputer& computer, const Plan& plan, const BackupItem& item,
                        bool faulty) {
  Stream& stream = computer.stream();
  std::string device_path = "/" + item.domain + "/" + item.relative_path;
  std::string target = StoredName(plan, item.file_id, true);
  if (faulty) {
    context.Log("Fault", {{"Kind", BackupFaultKindName(plan.fault.kind)}, {"File", item.file_id}});
    switch (plan.fault.kind) {
      case BackupFaultKind::kStall:
        stream.DrainUntilClosed();
        return UploadResult::kCut;
      case BackupFaultKind::kClimbingName:
        target = plan.udid + "/../../devicesim-escaped-" + item.file_id;
        break;
      case BackupFaultKind::kLongName:
        target = plan.udid + "/Snapshot/" + std::string(5000, 'a');
        break;
      case BackupFaultKind::kHugeFileSize:
        SendUploadNames(stream, device_path, target);
        SendBlockHeader(stream, 0xFFFFFFF0u - 1, kBlockData);
        stream.Write("sixteen bytes...", 16);
        return UploadResult::kCut;
      case BackupFaultKind::kDisconnect: {
        // Half the file, then the cable is pulled.
        SendUploadNames(stream, device_path, target);
        int fd = ::open(item.local_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && item.size > 1) {
          SendBlockHeader(stream, static_cast<uint32_t>(std::min<uint64_t>(item.size, 1u << 30)), kBlockData);
          stream.SendFile(fd, static_cast<size_t>(std::min<uint64_t>(item.size, 1u << 30) / 2));
        }
        if (fd >= 0) ::close(fd);
        return UploadResult::kCut;
      }
      default:
        break;
    }
  }
  if (!SendUploadNames(stream, device_path, target)) return UploadResult::kCut;
  int fd = ::open(item.local_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    // The file went away since the scan: the device reports it in the stream as real ones do.
    static const std::string kGone = "No such file or directory";
    return SendBlockHeader(stream, static_cast<uint32_t>(kGone.size()), kBlockRemoteError) &&
                   stream.Write(kGone.data(), kGone.size())
               ? UploadResult::kDone
               : UploadResult::kCut;
  }
  bool ok = SendUploadContent(stream, fd, item.size);
  ::close(fd);
  return ok ? UploadResult::kDone : UploadResult::kCut;
}

// Uploads plan.send into Snapshot/ in batches; false when the connection is gone.
bool UploadFiles(ServiceContext& context, BackupComputer& computer, const Plan& plan) {
  bool faults_upload = plan.fault.kind != BackupFaultKind::kNone && plan.fault.kind != BackupFaultKind::kDiskFull &&
                       plan.fault.kind != BackupFaultKind::kDeviceLocked;
  size_t faulty_index = static_cast<size_t>(std::max(0, plan.fault.after_files));
  uint64_t done_bytes = 0;
  for (size_t start = 0; start < plan.send.size();) {
    size_t end = start;
    uint64_t batch_bytes = 0;
    while (end < plan.send.size() && end - start < kFilesPerBatch &&
           (end == start || batch_bytes + plan.send[end]->size <= kBytesPerBatch)) {
      batch_bytes += plan.send[end++]->size;
    }
    bool faulty_batch = faults_upload && faulty_index >= start && faulty_index < end;
    if (faulty_batch && plan.fault.kind == BackupFaultKind::kHugeFileSize) batch_bytes = uint64_t{1} << 62;
    computer.SetProgress(5.0 + 85.0 * static_cast<double>(done_bytes) / static_cast<double>(std::max<uint64_t>(1, plan.send_bytes)));
    if (!computer.BeginUpload(batch_bytes)) return false;
    for (size_t i = start; i < end; ++i) {
      if (UploadFile(context, computer, plan, *plan.send[i], faulty_batch && i == faulty_index) == UploadResult::kCut) {
        return false;
      }
      done_bytes += plan.send[i]->size;
    }
    if (!computer.EndUpload()) return false;
    start = end;
  }
  return true;
}

// Moves the uploads out of Snapshot/ and drops what the source no longer holds.
bool Settle(BackupComputer& computer, const Plan& plan) {
  std::set<std::string> prefixes;
  std::vector<std::pair<std::string, std::string>> moves;
  std::vector<std::string> stale;
  for (const BackupItem* item : plan.send) {
    prefixes.insert(item->file_id.substr(0, 2));
    moves.emplace_back(StoredName(plan, item->file_id, true), StoredName(plan, item->file_id, false));
    // A computer may refuse to move onto an existing file, so the old copy goes first.
    if (plan.replaced.count(item->file_id)) stale.push_back(StoredName(plan, item->file_id, false));
  }
  for (const std::string& file_id : plan.removed) stale.push_back(StoredName(plan, file_id, false));
  if (plan.modern) {
    for (const std::string& prefix : prefixes) {
      if (!computer.CreateDirectory(plan.udid + "/" + prefix)) return false;
    }
  }
  if (!computer.Remove(stale) || !computer.Move(moves)) return false;
  std::vector<std::string> snapshot;
  if (plan.modern) {
    for (const std::string& prefix : prefixes) snapshot.push_back(plan.udid + "/Snapshot/" + prefix);
  }
  snapshot.push_back(plan.udid + "/Snapshot");
  return computer.Remove(snapshot);
}

bool UploadManifests(BackupComputer& computer, const Plan& plan, const Value& lockdown_values) {
  std::string manifest = MakeManifestPlist(lockdown_values, plan.modern, plan.encrypt, plan.password, Now());
  std::string index, error;
  if (plan.modern) {
    if (!BuildManifestDb(plan.items, &index, &error)) return false;
  } else {
    index = BuildManifestMbdb(plan.items);
  }
  Stream& stream = computer.stream();
  return computer.BeginUpload(manifest.size() + index.size()) &&
         SendUploadNames(stream, "/var/mobile/Library/Backup/Manifest.plist", plan.udid + "/Manifest.plist") &&
         SendUploadBytes(stream, manifest) &&
         SendUploadNames(stream, "/var/mobile/Library/Backup/" + std::string(plan.modern ? "Manifest.db" : "Manifest.mbdb"),
                         plan.udid + (plan.modern ? "/Manifest.db" : "/Manifest.mbdb")) &&
         SendUploadBytes(stream, index) && computer.EndUpload();
}

}  // namespace

bool UsesManifestDb(const std::string& product_version) {
  return std::atoi(product_version.c_str()) >= 10;
}

bool RunBackup(ServiceContext& context, BackupComputer& computer, plist_t request) {
  Device& device = *context.device;
  Plan plan;
  plan.udid = device.udid;
  Value lockdown_values;
  {
    std::lock_guard<std::mutex> lock(device.mutex);
    plan.fault = device.backup_fault;
    plan.password = device.backup_password;
    lockdown_values = device.values;
    const Value* backup_domain = device.domains.Find("com.apple.mobile.backup");
    const Value* will = backup_domain ? backup_domain->Find("WillEncrypt") : nullptr;
    plan.encrypt = will && will->type() == Value::Type::kBool && will->flag();
  }
  const Value* version = lockdown_values.Find("ProductVersion");
  plan.modern = UsesManifestDb(version ? version->text() : "");
  plist_t options = plist_dict_get_item(request, "Options");
  plist_t force = options ? plist_dict_get_item(options, "ForceFullBackup") : nullptr;
  uint8_t force_full = 0;
  if (force && plist_get_node_type(force) == PLIST_BOOLEAN) plist_get_bool_val(force, &force_full);
  plan.full = force_full != 0;

  if (plan.fault.kind == BackupFaultKind::kDeviceLocked) {
    context.Log("Fault", {{"Kind", "device_locked"}});
    return computer.Finish(208, "Device locked (MBErrorDomain/208)");
  }
  std::string error;
  if (!ScanBackupSource(device.profile.backup_root, &plan.items, &error)) {
    return computer.Finish(1, "Could not read the backup source: " + error + " (MBErrorDomain/1)");
  }
  std::vector<ManifestEntry> previous;
  if (!ReadPrevious(computer, &plan, &previous)) return false;
  Decide(&plan, previous);

  uint64_t free_bytes = 0;
  if (!computer.FreeSpace(&free_bytes)) return false;
  uint64_t needed = plan.send_bytes + (plan.items.size() + 1) * 1024;
  if (plan.fault.kind == BackupFaultKind::kDiskFull) needed += uint64_t{1} << 60;
  if (free_bytes < needed) {
    context.Log("BackupRefused", {{"Needed", std::to_string(needed)}, {"Free", std::to_string(free_bytes)}});
    return computer.Finish(105, "Insufficient free disk space on drive to back up (MBErrorDomain/105)");
  }

  std::string uuid = RandomUuid();
  computer.SetProgress(1);
  if (!computer.CreateDirectory(plan.udid) || !computer.CreateDirectory(plan.udid + "/Snapshot")) return false;
  if (plan.modern) {
    std::set<std::string> prefixes;
    for (const BackupItem* item : plan.send) prefixes.insert(item->file_id.substr(0, 2));
    for (const std::string& prefix : prefixes) {
      if (!computer.CreateDirectory(plan.udid + "/Snapshot/" + prefix)) return false;
    }
  }
  if (!UploadStatus(computer, plan, "uploading", uuid)) return false;
  if (!UploadFiles(context, computer, plan)) return false;
  computer.SetProgress(92);
  if (!UploadStatus(computer, plan, "moving", uuid) || !Settle(computer, plan)) return false;
  computer.SetProgress(96);
  if (!UploadStatus(computer, plan, "removing", uuid)) return false;
  computer.SetProgress(100);
  if (!UploadManifests(computer, plan, lockdown_values) || !UploadStatus(computer, plan, "finished", uuid)) {
    return false;
  }
  context.Log("BackupFinished", {{"Kind", plan.full ? "full" : "incremental"},
                                 {"Uploaded", std::to_string(plan.send.size())},
                                 {"Removed", std::to_string(plan.removed.size())}});
  return computer.Finish(0, "");
}

}  // namespace devicesim
