// ZEBBackupExtractWhatsAppWork: the WhatsApp chat database of a backup, and its attachments.
//
// When ChatStorage.sqlite is in, the job asks the plug-ins which attachments the chats hold, request
// "LIBMODEL_IBACKUP_QUERY_WHATSAPP_MEDIAITEM" {"backupDir":folder,"chatStorageSqlite":path}, reply
// {"attachments":[{"hash":backup name,"relativePath":path}, ...]}; it registers a "whatsapp" job for those files
// (result key "whatsapp_attachments_path_map_key") and sends its own result (the database, as every job does).
// A "hash" that is not 40 lower-case hexadecimal digits is dropped: it becomes a file name. No reply, or a
// stopped job, registers nothing.
//
// Thread safety: the registry's thread.
#pragma once

#include "utility/backup/extract/extract_registry.h"
#include "utility/backup/extract/extract_work.h"

class ZEBBackupExtractWhatsAppWork : public ZEBBackupExtractWork {
 public:
  explicit ZEBBackupExtractWhatsAppWork(ZEBBackupExtractRegistry& registry);

  bool FileArrived(const std::string& backup_name, const std::string& local_path) override;
  void Finish() override;
  bool RegistersMore() const override { return true; }

 private:
  void RegisterAttachments(const std::string& chat_storage);
};

namespace backup_extract {
inline constexpr char kWhatsAppQuery[] = "LIBMODEL_IBACKUP_QUERY_WHATSAPP_MEDIAITEM";
}  // namespace backup_extract
