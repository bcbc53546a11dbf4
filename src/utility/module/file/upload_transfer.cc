// A file received from the host block by block, written in place into a data file pre-sized to its full length,
// with a journal beside it that records the blocks written so far.
#include <glog/logging.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "utility/module/file/file_internal.h"

namespace file {
namespace {

// A journal holds about 75 bytes per 4 MiB block; anything far beyond what the largest upload needs is not ours.
constexpr int64_t kMaxJournalBytes = 4 * 1024 * 1024;

// Makes every missing folder of a device path ending in "/".
bool MakeDeviceFolders(const ZEBDeviceService& afc, const std::string& folder) {
  for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
    if (MakeDirectory(afc, folder.substr(0, slash)) != 1) return false;
  }
  return true;
}

// The targets of the uploads open in this process, by device (its record) and final path. Two uploads to one target share its
// ".bak" and ".json": the newest start takes the target over, and every step of a transfer (start, block, end)
// runs under the target's lock and only while the transfer still owns the target, so a superseded transfer never
// writes into the files its successor made.
class TargetClaims {
 public:
  using Key = std::pair<const ZEBDeviceConnection*, std::string>;

  static TargetClaims& Get() {
    static TargetClaims* claims = new TargetClaims();
    return *claims;
  }
  // The target's lock, made the owner's when `take_over`.
  std::shared_ptr<std::mutex> Lock(const Key& key, const void* owner, bool take_over) {
    std::lock_guard<std::mutex> lock(mutex_);
    Claim& claim = claims_[key];
    if (!claim.lock) claim.lock = std::make_shared<std::mutex>();
    if (take_over) claim.owner = owner;
    return claim.lock;
  }
  bool Owns(const Key& key, const void* owner) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto claim = claims_.find(key);
    return claim != claims_.end() && claim->second.owner == owner;
  }
  void Release(const Key& key, const void* owner) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto claim = claims_.find(key);
    if (claim != claims_.end() && claim->second.owner == owner) claims_.erase(claim);
  }

 private:
  struct Claim {
    std::shared_ptr<std::mutex> lock;
    const void* owner = nullptr;
  };
  std::mutex mutex_;
  std::map<Key, Claim> claims_;  // guarded by mutex_
};

}  // namespace

UploadTransfer::~UploadTransfer() { Close(); }

int UploadTransfer::Open(ZEBDeviceConnectionPtr device, ZEBDeviceServicePtr afc, const UploadTarget& target,
                         std::unique_ptr<UploadTransfer>* out) {
  std::unique_ptr<UploadTransfer> transfer(new UploadTransfer(std::move(device), std::move(afc), target));
  std::shared_ptr<std::mutex> target_lock =
      TargetClaims::Get().Lock({transfer->device_.get(), transfer->final_path()}, transfer.get(), true);
  std::lock_guard<std::mutex> step(*target_lock);
  transfer->claimed_ = true;
  if (!MakeDeviceFolders(transfer->afc(), target.folder)) {
    LOG(ERROR) << "Could not make the device folder " << target.folder;
    return kResultIoFailed;
  }
  if (!transfer->Resume()) {
    if (int code = transfer->Create(); code != 0) return code;
  }
  *out = std::move(transfer);
  return 0;
}

void UploadTransfer::Close() {
  data_file_.reset();
  journal_file_.reset();
  if (claimed_) TargetClaims::Get().Release({device_.get(), final_path()}, this);
  claimed_ = false;
}

// Carries on with a journal that describes this very file and a data file of its full size. Only a file named by
// its MD5 can be recognised: another file of the same name and size must not inherit the first one's blocks.
bool UploadTransfer::Resume() {
  if (target_.md5.empty()) return false;
  ZEBFileInfo journal_info, data_info;
  if (!GetFileInfo(afc(), journal_path(), &journal_info) || journal_info.size > kMaxJournalBytes) return false;
  std::string text;
  Journal journal;
  if (!DownloadFileToMemory(afc(), journal_path(), &text) || !ParseJournal(text, &journal)) {
    LOG(INFO) << "Starting " << final_path() << " anew: its journal cannot be read";
    return false;
  }
  if (journal.path != target_.name || journal.md5 != target_.md5 || journal.size != target_.size) {
    LOG(INFO) << "Starting " << final_path() << " anew: its journal is of another file";
    return false;
  }
  if (!GetFileInfo(afc(), data_path(), &data_info) || data_info.size != target_.size) return false;
  data_file_ = ZEBAfcFile::Open(afc(), data_path(), ZEBAfcFile::Mode::kReadWrite);
  if (!data_file_) return false;
  journal_ = std::move(journal);
  resumed_ = true;
  return true;
}

int UploadTransfer::Create() {
  journal_ = NewJournal(target_.name, target_.md5, target_.size);
  if (!WriteJournal()) return kResultIoFailed;
  data_file_ = ZEBAfcFile::Open(afc(), data_path(), ZEBAfcFile::Mode::kWrite);
  if (!data_file_) {
    LOG(ERROR) << "Could not create " << data_path();
    return kResultIoFailed;
  }
  if (!data_file_->SetSize(static_cast<uint64_t>(target_.size))) {
    LOG(ERROR) << "Could not size " << data_path() << " to " << target_.size << " bytes";
    return kResultIoFailed;
  }
  return 0;
}

// The journal's text keeps its length from one block to the next (only status digits change), so once written
// from empty it is overwritten in place through the handle kept open: a seek and a write per block instead of an
// open, a write and a close. Any mix of the old and the new text that a cut write could leave marks no block
// written that was not.
bool UploadTransfer::WriteJournal() {
  std::string text = JournalText(journal_);
  if (journal_file_ && text.size() != journal_length_) journal_file_.reset();
  if (!journal_file_) journal_file_ = ZEBAfcFile::Open(afc(), journal_path(), ZEBAfcFile::Mode::kWrite);
  bool ok = journal_file_ && journal_file_->Seek(0) && journal_file_->Write(text);
  journal_length_ = text.size();
  if (!ok) {
    LOG(ERROR) << "Could not write " << journal_path();
    journal_file_.reset();  // the next attempt starts from an empty file
  }
  return ok;
}

int UploadTransfer::WriteBlock(int64_t offset, int64_t length, std::string_view data,
                               std::shared_ptr<const void> owner, const AcceptedBlock& accepted) {
  std::shared_ptr<std::mutex> target_lock = TargetClaims::Get().Lock({device_.get(), final_path()}, this, false);
  std::lock_guard<std::mutex> step(*target_lock);
  if (!TargetClaims::Get().Owns({device_.get(), final_path()}, this)) {
    LOG(ERROR) << "A block for " << final_path() << ", which a newer upload has taken over";
    return kResultBadTransfer;
  }
  auto block = std::find_if(journal_.blocks.begin(), journal_.blocks.end(),
                            [offset](const JournalBlock& b) { return b.offset == offset; });
  if (!data_file_) return kResultIoFailed;
  if (block == journal_.blocks.end() || block->length != length || static_cast<int64_t>(data.size()) != length) {
    LOG(ERROR) << "A block at " << offset << " of " << length << " bytes (" << data.size()
               << " sent) is not one of " << final_path();
    return kResultBadTransfer;
  }
  LOG(INFO) << "DoUploadNewMode->writerData " << offset << " " << length;
  int status_before = block->status;
  if (status_before != 0) rewritten_ = true;
  // Counted as come for the answer only: the journal on the device is rewritten after the write.
  block->status = 1;
  accepted(FirstPendingBlock(journal_));
  if (!data_file_->Seek(offset) || !data_file_->Write(data)) {
    LOG(ERROR) << "Could not write the block at " << offset << " of " << data_path();
    block->status = status_before;
    return kResultIoFailed;
  }
  // A block that continues the in-order run is hashed behind us, while the host is answered and sends the next.
  if (offset == in_order_end_ && !rewritten_) {
    in_order_md5_.Update(std::move(owner), data);
    in_order_end_ += length;
  }
  if (!WriteJournal()) return kResultIoFailed;
  return 0;
}

// The MD5 of the data file: from the blocks as they came when they came in order, else read back.
std::string UploadTransfer::DataMd5() {
  if (in_order_end_ == target_.size && !rewritten_) return in_order_md5_.Finish();
  Md5Stream md5;
  std::unique_ptr<DownloadStream> stream = DownloadStream::Open(afc_, data_path());
  if (!stream) return std::string();
  std::string_view chunk;
  while (!stream->finished()) {
    if (!stream->ReadChunk(&chunk)) return std::string();
    md5.Update(chunk);
  }
  return md5.Finish();
}

int UploadTransfer::Complete() {
  std::shared_ptr<std::mutex> target_lock = TargetClaims::Get().Lock({device_.get(), final_path()}, this, false);
  std::lock_guard<std::mutex> step(*target_lock);
  if (!TargetClaims::Get().Owns({device_.get(), final_path()}, this)) {
    Close();
    return kResultBadTransfer;
  }
  // Still the owner until the end: the files are closed but not yet given their final name.
  data_file_.reset();
  journal_file_.reset();
  if (!target_.md5.empty()) {
    std::string md5 = DataMd5();
    if (md5.empty()) return kResultIoFailed;
    if (strcasecmp(md5.c_str(), target_.md5.c_str()) != 0) {
      LOG(ERROR) << "The MD5 of " << final_path() << " is " << md5 << ", not " << target_.md5 << ": removed";
      RemovePath(afc(), data_path());
      RemovePath(afc(), journal_path());
      return kResultUploadMd5Mismatch;
    }
  }
  // The rename replaces an older file of the name in one step, so a failed rename leaves that file as it was
  // (and the data file and journal for another attempt).
  if (!RenamePath(afc(), data_path(), final_path())) {
    LOG(ERROR) << "Could not rename " << data_path() << " to " << final_path();
    return kResultIoFailed;
  }
  RemovePath(afc(), journal_path());
  return 0;
}

}  // namespace file
