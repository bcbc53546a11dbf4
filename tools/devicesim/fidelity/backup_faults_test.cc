// The backup faults that a careful computer must refuse (a target climbing out of the backup folder, an
// over-long target, a huge size announcement) and the silent device, seen through a bare computer written
// here: idevicebackup2 itself would follow the climbing name, so it is not run against them.
#include <plist/plist.h>

#include "fidelity_fixture.h"

namespace devicesim {
namespace {

constexpr char kPhone[] = "00008110-000A1B2C3D4E501E";

uint32_t Be32(const std::string& bytes) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
  return value;
}

std::string EncodeBe32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * (3 - i)));
  return bytes;
}

std::string Name(plist_t message) {
  plist_t first = message && plist_get_node_type(message) == PLIST_ARRAY ? plist_array_get_item(message, 0) : nullptr;
  char* text = nullptr;
  if (first) plist_get_string_val(first, &text);
  std::string name = text ? text : "";
  free(text);
  return name;
}

plist_t Array(std::initializer_list<plist_t> items) {
  plist_t array = plist_new_array();
  for (plist_t item : items) plist_array_append_item(array, item);
  return array;
}

// A computer that answers the device's requests just enough to reach its uploads.
class BareComputer {
 public:
  explicit BareComputer(LockdownSession& session) : service_(session, "com.apple.mobilebackup2") {}

  bool StartBackup() {
    if (!service_.ok() || Name(Receive()) != "DLMessageVersionExchange") return false;
    Send(Array({plist_new_string("DLMessageVersionExchange"), plist_new_string("DLVersionsOk"), plist_new_uint(300)}));
    if (Name(Receive()) != "DLMessageDeviceReady") return false;
    plist_t hello = plist_new_dict();
    plist_dict_set_item(hello, "MessageName", plist_new_string("Hello"));
    plist_dict_set_item(hello, "SupportedProtocolVersions", Array({plist_new_uint(2), plist_new_real(2.1)}));
    Send(Array({plist_new_string("DLMessageProcessMessage"), hello}));
    if (Name(Receive()) != "DLMessageProcessMessage") return false;
    plist_t backup = plist_new_dict();
    plist_dict_set_item(backup, "MessageName", plist_new_string("Backup"));
    plist_dict_set_item(backup, "TargetIdentifier", plist_new_string(kPhone));
    Send(Array({plist_new_string("DLMessageProcessMessage"), backup}));
    return true;
  }

  // Answers requests until an UploadFiles arrives; returns its announced total (element 3).
  bool AwaitUpload(uint64_t* total) {
    for (;;) {
      plist_t message = Receive();
      std::string name = Name(message);
      if (name == "DLMessageUploadFiles") {
        plist_get_uint_val(plist_array_get_item(message, 3), total);
        plist_free(message);
        return true;
      }
      if (name == "DLMessageDownloadFiles") {
        plist_t paths = plist_array_get_item(message, 1);
        for (uint32_t i = 0; i < plist_array_get_size(paths); ++i) {
          char* path = nullptr;
          plist_get_string_val(plist_array_get_item(paths, i), &path);
          std::string text = "No such file or directory";
          service_.Send(EncodeBe32(static_cast<uint32_t>(strlen(path))) + path +
                        EncodeBe32(static_cast<uint32_t>(text.size() + 1)) + "\x06" + text);
          free(path);
        }
        service_.Send(EncodeBe32(0));
        Status(plist_new_dict());
      } else if (name == "DLMessageGetFreeDiskSpace") {
        Status(plist_new_uint(uint64_t{1} << 40));
      } else if (name == "DLMessageCreateDirectory") {
        Status(plist_new_string("___EmptyParameterString___"));
      } else {
        plist_free(message);
        return false;
      }
      plist_free(message);
    }
  }

  // The two names of the next uploaded file; false when they do not arrive.
  bool ReadNames(std::string* device_path, std::string* target) {
    std::string length;
    if (!service_.Receive(4, &length) || !service_.Receive(Be32(length), device_path)) return false;
    return service_.Receive(4, &length) && service_.Receive(Be32(length), target);
  }

  // Reads one whole file: names, data blocks and the end block.
  bool ReadFile(std::string* target) {
    std::string device_path, header, data;
    if (!ReadNames(&device_path, target)) return false;
    for (;;) {
      if (!service_.Receive(5, &header)) return false;
      if (header[4] != '\x0C') return true;
      if (!service_.Receive(Be32(header) - 1, &data)) return false;
    }
  }

  // Takes the upload of Status.plist that precedes the files, and acknowledges it.
  bool PassStatusUpload() {
    uint64_t total = 0;
    std::string target, end;
    if (!AwaitUpload(&total) || !ReadFile(&target) || target != std::string(kPhone) + "/Status.plist") return false;
    if (!service_.Receive(4, &end) || Be32(end) != 0) return false;
    Status(plist_new_dict());
    return true;
  }

  RawService& service() { return service_; }

 private:
  plist_t Receive() { return service_.ReceivePlist(false, 5000); }
  void Send(plist_t message) {
    service_.SendPlist(message, false);
    plist_free(message);
  }
  void Status(plist_t value) {
    Send(Array({plist_new_string("DLMessageStatusResponse"), plist_new_uint(0),
                plist_new_string("___EmptyParameterString___"), value}));
  }

  RawService service_;
};

class BackupFaultsTest : public SimulatorTest {
 protected:
  void AddPhone(const BackupFault& fault) {
    ProfileBuilder phone(kPhone);
    phone.AddBackupFile("HomeDomain", "Library/SMS/sms.db", "messages")
        .AddBackupFile("HomeDomain", "Library/Notes/notes.sqlite", "notes")
        .SetBackupFault(fault);
    AddDevice("phone", phone);
  }
};

TEST_F(BackupFaultsTest, TheChosenUploadClimbsOutOfTheBackupFolderAfterNormalOnes) {
  AddPhone({.kind = BackupFaultKind::kClimbingName, .after_files = 1});
  LockdownSession session(kPhone);
  BareComputer computer(session);
  ASSERT_TRUE(computer.StartBackup());
  uint64_t total = 0;
  std::string target;
  ASSERT_TRUE(computer.PassStatusUpload());
  ASSERT_TRUE(computer.AwaitUpload(&total));
  ASSERT_TRUE(computer.ReadFile(&target));
  EXPECT_EQ(target.rfind(std::string(kPhone) + "/Snapshot/", 0), 0u) << target;
  ASSERT_TRUE(computer.ReadFile(&target));
  EXPECT_EQ(target.rfind(std::string(kPhone) + "/../../devicesim-escaped-", 0), 0u) << target;
}

TEST_F(BackupFaultsTest, AnOverlongTargetAndAHugeAnnouncementReachTheComputer) {
  AddPhone({.kind = BackupFaultKind::kLongName});
  {
    LockdownSession session(kPhone);
    BareComputer computer(session);
    ASSERT_TRUE(computer.StartBackup());
    uint64_t total = 0;
    std::string target, device_path;
    ASSERT_TRUE(computer.PassStatusUpload());
    ASSERT_TRUE(computer.AwaitUpload(&total));
    ASSERT_TRUE(computer.ReadNames(&device_path, &target));
    EXPECT_GT(target.size(), 4096u);
  }
  std::string error;
  ASSERT_TRUE(sim_.SetBackupFault("phone", {.kind = BackupFaultKind::kHugeFileSize}, &error));
  LockdownSession session(kPhone);
  BareComputer computer(session);
  ASSERT_TRUE(computer.StartBackup());
  uint64_t total = 0;
  std::string target, device_path, header;
  ASSERT_TRUE(computer.PassStatusUpload());
  ASSERT_TRUE(computer.AwaitUpload(&total));
  EXPECT_EQ(total, uint64_t{1} << 62);
  ASSERT_TRUE(computer.ReadNames(&device_path, &target));
  ASSERT_TRUE(computer.service().Receive(5, &header));
  EXPECT_GT(Be32(header), 0xF0000000u);
  std::string rest;
  EXPECT_FALSE(computer.service().Receive(1000, &rest, 2000)) << "the device closes after a few bytes";
}

TEST_F(BackupFaultsTest, AStalledDeviceFallsSilentButKeepsTheConnection) {
  AddPhone({.kind = BackupFaultKind::kStall});
  LockdownSession session(kPhone);
  BareComputer computer(session);
  ASSERT_TRUE(computer.StartBackup());
  uint64_t total = 0;
  std::string anything;
  ASSERT_TRUE(computer.PassStatusUpload());
  ASSERT_TRUE(computer.AwaitUpload(&total));
  EXPECT_FALSE(computer.service().Receive(1, &anything, 1000));
  EXPECT_TRUE(computer.service().Send(std::string(4, '\0'))) << "the connection is still open";
}

}  // namespace
}  // namespace devicesim
