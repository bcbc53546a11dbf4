// Snapshots against the simulated device's file service: which files land in the device folder, and which paths
// the record keeps, for present, missing and partly present databases.
#include "utility/db/device_snapshot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "utility/db/device_folder.h"
#include "support/device_layer_fixture.h"
#include "utility/ios/device_handles.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/process_context.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

class DeviceSnapshotTest : public DeviceLayerTest {
 protected:
  void SetUp() override {
    DeviceLayerTest::SetUp();
    ProcessContext::Get().Init(StartParams(), dir_ + "/work");
    record_ = std::make_shared<ZEBDeviceConnection>(nullptr, 1);
    ZEBDeviceIdentity identity;
    identity.uniqueDeviceID = kUdid;
    record_->SetIdentity(identity);
  }

  // Attaches the device with the files added to the profile so far and opens its file service.
  void AttachWithFiles() {
    Attach();
    int error = 0;
    afc_ = StartService(*record(), kServiceAfc, &error, {}, true);
    ASSERT_TRUE(afc_ && DeviceHandles::Afc(*afc_)) << error;
  }

  bool Take(Snapshot snapshot) { return TakeSnapshot(*record_, *afc_, snapshot); }
  std::string Local(const std::string& name) const { return ProcessContext::Get().ProcessFolder(false) + kUdid + "/" + name; }
  bool HasLocal(const std::string& name) const { return fs::exists(Local(name)); }

  std::shared_ptr<ZEBDeviceConnection> record_;
  ZEBDeviceServicePtr afc_;
};

TEST_F(DeviceSnapshotTest, ADatabaseIsCopiedWithTheCompanionsTheDeviceHas) {
  profile_.AddFile("iTunes_Control/iTunes/MediaLibrary.sqlitedb", "main").AddFile(
      "iTunes_Control/iTunes/MediaLibrary.sqlitedb-wal", "wal");
  AttachWithFiles();
  ASSERT_FALSE(DeviceFolder(kUdid).empty());
  std::ofstream(Local("MediaLibrary.sqlitedb-shm")) << "stale";  // from an earlier snapshot: left alone

  EXPECT_TRUE(Take(Snapshot::kMediaLibrary));
  EXPECT_EQ(record_->SnapshotPath(SnapshotRole::kMediaLibraryDatabase), Local("MediaLibrary.sqlitedb"));
  EXPECT_EQ(ReadFile(Local("MediaLibrary.sqlitedb")), "main");
  EXPECT_EQ(ReadFile(Local("MediaLibrary.sqlitedb-wal")), "wal");
  EXPECT_EQ(ReadFile(Local("MediaLibrary.sqlitedb-shm")), "stale");
}

TEST_F(DeviceSnapshotTest, AMissingDatabaseFailsAndTheRecordKeepsItsEarlierCopy) {
  profile_.AddFile("PhotoData/Photos.sqlite-wal", "orphan companion");
  AttachWithFiles();
  record_->SetSnapshotPath(SnapshotRole::kPhotoDatabase, "/earlier/Photos.sqlite");
  EXPECT_FALSE(Take(Snapshot::kPhotos));
  EXPECT_EQ(record_->SnapshotPath(SnapshotRole::kPhotoDatabase), "/earlier/Photos.sqlite");
  EXPECT_FALSE(HasLocal("Photos.sqlite-wal"));  // companions only follow a copied main file
  EXPECT_FALSE(Take(Snapshot::kMediaLibrary));
  EXPECT_EQ(record_->SnapshotPath(SnapshotRole::kMediaLibraryDatabase), "");
}

TEST_F(DeviceSnapshotTest, TheLibraryNeedsBothItsDatabases) {
  const std::string folder = "iTunes_Control/iTunes/iTunes Library.itlp/";
  profile_.AddFile(folder + "Locations.itdb", "locations").AddFile(folder + "Locations.itdb.cbk", "cbk");
  AttachWithFiles();
  EXPECT_FALSE(Take(Snapshot::kLibrary));  // no Library.itdb: Locations.itdb is not even tried
  EXPECT_FALSE(HasLocal("Locations.itdb"));
  EXPECT_EQ(record_->SnapshotPath(SnapshotRole::kLocationsDatabase), "");
}

TEST_F(DeviceSnapshotTest, TheLibraryWithBothDatabasesSetsBothPaths) {
  const std::string folder = "iTunes_Control/iTunes/iTunes Library.itlp/";
  profile_.AddFile(folder + "Library.itdb", "library")
      .AddFile(folder + "Locations.itdb", "locations")
      .AddFile(folder + "Locations.itdb.cbk", "cbk");
  AttachWithFiles();
  EXPECT_TRUE(Take(Snapshot::kLibrary));
  EXPECT_EQ(record_->SnapshotPath(SnapshotRole::kLibraryDatabase), Local("Library.itdb"));
  EXPECT_EQ(record_->SnapshotPath(SnapshotRole::kLocationsDatabase), Local("Locations.itdb"));
  EXPECT_EQ(ReadFile(Local("Locations.itdb.cbk")), "cbk");
}

TEST_F(DeviceSnapshotTest, ABookListNamesItsLocalPathEvenWhenTheDeviceHasNone) {
  profile_.AddFile("Books/Purchases/Purchases.plist", "<plist/>");
  AttachWithFiles();
  EXPECT_FALSE(Take(Snapshot::kBooks));
  EXPECT_EQ(record_->SnapshotPath(SnapshotRole::kBookList), Local("Books.plist"));
  EXPECT_TRUE(Take(Snapshot::kPurchasedBooks));
  EXPECT_EQ(ReadFile(record_->SnapshotPath(SnapshotRole::kPurchasedBookList)), "<plist/>");
}

// Needs no device: only the process folder.
TEST(DeviceFolderTest, AnIdentifierThatIsNoFolderNameGetsNoFolder) {
  char pattern[] = "/tmp/corvane-folder-XXXXXX";
  std::string dir = ::mkdtemp(pattern);
  ProcessContext::Get().Init(StartParams(), dir + "/work");
  for (const char* udid : {"", "..", "a/b", "../escape"}) {
    EXPECT_EQ(DeviceFolder(udid), "") << udid;
  }
  EXPECT_FALSE(fs::exists(dir + "/work/escape"));
  const std::string udid = "00008030-00000000AAAA0001";
  EXPECT_EQ(DeviceFolder(udid), ProcessContext::Get().ProcessFolder(false) + udid + "/");
  fs::remove_all(dir);
}

}  // namespace
