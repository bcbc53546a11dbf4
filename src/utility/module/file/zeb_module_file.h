// ZEBModuleFile: files between the computer and the device's media file system (packet types 701 to 703).
//
// Every command's payload is the marker, NUL, a JSON object with "uuid" (the device), NUL, and for 701 a second
// JSON text. Unreadable JSON ends a command with 8 (the front door answers it), an unknown device with 7, a file
// service that cannot be started with 12. A command whose task has been stopped does no more work and ends with 6
// (header code 5).
//
// 701 export. Command {"uuid":U,"native_dir":D}: D is the local target folder (made when missing); without it
//     the items go to "<work folder>/Export". The second JSON text has one member per item whose value is an
//     object; its first text member is the item's device path ({"1":{"path":"/Books/Tales.EPUB"},...}). A folder
//     whose name ends in ".EPUB" becomes one zip archive named like the folder; another folder is copied as the
//     tree "<name>.folder"; a file is copied as "<name>". In each local name every byte 0-31, 127 and each of
//     \ / : * ? " < | is replaced by "_"; a name that still cannot be a file name ("", ".", "..", too long) is
//     skipped, and names inside copied trees are checked the same way, so nothing is written outside D. Each
//     exported item gets a report (stage 2) {"native_path":P,"name":N}; items that cannot be read are skipped.
//     Final code 0.
// 702 download. Start {"uuid":U,"stage":1,"info":{"path":P}}: the device file P is opened and streamed to the
//     host in chunks of 4 MiB (the last one shorter), each a report (stage 2, type 0, so its data are
//     zlib-compressed) with info {"offset":O,"offset_length":L,"size":S} and the chunk's bytes as data. After
//     the last chunk (at once for an empty file) the final report follows: code 0, {"path":P,"size":S}. A stop
//     request (600), or a later packet of the task whose "code" is not 0, ends the stream between two chunks with
//     code 6; any other later packet of the task is dropped without an answer. A first packet whose "stage" is not
//     1 starts nothing and ends with 15.
// 703 upload, resumable. Start {"uuid":U,"stage":1,"info":{"name":N,"media":B,"dir":F,"size":S,"md5":M}}: the
//     target is F + "/" + N; a book ("media" false or absent) without "dir" goes to "/Books/"; a media file
//     needs "dir". The data go into "<target>.bak", pre-sized to S, with the journal "<target>.json" beside
//     it; a journal of this very file (same name, size and non-empty MD5, and a data file of size S) resumes
//     the transfer, anything else (none, unreadable, another file's, no MD5 to tell) starts it anew. The module answers with a
//     report (stage 2) {"offset":O,"offset_length":L} naming the first block still to write (4 MiB blocks);
//     the host sends blocks as {"stage":2,"code":0,"info":{"offset":O,"offset_length":L}} with the bytes as
//     the data part, in any order, and each is answered with the next block still to come as soon as it is
//     accepted, then written in place and marked in the journal (rewritten): the host sends the next block while
//     this one goes to the device, and an answer does not yet mean the block is on the device (the journal
//     says which are, so a cut transfer resumes from the blocks that landed). After the last block the file is checked against M
//     (lower or upper case hexadecimal; no check when M is empty), the journal and any older file of the name
//     are removed and the data file takes the final name: code 0, {"path":target}. A later packet whose "code"
//     is not 0 stops the upload and keeps the journal for a later resume (final code 6).
//
// Module codes: 13 a device or local file cannot be opened, read or written (the journal keeps a failed block
// at status 0); 14 the finished upload's MD5 is not M: its data and journal are removed, so nothing of it
// becomes the final file and a new attempt starts from the beginning; 15 a packet that does not fit the
// transfer (a later packet of a task without a transfer, a block that is not one of the file's or whose data
// are not its length, a start without "name", "size" or a media file's "dir").
//
// A transfer's device files stay open between packets and are closed however it ends: by its last packet, a
// failure, a stop of its task (600) while it waits for the host, or the scheduler's expiry of an idle task; the
// last two send the final code 6 too. A transfer that ends in failure marks its task given up, so that late
// packets of it are dropped.
//
// Thread safety: commands run on any number of pool workers at once; the transfers are kept by task under the
// module's mutex, and each is used by the runs of its own task, which never overlap.
#pragma once

#include <map>
#include <memory>
#include <string>

#include <rapidjson/document.h>

#include "libbasic/kx_task.h"
#include "utility/module/zeb_module.h"

namespace file {
class Transfer;
class DownloadStream;
class UploadTransfer;
struct JournalBlock;
}  // namespace file

class ZEBModuleFile : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;

 private:
  struct TaskTransfer {
    bas::KxTaskPtr task;
    std::string uuid;
    std::shared_ptr<file::Transfer> transfer;
  };

  int Export(ZEBCommand& command);
  int Download(ZEBCommand& command);
  int SendChunk(const bas::KxTaskPtr& task, const std::string& uuid,
                const std::shared_ptr<file::DownloadStream>& stream, std::string* final_info);
  int Upload(ZEBCommand& command);
  int StartUpload(ZEBCommand& command, const rapidjson::Value& info);
  // Asks the host for the block `next` and keeps the task waiting for it.
  void AskForBlock(ZEBCommand& command, const std::string& uuid, const file::JournalBlock& next);
  // Ends an upload whose blocks have all come: its MD5 check and final name, and the final report's info.
  int Conclude(ZEBCommand& command, file::UploadTransfer& upload);

  // Keeps the command's transfer for its task's later packets; the front door releases it (closing its device
  // files) when the task ends, before the final report.
  void Keep(ZEBCommand& command, std::shared_ptr<file::Transfer> transfer);
  // The task's transfer, and in `uuid` the device it was started for; null when the task has none.
  std::shared_ptr<file::Transfer> FindTransfer(const bas::KxTaskPtr& task, std::string* uuid);
  void Release(const bas::KxTaskPtr& task);

  std::map<std::string, TaskTransfer> transfers_;  // by task id; guarded by mutex_
};
