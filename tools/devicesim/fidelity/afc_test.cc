// AFC through libimobiledevice's own afc_* calls: listing, information, transfers, renames, removals and the
// confinement of every path to the profile's afc/ folder.
#include <libimobiledevice/afc.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "fidelity_fixture.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;
constexpr char kUdid[] = "00008120-0001A2B3C4D5E6F7";

class AfcTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    ProfileBuilder phone(kUdid);
    phone.SetAfcDeviceInfo("iPhone15,2", 128000000000, 42000000000)
        .AddFile("DCIM/100APPLE/IMG_0001.JPG", "jpeg-bytes")
        .AddFile("DCIM/100APPLE/IMG_0002.JPG", "more-jpeg")
        .AddFolder("Books")
        .AddSymlink("escape", "/etc")
        .AddSymlink("photos", "DCIM/100APPLE");
    AddDevice("phone", phone);
    session_ = std::make_unique<LockdownSession>(kUdid);
    ASSERT_TRUE(session_->ok()) << session_->error();
    lockdownd_service_descriptor_t service = session_->Start("com.apple.afc");
    ASSERT_NE(service, nullptr);
    ASSERT_EQ(afc_client_new(session_->device(), service, &afc_), AFC_E_SUCCESS);
    lockdownd_service_descriptor_free(service);
  }

  void TearDown() override {
    if (afc_) afc_client_free(afc_);
    session_.reset();
    SimulatorTest::TearDown();
  }

  static std::vector<std::string> Strings(char** list) {
    std::vector<std::string> out;
    for (char** item = list; item && *item; ++item) out.emplace_back(*item);
    afc_dictionary_free(list);
    return out;
  }

  afc_error_t List(const std::string& path, std::vector<std::string>* names) {
    char** list = nullptr;
    afc_error_t error = afc_read_directory(afc_, path.c_str(), &list);
    *names = Strings(list);
    return error;
  }

  afc_error_t Info(const std::string& path, std::map<std::string, std::string>* info) {
    char** list = nullptr;
    afc_error_t error = afc_get_file_info(afc_, path.c_str(), &list);
    std::vector<std::string> flat = Strings(list);
    info->clear();
    for (size_t i = 0; i + 1 < flat.size(); i += 2) (*info)[flat[i]] = flat[i + 1];
    return error;
  }

  std::string HostFile(const std::string& path) {
    std::ifstream in(AfcDir("phone") + "/" + path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::unique_ptr<LockdownSession> session_;
  afc_client_t afc_ = nullptr;
};

TEST_F(AfcTest, ListsFoldersWithTheirDotEntries) {
  std::vector<std::string> names;
  ASSERT_EQ(List("/DCIM/100APPLE", &names), AFC_E_SUCCESS);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "IMG_0001.JPG", "IMG_0002.JPG"}));
  ASSERT_EQ(List("/", &names), AFC_E_SUCCESS);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "Books", "DCIM", "escape", "photos"}));
  ASSERT_EQ(List("photos", &names), AFC_E_SUCCESS) << "a link inside the partition is followed";
  EXPECT_EQ(names.size(), 4u);
  EXPECT_EQ(List("/nothere", &names), AFC_E_OBJECT_NOT_FOUND);
  EXPECT_EQ(Count({.channel = "afc", .name = "READ_DIR", .arg_key = "Path", .arg_value = "/DCIM/100APPLE"}), 1u);
}

TEST_F(AfcTest, FileInformationDescribesFilesFoldersAndLinks) {
  std::map<std::string, std::string> info;
  ASSERT_EQ(Info("DCIM/100APPLE/IMG_0001.JPG", &info), AFC_E_SUCCESS);
  EXPECT_EQ(info["st_size"], "10");
  EXPECT_EQ(info["st_ifmt"], "S_IFREG");
  EXPECT_EQ(info["st_nlink"], "1");
  struct stat host;
  ASSERT_EQ(stat((AfcDir("phone") + "/DCIM/100APPLE/IMG_0001.JPG").c_str(), &host), 0);
  EXPECT_EQ(std::stoull(info["st_mtime"]) / 1000000000ull, static_cast<uint64_t>(host.st_mtime)) << "nanoseconds";
  EXPECT_FALSE(info["st_birthtime"].empty());

  ASSERT_EQ(Info("/DCIM", &info), AFC_E_SUCCESS);
  EXPECT_EQ(info["st_ifmt"], "S_IFDIR");
  ASSERT_EQ(Info("escape", &info), AFC_E_SUCCESS) << "information about a link itself is harmless";
  EXPECT_EQ(info["st_ifmt"], "S_IFLNK");
  EXPECT_EQ(info["LinkTarget"], "/etc");
  EXPECT_EQ(Info("/DCIM/none", &info), AFC_E_OBJECT_NOT_FOUND);
}

TEST_F(AfcTest, DeviceInformationComesFromTheProfile) {
  char** list = nullptr;
  ASSERT_EQ(afc_get_device_info(afc_, &list), AFC_E_SUCCESS);
  std::vector<std::string> flat = Strings(list);
  std::map<std::string, std::string> info;
  for (size_t i = 0; i + 1 < flat.size(); i += 2) info[flat[i]] = flat[i + 1];
  EXPECT_EQ(info["Model"], "iPhone15,2");
  EXPECT_EQ(info["FSTotalBytes"], "128000000000");
  EXPECT_EQ(info["FSFreeBytes"], "42000000000");
  EXPECT_EQ(info["FSBlockSize"], "4096");
}

TEST_F(AfcTest, WrittenBytesReadBackIdentical) {
  const size_t size = (5 << 20) + 123;
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(ProfileBuilder::GeneratedByte(3, i));
  uint64_t handle = 0;
  ASSERT_EQ(afc_make_directory(afc_, "/Uploads/nested"), AFC_E_SUCCESS);
  ASSERT_EQ(afc_file_open(afc_, "/Uploads/nested/blob.bin", AFC_FOPEN_WRONLY, &handle), AFC_E_SUCCESS);
  for (size_t offset = 0; offset < size; offset += 1 << 20) {
    uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(1 << 20, size - offset)), written = 0;
    ASSERT_EQ(afc_file_write(afc_, handle, data.data() + offset, chunk, &written), AFC_E_SUCCESS);
    ASSERT_EQ(written, chunk);
  }
  ASSERT_EQ(afc_file_close(afc_, handle), AFC_E_SUCCESS);
  EXPECT_EQ(HostFile("Uploads/nested/blob.bin"), data);

  ASSERT_EQ(afc_file_open(afc_, "/Uploads/nested/blob.bin", AFC_FOPEN_RDONLY, &handle), AFC_E_SUCCESS);
  std::string back;
  std::vector<char> buffer(4 << 20);
  size_t reads_before = Count({.channel = "afc", .name = "FILE_READ"});
  for (;;) {
    uint32_t got = 0;
    ASSERT_EQ(afc_file_read(afc_, handle, buffer.data(), static_cast<uint32_t>(buffer.size()), &got), AFC_E_SUCCESS);
    if (got == 0) break;
    back.append(buffer.data(), got);
  }
  EXPECT_EQ(back, data);
  // 4 MiB + the rest + the empty read at the end: libimobiledevice sends one request per call, uncut.
  EXPECT_EQ(Count({.channel = "afc", .name = "FILE_READ"}) - reads_before, 3u);

  ASSERT_EQ(afc_file_seek(afc_, handle, 1000, SEEK_SET), AFC_E_SUCCESS);
  uint64_t position = 0;
  ASSERT_EQ(afc_file_tell(afc_, handle, &position), AFC_E_SUCCESS);
  EXPECT_EQ(position, 1000u);
  uint32_t got = 0;
  ASSERT_EQ(afc_file_read(afc_, handle, buffer.data(), 16, &got), AFC_E_SUCCESS);
  EXPECT_EQ(std::string(buffer.data(), got), data.substr(1000, 16));
  ASSERT_EQ(afc_file_seek(afc_, handle, -10, SEEK_END), AFC_E_SUCCESS);
  ASSERT_EQ(afc_file_read(afc_, handle, buffer.data(), 100, &got), AFC_E_SUCCESS);
  EXPECT_EQ(got, 10u);
  ASSERT_EQ(afc_file_close(afc_, handle), AFC_E_SUCCESS);
}

TEST_F(AfcTest, ModesSizesLocksAndTimes) {
  uint64_t handle = 0;
  ASSERT_EQ(afc_file_open(afc_, "log.txt", AFC_FOPEN_WRONLY, &handle), AFC_E_SUCCESS);
  uint32_t written = 0;
  ASSERT_EQ(afc_file_write(afc_, handle, "hello", 5, &written), AFC_E_SUCCESS);
  ASSERT_EQ(afc_file_close(afc_, handle), AFC_E_SUCCESS);
  ASSERT_EQ(afc_file_open(afc_, "log.txt", AFC_FOPEN_APPEND, &handle), AFC_E_SUCCESS);
  ASSERT_EQ(afc_file_write(afc_, handle, " world", 6, &written), AFC_E_SUCCESS);
  ASSERT_EQ(afc_file_lock(afc_, handle, AFC_LOCK_EX), AFC_E_SUCCESS);
  ASSERT_EQ(afc_file_lock(afc_, handle, AFC_LOCK_UN), AFC_E_SUCCESS);
  ASSERT_EQ(afc_file_truncate(afc_, handle, 8), AFC_E_SUCCESS);
  ASSERT_EQ(afc_file_close(afc_, handle), AFC_E_SUCCESS);
  EXPECT_EQ(HostFile("log.txt"), "hello wo");
  ASSERT_EQ(afc_truncate(afc_, "log.txt", 4), AFC_E_SUCCESS);
  EXPECT_EQ(HostFile("log.txt"), "hell");

  ASSERT_EQ(afc_set_file_time(afc_, "log.txt", 1500000000ull * 1000000000ull), AFC_E_SUCCESS);
  struct stat host;
  ASSERT_EQ(stat((AfcDir("phone") + "/log.txt").c_str(), &host), 0);
  EXPECT_EQ(host.st_mtime, 1500000000);

  EXPECT_EQ(afc_file_open(afc_, "DCIM", AFC_FOPEN_RDONLY, &handle), AFC_E_OBJECT_IS_DIR);
  EXPECT_EQ(afc_file_open(afc_, "missing.txt", AFC_FOPEN_RDONLY, &handle), AFC_E_OBJECT_NOT_FOUND);
  EXPECT_EQ(afc_file_close(afc_, 9999), AFC_E_INVALID_ARG);
}

TEST_F(AfcTest, RenamesAndRemovals) {
  ASSERT_EQ(afc_rename_path(afc_, "DCIM/100APPLE/IMG_0001.JPG", "Books/moved.jpg"), AFC_E_SUCCESS);
  EXPECT_EQ(HostFile("Books/moved.jpg"), "jpeg-bytes");
  EXPECT_EQ(afc_rename_path(afc_, "nothere", "also-not"), AFC_E_OBJECT_NOT_FOUND);
  EXPECT_NE(afc_remove_path(afc_, "DCIM"), AFC_E_SUCCESS) << "a folder with content is not removed";
  EXPECT_TRUE(fs::exists(AfcDir("phone") + "/DCIM/100APPLE/IMG_0002.JPG"));
  ASSERT_EQ(afc_remove_path(afc_, "Books/moved.jpg"), AFC_E_SUCCESS);
  EXPECT_FALSE(fs::exists(AfcDir("phone") + "/Books/moved.jpg"));
  ASSERT_EQ(afc_remove_path(afc_, "Books"), AFC_E_SUCCESS);
  ASSERT_EQ(afc_remove_path_and_contents(afc_, "DCIM"), AFC_E_SUCCESS);
  EXPECT_FALSE(fs::exists(AfcDir("phone") + "/DCIM"));
  EXPECT_EQ(afc_remove_path(afc_, "Books"), AFC_E_OBJECT_NOT_FOUND);
  EXPECT_EQ(afc_remove_path(afc_, "/"), AFC_E_PERM_DENIED);
  EXPECT_EQ(Count({.channel = "afc", .name = "RENAME_PATH", .arg_key = "Path2", .arg_value = "Books/moved.jpg"}), 1u);
}

TEST_F(AfcTest, NoPathLeavesThePartition) {
  std::map<std::string, std::string> info;
  std::vector<std::string> names;
  uint64_t handle = 0;
  EXPECT_EQ(Info("..", &info), AFC_E_PERM_DENIED);
  EXPECT_EQ(Info("/DCIM/../../", &info), AFC_E_PERM_DENIED);
  EXPECT_EQ(afc_file_open(afc_, "/../../etc/passwd", AFC_FOPEN_RDONLY, &handle), AFC_E_PERM_DENIED);
  EXPECT_EQ(afc_file_open(afc_, "escape/passwd", AFC_FOPEN_RDONLY, &handle), AFC_E_PERM_DENIED);
  EXPECT_EQ(List("escape", &names), AFC_E_PERM_DENIED);
  EXPECT_EQ(afc_make_directory(afc_, "../made"), AFC_E_PERM_DENIED);
  EXPECT_EQ(afc_rename_path(afc_, "DCIM", "../stolen"), AFC_E_PERM_DENIED);
  // "escape/.." is the root itself, which is never removed.
  EXPECT_EQ(afc_remove_path_and_contents(afc_, "escape/.."), AFC_E_PERM_DENIED);
  EXPECT_TRUE(fs::exists(AfcDir("phone") + "/DCIM"));
  // An absolute path names a place on the partition, not on the host.
  EXPECT_EQ(afc_file_open(afc_, "/etc/passwd", AFC_FOPEN_RDONLY, &handle), AFC_E_OBJECT_NOT_FOUND);
  // A client may make a link that points out, but cannot go through it.
  ASSERT_EQ(afc_make_link(afc_, AFC_SYMLINK, "/etc/passwd", "passwd-link"), AFC_E_SUCCESS);
  EXPECT_EQ(afc_file_open(afc_, "passwd-link", AFC_FOPEN_RDONLY, &handle), AFC_E_PERM_DENIED);
  EXPECT_EQ(afc_file_open(afc_, "escape-new", AFC_FOPEN_WRONLY, &handle), AFC_E_SUCCESS) << "plain new files work";
  EXPECT_EQ(afc_make_link(afc_, AFC_HARDLINK, "/../../etc/passwd", "hard"), AFC_E_PERM_DENIED);
}

}  // namespace
}  // namespace devicesim
