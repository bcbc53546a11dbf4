#include "backup_manifest_db.h"

#include <sqlite3.h>

#include <memory>

#include "plist_util.h"

namespace devicesim {
namespace {

struct DbClose {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using DbPtr = std::unique_ptr<sqlite3, DbClose>;

struct StatementFinalize {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalize>;

constexpr char kSchema[] =
    "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags INTEGER, file BLOB);"
    "CREATE INDEX FilesDomainIdx ON Files(domain);"
    "CREATE INDEX FilesRelativePathIdx ON Files(relativePath);"
    "CREATE INDEX FilesFlagsIdx ON Files(flags);"
    "CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);";

bool Fail(sqlite3* db, const char* what, std::string* error) {
  *error = std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
  return false;
}

DbPtr OpenMemory() {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  return DbPtr(db);
}

plist_t Uid(uint64_t index) { return plist_new_uid(index); }

}  // namespace

std::string ArchiveFileRecord(const BackupItem& item) {
  plist_t record = plist_new_dict();
  plist_dict_set_item(record, "$class", Uid(3));
  plist_dict_set_item(record, "Birth", plist_new_uint(static_cast<uint64_t>(item.mtime)));
  plist_dict_set_item(record, "Flags", plist_new_uint(0));
  plist_dict_set_item(record, "GroupID", plist_new_uint(501));
  plist_dict_set_item(record, "InodeNumber", plist_new_uint(item.inode));
  plist_dict_set_item(record, "LastModified", plist_new_uint(static_cast<uint64_t>(item.mtime)));
  plist_dict_set_item(record, "LastStatusChange", plist_new_uint(static_cast<uint64_t>(item.mtime)));
  plist_dict_set_item(record, "Mode", plist_new_uint(item.mode));
  plist_dict_set_item(record, "ProtectionClass", plist_new_uint(item.is_dir ? 0 : 3));
  plist_dict_set_item(record, "RelativePath", Uid(2));
  plist_dict_set_item(record, "Size", plist_new_uint(item.size));
  plist_dict_set_item(record, "UserID", plist_new_uint(501));

  plist_t class_info = plist_new_dict();
  plist_t classes = plist_new_array();
  plist_array_append_item(classes, plist_new_string("MBFile"));
  plist_array_append_item(classes, plist_new_string("NSObject"));
  plist_dict_set_item(class_info, "$classes", classes);
  plist_dict_set_item(class_info, "$classname", plist_new_string("MBFile"));

  plist_t objects = plist_new_array();
  plist_array_append_item(objects, plist_new_string("$null"));
  plist_array_append_item(objects, record);
  plist_array_append_item(objects, plist_new_string(item.relative_path.c_str()));
  plist_array_append_item(objects, class_info);

  plist_t top = plist_new_dict();
  plist_dict_set_item(top, "root", Uid(1));
  PlistPtr archive(plist_new_dict());
  plist_dict_set_item(archive.get(), "$version", plist_new_uint(100000));
  plist_dict_set_item(archive.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
  plist_dict_set_item(archive.get(), "$top", top);
  plist_dict_set_item(archive.get(), "$objects", objects);
  return ToBinary(archive.get());
}

bool ReadFileRecord(const void* data, size_t size, uint64_t* file_size, int64_t* mtime) {
  PlistPtr archive = ParsePlist(static_cast<const char*>(data), size);
  plist_t objects = archive ? plist_dict_get_item(archive.get(), "$objects") : nullptr;
  if (!objects || plist_get_node_type(objects) != PLIST_ARRAY || plist_array_get_size(objects) < 2) return false;
  plist_t record = plist_array_get_item(objects, 1);
  auto figure = DictUint(record, "Size");
  auto modified = DictUint(record, "LastModified");
  if (!figure || !modified) return false;
  *file_size = *figure;
  *mtime = static_cast<int64_t>(*modified);
  return true;
}

bool BuildManifestDb(const std::vector<BackupItem>& items, std::string* bytes, std::string* error) {
  DbPtr db = OpenMemory();
  if (!db) return Fail(nullptr, "cannot open a database", error);
  if (sqlite3_exec(db.get(), kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) return Fail(db.get(), "schema", error);
  sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.get(), "INSERT OR REPLACE INTO Files VALUES (?, ?, ?, ?, ?)", -1, &raw, nullptr) !=
      SQLITE_OK) {
    return Fail(db.get(), "prepare", error);
  }
  StatementPtr insert(raw);
  for (const BackupItem& item : items) {
    std::string record = ArchiveFileRecord(item);
    sqlite3_bind_text(insert.get(), 1, item.file_id.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert.get(), 2, item.domain.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert.get(), 3, item.relative_path.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert.get(), 4, item.is_dir ? 2 : 1);
    sqlite3_bind_blob(insert.get(), 5, record.data(), static_cast<int>(record.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) return Fail(db.get(), "insert", error);
    sqlite3_reset(insert.get());
  }
  if (sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return Fail(db.get(), "commit", error);
  sqlite3_int64 size = 0;
  unsigned char* image = sqlite3_serialize(db.get(), "main", &size, 0);
  if (!image) return Fail(db.get(), "serialize", error);
  bytes->assign(reinterpret_cast<const char*>(image), static_cast<size_t>(size));
  sqlite3_free(image);
  return true;
}

bool ReadManifestDb(const std::string& bytes, std::vector<ManifestEntry>* entries, std::string* error) {
  entries->clear();
  DbPtr db = OpenMemory();
  if (!db) return Fail(nullptr, "cannot open a database", error);
  auto* image = static_cast<unsigned char*>(sqlite3_malloc64(bytes.size()));
  if (!image && !bytes.empty()) return Fail(db.get(), "memory", error);
  std::copy(bytes.begin(), bytes.end(), image);
  if (sqlite3_deserialize(db.get(), "main", image, static_cast<sqlite3_int64>(bytes.size()),
                          static_cast<sqlite3_int64>(bytes.size()),
                          SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY) != SQLITE_OK) {
    return Fail(db.get(), "not a database", error);
  }
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.get(), "SELECT fileID, domain, relativePath, flags, file FROM Files", -1, &raw,
                         nullptr) != SQLITE_OK) {
    return Fail(db.get(), "no Files table", error);
  }
  StatementPtr select(raw);
  int step;
  while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
    ManifestEntry entry;
    auto text = [&](int column) {
      const unsigned char* value = sqlite3_column_text(select.get(), column);
      return std::string(value ? reinterpret_cast<const char*>(value) : "",
                         static_cast<size_t>(sqlite3_column_bytes(select.get(), column)));
    };
    entry.file_id = text(0);
    entry.domain = text(1);
    entry.relative_path = text(2);
    entry.flags = sqlite3_column_int(select.get(), 3);
    const void* blob = sqlite3_column_blob(select.get(), 4);
    int blob_size = sqlite3_column_bytes(select.get(), 4);
    if (blob && blob_size > 0) ReadFileRecord(blob, static_cast<size_t>(blob_size), &entry.size, &entry.mtime);
    entries->push_back(std::move(entry));
  }
  if (step != SQLITE_DONE) return Fail(db.get(), "reading Files", error);
  return true;
}

}  // namespace devicesim
