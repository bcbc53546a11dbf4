#include "utility/backup/extract/whatsapp_work.h"

#include <glog/logging.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "utility/backup/extract/backup_names.h"

using namespace backup_extract;

namespace {
constexpr char kAttachmentResultKey[] = "whatsapp_attachments_path_map_key";
}  // namespace

ZEBBackupExtractWhatsAppWork::ZEBBackupExtractWhatsAppWork(ZEBBackupExtractRegistry& registry)
    : ZEBBackupExtractWork(registry, "whatsapp") {
  for (const KnownDatabase& known : KnownDatabases()) {
    if (known.type == kTypeWhatsApp) AddEntry(known.backup_name, known.result_key, known.relative_path);
  }
}

bool ZEBBackupExtractWhatsAppWork::FileArrived(const std::string& backup_name, const std::string& local_path) {
  if (!RecordArrival(backup_name, local_path) || !IsComplete()) return false;
  Finish();
  return true;
}

void ZEBBackupExtractWhatsAppWork::RegisterAttachments(const std::string& chat_storage) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("backupDir");
  writer.String(registry().backup_folder().c_str());
  writer.Key("chatStorageSqlite");
  writer.String(chat_storage.c_str());
  writer.EndObject();
  std::optional<std::string> reply = registry().Ask(kWhatsAppQuery, buffer.GetString());
  if (!reply) {
    LOG(WARNING) << "No plug-in answered " << kWhatsAppQuery << "; the attachments are not fetched";
    return;
  }
  rapidjson::Document document;
  document.Parse(reply->c_str());
  if (document.HasParseError() || !document.IsObject()) return;
  auto attachments = document.FindMember("attachments");
  if (attachments == document.MemberEnd() || !attachments->value.IsArray()) return;
  auto job = std::make_unique<ZEBBackupExtractWork>(registry(), "whatsapp");
  size_t dropped = 0;
  for (const auto& item : attachments->value.GetArray()) {
    auto hash = item.IsObject() ? item.FindMember("hash") : item.MemberEnd();
    auto path = item.IsObject() ? item.FindMember("relativePath") : item.MemberEnd();
    if (!item.IsObject() || hash == item.MemberEnd() || !hash->value.IsString() || path == item.MemberEnd() ||
        !path->value.IsString() || !IsBackupFileName(hash->value.GetString())) {
      ++dropped;
      continue;
    }
    job->AddEntry(hash->value.GetString(), kAttachmentResultKey, path->value.GetString());
  }
  LOG_IF(WARNING, dropped != 0) << dropped << " attachments of the reply to " << kWhatsAppQuery << " are unusable";
  if (!job->entries().empty()) registry().Register(std::move(job));
}

void ZEBBackupExtractWhatsAppWork::Finish() {
  if (!BeginFinish()) return;
  if (!stopped()) {
    for (const auto& [name, entry] : entries()) {
      if (entry.found) RegisterAttachments(entry.local_path);
    }
  }
  registry().Send(FilesResult());
}
