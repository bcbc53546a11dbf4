// The upload journal: which blocks of a file being received have reached the device.
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "utility/command_payload.h"
#include "utility/module/file/file_internal.h"

namespace file {
namespace {

std::vector<JournalBlock> CutBlocks(int64_t size) {
  std::vector<JournalBlock> blocks;
  for (int64_t offset = 0; offset < size; offset += kBlockSize) {
    blocks.push_back({offset, std::min(kBlockSize, size - offset), 0});
  }
  return blocks;
}

bool ReadInt64(const rapidjson::Value& object, const char* key, int64_t* out) {
  auto member = object.FindMember(key);
  if (member == object.MemberEnd() || !member->value.IsInt64()) return false;
  *out = member->value.GetInt64();
  return true;
}

}  // namespace

Journal NewJournal(std::string name, std::string md5, int64_t size) {
  Journal journal;
  journal.path = std::move(name);
  journal.md5 = std::move(md5);
  journal.size = size;
  journal.blocks = CutBlocks(size);
  return journal;
}

std::string JournalText(const Journal& journal) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("version");
  writer.String("1");
  writer.Key("path");
  writer.String(journal.path.data(), static_cast<rapidjson::SizeType>(journal.path.size()));
  writer.Key("md5");
  writer.String(journal.md5.data(), static_cast<rapidjson::SizeType>(journal.md5.size()));
  writer.Key("size");
  writer.Int64(journal.size);
  writer.Key("status");
  writer.Int(0);
  writer.Key("fbs");
  writer.StartObject();
  for (const JournalBlock& block : journal.blocks) {
    std::string name = std::to_string(block.offset);
    writer.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()));
    writer.StartObject();
    writer.Key("status");
    writer.Int(block.status);
    writer.Key("offset");
    writer.Int64(block.offset);
    writer.Key("offset_length");
    writer.Int64(block.length);
    writer.EndObject();
  }
  writer.EndObject();
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

bool ParseJournal(std::string_view text, Journal* journal) {
  rapidjson::Document document;
  if (!ParseJsonObject(text, &document) || JsonText(document, "version") != "1") return false;
  auto path = document.FindMember("path");
  auto md5 = document.FindMember("md5");
  auto blocks = document.FindMember("fbs");
  int64_t size = 0;
  if (path == document.MemberEnd() || !path->value.IsString() || md5 == document.MemberEnd() ||
      !md5->value.IsString() || !ReadInt64(document, "size", &size) || size < 0 || blocks == document.MemberEnd() ||
      !blocks->value.IsObject()) {
    return false;
  }
  // Counting first keeps a forged size from making us cut billions of blocks.
  int64_t expected_count = size / kBlockSize + (size % kBlockSize != 0 ? 1 : 0);
  if (static_cast<int64_t>(blocks->value.MemberCount()) != expected_count) return false;
  Journal read = NewJournal(JsonText(document, "path"), JsonText(document, "md5"), size);
  // The blocks come in offset order, as JournalText writes them; matching them in step keeps this linear.
  auto entry = blocks->value.MemberBegin();
  for (JournalBlock& block : read.blocks) {
    int64_t offset = -1, length = -1, status = 0;
    if (std::string_view(entry->name.GetString(), entry->name.GetStringLength()) != std::to_string(block.offset) ||
        !entry->value.IsObject() || !ReadInt64(entry->value, "offset", &offset) ||
        !ReadInt64(entry->value, "offset_length", &length) || !ReadInt64(entry->value, "status", &status) ||
        offset != block.offset || length != block.length) {
      return false;
    }
    block.status = status != 0 ? 1 : 0;
    ++entry;
  }
  *journal = std::move(read);
  return true;
}

const JournalBlock* FirstPendingBlock(const Journal& journal) {
  for (const JournalBlock& block : journal.blocks) {
    if (block.status == 0) return &block;
  }
  return nullptr;
}

}  // namespace file
