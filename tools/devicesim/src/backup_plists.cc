#include "backup_plists.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

#include "plist_util.h"

namespace devicesim {
namespace {

constexpr char kKeybagMagic[] = "DEVICESIM-KEYBAG1";
constexpr size_t kSaltSize = 16;

std::string Sha256(const std::string& bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  return std::string(reinterpret_cast<const char*>(digest), sizeof(digest));
}

void PutU16(std::string* out, uint16_t value) {
  out->push_back(static_cast<char>(value >> 8));
  out->push_back(static_cast<char>(value & 0xFF));
}

void PutBe(std::string* out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// An mbdb string: u16 length then bytes; 0xFFFF is "none".
void PutString(std::string* out, const std::string* text) {
  if (!text) {
    PutU16(out, 0xFFFF);
    return;
  }
  PutU16(out, static_cast<uint16_t>(text->size()));
  out->append(*text);
}

class MbdbReader {
 public:
  explicit MbdbReader(const std::string& bytes) : bytes_(bytes) {}
  bool done() const { return offset_ >= bytes_.size(); }
  bool Skip(size_t count) {
    if (bytes_.size() - offset_ < count) return false;
    offset_ += count;
    return true;
  }
  bool Number(int size, uint64_t* value) {
    if (bytes_.size() - offset_ < static_cast<size_t>(size)) return false;
    *value = 0;
    for (int i = 0; i < size; ++i) *value = *value << 8 | static_cast<unsigned char>(bytes_[offset_++]);
    return true;
  }
  bool String(std::string* text) {
    uint64_t length = 0;
    if (!Number(2, &length)) return false;
    text->clear();
    if (length == 0xFFFF) return true;
    if (bytes_.size() - offset_ < length) return false;
    text->assign(bytes_, offset_, length);
    offset_ += length;
    return true;
  }

 private:
  const std::string& bytes_;
  size_t offset_ = 0;
};

}  // namespace

std::string MakeStatusPlist(const std::string& snapshot_state, bool full_backup, const std::string& uuid,
                            int64_t unix_time) {
  Value status = Value::Dict();
  status.Set("BackupState", "new");
  status.Set("Date", Value::Date(unix_time));
  status.Set("IsFullBackup", full_backup);
  status.Set("SnapshotState", snapshot_state);
  status.Set("UUID", uuid);
  status.Set("Version", "3.3");
  PlistPtr node(ToPlist(status));
  return ToBinary(node.get());
}

std::string MakeKeybag(const std::string& password) {
  unsigned char salt[kSaltSize];
  RAND_bytes(salt, sizeof(salt));
  std::string salt_bytes(reinterpret_cast<const char*>(salt), sizeof(salt));
  return std::string(kKeybagMagic) + salt_bytes + Sha256(salt_bytes + password);
}

bool KeybagAccepts(const std::string& keybag, const std::string& password) {
  size_t magic = sizeof(kKeybagMagic) - 1;
  if (keybag.size() != magic + kSaltSize + SHA256_DIGEST_LENGTH || keybag.compare(0, magic, kKeybagMagic) != 0) {
    return false;
  }
  std::string salt = keybag.substr(magic, kSaltSize);
  return keybag.substr(magic + kSaltSize) == Sha256(salt + password);
}

std::string MakeManifestPlist(const Value& lockdown_values, bool modern, bool encrypted, const std::string& password,
                              int64_t unix_time) {
  Value lockdown = Value::Dict();
  for (const char* key : {"BuildVersion", "DeviceName", "ProductType", "ProductVersion", "SerialNumber",
                          "UniqueDeviceID"}) {
    if (const Value* value = lockdown_values.Find(key)) lockdown.Set(key, *value);
  }
  Value manifest = Value::Dict();
  manifest.Set("Applications", Value::Dict());
  if (encrypted) {
    manifest.Set("BackupKeyBag", Value::Data(MakeKeybag(password)));
  }
  manifest.Set("Date", Value::Date(unix_time));
  manifest.Set("IsEncrypted", encrypted);
  manifest.Set("Lockdown", lockdown);
  manifest.Set("SystemDomainsVersion", modern ? "24.0" : "20.0");
  manifest.Set("Version", modern ? "10.0" : "9.1");
  manifest.Set("WasPasscodeSet", false);
  PlistPtr node(ToPlist(manifest));
  return ToBinary(node.get());
}

bool ReadManifestPlist(const std::string& bytes, bool* encrypted, std::string* keybag) {
  PlistPtr node = ParsePlist(bytes.data(), bytes.size());
  if (!node || plist_get_node_type(node.get()) != PLIST_DICT) return false;
  Value manifest = FromPlist(node.get());
  const Value* flag = manifest.Find("IsEncrypted");
  *encrypted = flag && flag->type() == Value::Type::kBool && flag->flag();
  const Value* bag = manifest.Find("BackupKeyBag");
  *keybag = bag && bag->type() == Value::Type::kData ? bag->text() : std::string();
  return true;
}

std::string BuildManifestMbdb(const std::vector<BackupItem>& items) {
  std::string out = "mbdb";
  out.push_back(5);
  out.push_back(0);
  for (const BackupItem& item : items) {
    PutString(&out, &item.domain);
    PutString(&out, &item.relative_path);
    PutString(&out, nullptr);  // link target
    PutString(&out, nullptr);  // data hash
    PutString(&out, nullptr);  // encryption key
    PutU16(&out, static_cast<uint16_t>(item.mode));
    PutBe(&out, item.inode, 8);
    PutBe(&out, 501, 4);  // user
    PutBe(&out, 501, 4);  // group
    for (int i = 0; i < 3; ++i) PutBe(&out, static_cast<uint64_t>(item.mtime), 4);  // modified, accessed, created
    PutBe(&out, item.size, 8);
    out.push_back(static_cast<char>(item.is_dir ? 0 : 3));  // protection class
    out.push_back(0);  // no properties
  }
  return out;
}

bool ReadManifestMbdb(const std::string& bytes, std::vector<ManifestEntry>* entries) {
  entries->clear();
  if (bytes.size() < 6 || bytes.compare(0, 4, "mbdb") != 0) return false;
  MbdbReader reader(bytes);
  reader.Skip(6);
  while (!reader.done()) {
    ManifestEntry entry;
    std::string ignored;
    uint64_t mode = 0, number = 0, properties = 0;
    if (!reader.String(&entry.domain) || !reader.String(&entry.relative_path) || !reader.String(&ignored) ||
        !reader.String(&ignored) || !reader.String(&ignored) || !reader.Number(2, &mode) ||
        !reader.Skip(8 + 4 + 4) || !reader.Number(4, &number)) {
      return false;
    }
    entry.mtime = static_cast<int64_t>(number);
    if (!reader.Skip(8) || !reader.Number(8, &entry.size) || !reader.Skip(1) || !reader.Number(1, &properties)) {
      return false;
    }
    for (uint64_t i = 0; i < properties * 2; ++i) {
      if (!reader.String(&ignored)) return false;
    }
    entry.flags = (mode & 0xF000) == 0x4000 ? 2 : 1;
    entry.file_id = BackupFileId(entry.domain, entry.relative_path);
    entries->push_back(std::move(entry));
  }
  return true;
}

}  // namespace devicesim
