// The pieces of the file module: local names and book archives for the export, the upload journal, and the
// two transfers that live across several packets of one task (the download stream and the upload).
//
// Names, archives and the journal format are pure or local-only, so they are tested without a device. A transfer
// object owns its device file handles and closes them when it goes, whichever way the transfer ends.
//
// Thread safety: the free functions may be called from any thread. A transfer is used by the runs of one task,
// which never overlap, and then released; it needs no lock of its own. The download stream's read ahead runs on
// a thread of its own, but only ever between two ReadChunk calls, into the buffer not handed out.
#pragma once

#include <rapidjson/document.h>

#include <cstdint>
#include <future>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_afc_file.h"
#include "utility/ios/zeb_device_connection.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/file/trailing_md5.h"
#include "utility/protocol_codes.h"
#include "utility/zeb_utility.h"

namespace file {

// The result codes the transfers answer with (utility/protocol_codes.h declares them).
using protocol::kResultBadTransfer;
using protocol::kResultIoFailed;
using protocol::kResultUploadMd5Mismatch;

// The integer member `key` of a JSON object, or `fallback` when it is absent or not an integer.
int64_t JsonInteger(const rapidjson::Value& object, const char* key, int64_t fallback);

// ---- Export names and archives

// The item's name: the part of its device path after the last "/" (a trailing "/" is ignored).
std::string ItemName(std::string_view device_path);
// The local file name for a device name: every byte 0 to 31, the byte 127 and each of \ / : * ? " < | become
// "_"; everything else (">", the bytes of UTF-8 characters) stays.
std::string LocalFileName(std::string_view device_name);
// A folder that is exported as one book archive: its name ends in ".EPUB" (case-sensitive).
bool IsBookFolder(std::string_view name);

// Packs every regular file below `folder` into a new zip archive, entries named by their path relative to the
// folder with "/" separators and in name order, except that a top-level "mimetype" goes first and uncompressed
// (what book readers look for). False, with nothing left at `zip_path`, when any file cannot be read or written.
bool ZipFolder(const std::string& folder, const std::string& zip_path);

struct ExportedItem {
  std::string native_path;
  std::string name;
};
// `local_name`, or, when an earlier item of the same export took it, the first free "<stem> (N)<extension>";
// the name returned is added to `taken`.
std::string UniqueLocalName(const std::string& local_name, std::set<std::string>* taken);

// Exports one device item into `target_folder` (see zeb_module_file.h); a book folder is first copied into
// `scratch_folder`, which is removed afterwards. `taken` holds the local names the export has used so far, so that
// two items never land on one name. False when the item is skipped.
bool ExportItem(const ZEBDeviceService& afc, const std::string& device_path, const std::string& target_folder,
                const std::string& scratch_folder, std::set<std::string>* taken, ExportedItem* item);

// ---- The upload journal

inline constexpr int64_t kBlockSize = 4 * 1024 * 1024;

struct JournalBlock {
  int64_t offset = 0;
  int64_t length = 0;
  int status = 0;  // 0 = not yet written, 1 = written
};

struct Journal {
  std::string path;  // the file's name
  std::string md5;
  int64_t size = 0;
  std::vector<JournalBlock> blocks;  // in offset order, kBlockSize each but the last
};

// A journal for a new transfer: every block at status 0.
Journal NewJournal(std::string name, std::string md5, int64_t size);
// The journal's text: {"version":"1","path":..,"md5":..,"size":N,"status":0,"fbs":{"<offset>":{"status":S,
// "offset":O,"offset_length":L},...}}.
std::string JournalText(const Journal& journal);
// Reads a journal back: false unless it is a version "1" journal whose blocks are exactly the ones NewJournal
// cuts for its size (the journal lives on the device and is not trusted).
bool ParseJournal(std::string_view text, Journal* journal);
// The first block still at status 0, or null.
const JournalBlock* FirstPendingBlock(const Journal& journal);

// ---- Transfers that span packets

class Transfer {
 public:
  virtual ~Transfer() = default;
  // Closes the transfer's device files; nothing is done with it afterwards. Idempotent.
  virtual void Close() = 0;
};

// A device file read chunk by chunk for the host (command 702).
class DownloadStream final : public Transfer {
 public:
  // Opens a regular device file; null when it is not one or cannot be opened.
  static std::unique_ptr<DownloadStream> Open(ZEBDeviceServicePtr afc, const std::string& path);
  ~DownloadStream() override { Close(); }
  void Close() override;

  // The next chunk of up to 4 MiB, valid until the next call; false when the device fails or the file ends
  // before its size. The chunk after it is then read from the device on a thread of its own, so that the device
  // read overlaps with whatever the caller does with this one.
  bool ReadChunk(std::string_view* chunk);
  const std::string& path() const { return path_; }
  int64_t offset() const { return offset_; }
  int64_t size() const { return size_; }
  bool finished() const { return offset_ >= size_; }

 private:
  DownloadStream(ZEBDeviceServicePtr afc, std::string path, std::unique_ptr<ZEBAfcFile> file, int64_t size)
      : afc_(std::move(afc)), path_(std::move(path)), file_(std::move(file)), size_(size) {}
  // Reads the chunk at `offset` into `buffer`: its length, or -1 when the device fails.
  int64_t Fill(char* buffer, int64_t offset);

  const ZEBDeviceServicePtr afc_;
  const std::string path_;
  const std::unique_ptr<ZEBAfcFile> file_;
  const int64_t size_;
  int64_t offset_ = 0;  // where the next chunk handed out begins
  bool open_ = true;
  // The chunk handed out last and the one read ahead take turns in two buffers.
  std::unique_ptr<char[]> buffers_[2];
  int current_ = 0;
  std::future<int64_t> read_ahead_;  // the length of the chunk read into buffers_[current_], when valid
};

// Where an upload goes and what the host says it is.
struct UploadTarget {
  std::string folder;  // ends in "/"
  std::string name;
  int64_t size = 0;
  std::string md5;  // empty: the host gave none, nothing to check
};

// A file received block by block into the device (command 703), resumable through its journal.
class UploadTransfer final : public Transfer {
 public:
  // Resumes the transfer from its journal when that describes this very file, or starts it anew. 0, or
  // kResultIoFailed when the device's folder, journal or data file cannot be made.
  // A start takes the target over from an upload to it on the same device (`device`, the record `afc` was started
  // from) that is still open in this process (the two would share the data file and the journal): the older
  // transfer's later blocks and end get kResultBadTransfer and touch nothing. Each step of a transfer runs under
  // its target's lock.
  static int Open(ZEBDeviceConnectionPtr device, ZEBDeviceServicePtr afc, const UploadTarget& target,
                  std::unique_ptr<UploadTransfer>* out);
  ~UploadTransfer() override;
  void Close() override;

  const JournalBlock* NextBlock() const { return FirstPendingBlock(journal_); }
  bool resumed() const { return resumed_; }
  std::string final_path() const { return target_.folder + target_.name; }

  // Called once a block is accepted, with the next block still to come (null after the last), before the block
  // is written: the host is asked for the next one while this one goes to the device.
  using AcceptedBlock = std::function<void(const JournalBlock* next)>;
  // Writes one block in place and records it in the journal: 0, kResultBadTransfer when (offset, length) is not
  // a block of this transfer, the data are not its length or a newer upload took the target over (`accepted` is
  // then not called), kResultIoFailed when the device fails (the block then stays at status 0 in the journal).
  // The journal marks a block written only once it is on the device, so a transfer cut at any point resumes.
  // `owner` keeps `data` valid after the call: the MD5 of the block is taken behind it.
  int WriteBlock(int64_t offset, int64_t length, std::string_view data, std::shared_ptr<const void> owner,
                 const AcceptedBlock& accepted);
  // Ends a transfer whose blocks are all written: checks the MD5 and gives the data file its final name, leaving
  // neither the journal nor the data file behind. 0, kResultUploadMd5Mismatch (the data are removed), or
  // kResultIoFailed.
  int Complete();

 private:
  UploadTransfer(ZEBDeviceConnectionPtr device, ZEBDeviceServicePtr afc, UploadTarget target)
      : device_(std::move(device)), afc_(std::move(afc)), target_(std::move(target)) {}
  const ZEBDeviceService& afc() const { return *afc_; }
  std::string data_path() const { return final_path() + ".bak"; }
  std::string journal_path() const { return final_path() + ".json"; }
  bool Resume();
  int Create();
  bool WriteJournal();
  std::string DataMd5();

  const ZEBDeviceConnectionPtr device_;  // names the device of the target claim, and keeps that name unique
  const ZEBDeviceServicePtr afc_;
  const UploadTarget target_;
  Journal journal_;
  std::unique_ptr<ZEBAfcFile> data_file_;
  std::unique_ptr<ZEBAfcFile> journal_file_;  // open from the first journal write until the transfer is closed
  size_t journal_length_ = 0;                 // of the text last written through journal_file_
  bool resumed_ = false;
  bool claimed_ = false;  // owns the target (until closed or taken over)
  // The MD5 of the blocks written in order from the start in this run; it saves reading the file back.
  TrailingMd5 in_order_md5_;
  int64_t in_order_end_ = 0;
  // A block written a second time may differ from the bytes hashed on the way: the file is then read back.
  bool rewritten_ = false;
};

}  // namespace file
