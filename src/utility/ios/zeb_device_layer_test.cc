// The device layer against the simulator, in this process: sharing of sessions and services, message framing,
// file access and the safety of names that come from the device.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "support/device_layer_fixture.h"
#include "utility/ios/device_handles.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/ios/zeb_device_values.h"
#include "utility/ios/zeb_service_messages.h"
#include "iOSAPI/plist_message.h"

namespace {

namespace fs = std::filesystem;

std::string ReadLocal(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class DeviceLayer : public DeviceLayerTest {
 protected:
  ZEBDeviceServicePtr Afc() {
    int error = 0;
    ZEBDeviceServicePtr afc = StartService(*record(), kServiceAfc, &error, {}, true);
    EXPECT_TRUE(afc) << "error " << error;
    return afc;
  }
};

TEST_F(DeviceLayer, TwoUsersOfTheFileServiceShareItAndALaterStartOpensANewOne) {
  Attach();
  {
    ZEBDeviceServicePtr first = Afc();
    ZEBDeviceServicePtr second = Afc();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_NE(DeviceHandles::Afc(*first), nullptr);
  }
  EXPECT_EQ(Requests("lockdown", "StartService"), 1u);
  ZEBDeviceServicePtr third = Afc();
  ASSERT_TRUE(third);
  EXPECT_EQ(Requests("lockdown", "StartService"), 2u);
}

TEST_F(DeviceLayer, TwoThreadsAskingForASessionShareOneAndTheNextOneIsNew) {
  Attach();
  size_t starts_for_one = 0, stops_before_release = 0;
  {
    auto ask = [this] {
      int error = 0;
      return GetSession(device(), &error);
    };
    std::future<ZEBDeviceSessionPtr> a = std::async(std::launch::async, ask);
    std::future<ZEBDeviceSessionPtr> b = std::async(std::launch::async, ask);
    ZEBDeviceSessionPtr first = a.get(), second = b.get();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first.get(), second.get());
    starts_for_one = Requests("lockdown", "StartSession");
    stops_before_release = Requests("lockdown", "StopSession");
  }
  EXPECT_EQ(Requests("lockdown", "StopSession"), stops_before_release + 1);  // the last holder's release stops it
  int error = 0;
  EXPECT_TRUE(GetSession(device(), &error));
  EXPECT_EQ(Requests("lockdown", "StartSession"), 2 * starts_for_one);
}

TEST_F(DeviceLayer, APasscodeLockedDeviceRefusesEveryServiceWith48) {
  profile_.SetPasscodeLocked(true);
  Attach();
  int error = 0;
  EXPECT_FALSE(StartService(*record(), "com.apple.mobile.installation_proxy", &error));
  EXPECT_EQ(error, kErrorPasscodeLocked);
  EXPECT_EQ(Requests("lockdown", "StartService"), 5u);
}

class FramingFaults : public DeviceLayer, public ::testing::WithParamInterface<devicesim::FaultKind> {};

TEST_P(FramingFaults, AnEmptyOrOverlongMessageEndsTheLoopWithoutTheHandler) {
  profile_.SetServiceFault("com.apple.mobile.installation_proxy", {GetParam(), 0, -1});
  Attach();
  int error = 0;
  ZEBDeviceServicePtr proxy = StartService(*record(), "com.apple.mobile.installation_proxy", &error);
  ASSERT_TRUE(proxy);
  std::optional<std::string> browse =
      MakeMessage(FillTemplate(std::string(kPlistHeaderApple) +
                                   "<plist version=\"1.0\"><dict><key>Command</key><string>%s</string></dict></plist>",
                               {"Browse"}));
  ASSERT_TRUE(browse);
  int calls = 0;
  EXPECT_FALSE(SendAndReceive(*proxy, *browse, [&](std::string_view) {
    ++calls;
    return true;
  }));
  EXPECT_EQ(calls, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FramingFaults,
                         ::testing::Values(devicesim::FaultKind::kEmptyMessage, devicesim::FaultKind::kOversized),
                         [](const auto& info) {
                           return info.param == devicesim::FaultKind::kEmptyMessage ? "Empty" : "Oversized";
                         });

TEST_F(DeviceLayer, MakeDirectoryLeavesAnExistingOneAlone) {
  profile_.AddFolder("Books");
  Attach();
  ZEBDeviceServicePtr afc = Afc();
  size_t before = Requests("afc", "MAKE_DIR");
  EXPECT_EQ(MakeDirectory(*afc, "/Books"), 1);
  EXPECT_EQ(Requests("afc", "MAKE_DIR"), before);
  EXPECT_EQ(MakeDirectory(*afc, "/New"), 1);
  EXPECT_EQ(Requests("afc", "MAKE_DIR"), before + 1);
}

TEST_F(DeviceLayer, RemoveTreeKeepsOrRemovesTheTopAsAsked) {
  profile_.AddFile("keep/a.txt", "a").AddFile("keep/sub/b.txt", "b").AddFile("gone/c.txt", "c").AddFile("file.txt", "f");
  Attach();
  ZEBDeviceServicePtr afc = Afc();
  ZEBFileInfo info;
  EXPECT_TRUE(RemoveTree(*afc, "/keep", false));
  EXPECT_TRUE(GetFileInfo(*afc, "/keep", &info) && info.IsDirectory());
  EXPECT_FALSE(GetFileInfo(*afc, "/keep/sub", &info));
  EXPECT_FALSE(GetFileInfo(*afc, "/keep/a.txt", &info));
  EXPECT_TRUE(RemoveTree(*afc, "/gone", true));
  EXPECT_FALSE(GetFileInfo(*afc, "/gone", &info));
  EXPECT_TRUE(RemoveTree(*afc, "/file.txt", false));
  EXPECT_FALSE(GetFileInfo(*afc, "/file.txt", &info));
}

TEST_F(DeviceLayer, FilesGoUpAndComeBackByteForByte) {
  profile_.AddFile("empty.bin", "").AddGeneratedFile("big.bin", 9 * 1024 * 1024 + 17, 7);
  Attach();
  ZEBDeviceServicePtr afc = Afc();
  std::string local = dir_ + "/local";
  fs::create_directories(local);

  ASSERT_TRUE(DownloadFile(*afc, "/empty.bin", local + "/empty.bin"));
  EXPECT_TRUE(fs::exists(local + "/empty.bin"));
  EXPECT_EQ(fs::file_size(local + "/empty.bin"), 0u);

  ASSERT_TRUE(DownloadFile(*afc, "/big.bin", local + "/big.bin"));
  std::string big = ReadLocal(local + "/big.bin");
  ASSERT_EQ(big.size(), 9u * 1024 * 1024 + 17);
  for (size_t i = 0; i < big.size(); i += 4099) {
    ASSERT_EQ(static_cast<uint8_t>(big[i]), devicesim::ProfileBuilder::GeneratedByte(7, i)) << i;
  }
  ASSERT_TRUE(UploadFile(*afc, local + "/big.bin", "/copy.bin"));
  std::string again;
  ASSERT_TRUE(DownloadFileToMemory(*afc, "/copy.bin", &again));
  EXPECT_TRUE(again == big);
}

TEST_F(DeviceLayer, ATransferThatBreaksOffIsAFailureAndLeavesNoPartialFile) {
  profile_.AddGeneratedFile("big.bin", 6 * 1024 * 1024, 3).SetServiceFault(kServiceAfc, {devicesim::FaultKind::kDropAfterBytes, 3 << 20, 1});
  Attach();
  ZEBDeviceServicePtr afc = Afc();
  std::string local = dir_ + "/partial.bin";
  EXPECT_FALSE(DownloadFile(*afc, "/big.bin", local));
  EXPECT_FALSE(fs::exists(local));
}

TEST_F(DeviceLayer, ATreeWithAFileThatBrokeOffIsAFailureAndTheRestStillComes) {
  profile_.AddFile("tree/a.txt", "a").AddGeneratedFile("tree/sub/big.bin", 6 * 1024 * 1024, 5);
  profile_.SetServiceFault(kServiceAfc, {devicesim::FaultKind::kDropAfterBytes, 3 << 20, 1});
  Attach();
  ZEBDeviceServicePtr afc = Afc();
  EXPECT_FALSE(DownloadTree(*afc, "/tree", dir_ + "/tree"));
  EXPECT_FALSE(fs::exists(dir_ + "/tree/sub/big.bin"));
}

TEST_F(DeviceLayer, AFileLargerThanTheInMemoryLimitIsNotReadIntoMemory) {
  profile_.AddGeneratedFile("at-limit.bin", kMaxFileInMemory, 1).AddGeneratedFile("over.bin", kMaxFileInMemory + 1, 1);
  Attach();
  ZEBDeviceServicePtr afc = Afc();
  std::string text = "kept";
  EXPECT_FALSE(DownloadFileToMemory(*afc, "/over.bin", &text));
  EXPECT_EQ(text, "kept");
  size_t reads = Requests("afc", "FILE_READ");
  EXPECT_EQ(reads, 0u) << "refused by its size, before any read";
  text.clear();
  EXPECT_TRUE(DownloadFileToMemory(*afc, "/at-limit.bin", &text));
  EXPECT_EQ(text.size(), static_cast<size_t>(kMaxFileInMemory));
}

TEST_F(DeviceLayer, AnUnreadableLocalFileIsAFailedUpload) {
  Attach();
  ZEBDeviceServicePtr afc = Afc();
  EXPECT_FALSE(UploadFile(*afc, dir_ + "/missing.bin", "/x.bin"));
  fs::create_directories(dir_ + "/a-folder");  // opens, but every read fails
  EXPECT_FALSE(UploadFile(*afc, dir_ + "/a-folder", "/y.bin"));
}

TEST_F(DeviceLayer, HostileNamesFromTheDeviceNeverLeaveTheLocalFolder) {
  profile_.AddFile("DCIM/IMG_0001.JPG", "jpeg").AddFile("DCIM/100APPLE/IMG_0002.JPG", "jpeg2");
  profile_.SetHostileListing("/DCIM");
  Attach();
  ZEBDeviceServicePtr afc = Afc();
  std::string target = dir_ + "/export/DCIM";
  ASSERT_TRUE(DownloadTree(*afc, "/DCIM", target));
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir_ + "/export")) {
    found.push_back(fs::relative(entry.path(), dir_ + "/export").string());
  }
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"DCIM", "DCIM/100APPLE", "DCIM/100APPLE/IMG_0002.JPG", "DCIM/IMG_0001.JPG"}));
  for (const auto& entry : fs::directory_iterator(dir_)) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "export" || name == "phone" || name == "usbmuxd.sock") << name;
  }
}

TEST_F(DeviceLayer, TheJailbreakProbeNeedsTheSecondFileService) {
  profile_.AddFolder("var/root/Media/Cydia/AutoInstall");
  Attach();
  EXPECT_FALSE(IsJailbroken(*record()));
}

TEST_F(DeviceLayer, AJailbrokenDeviceIsRecognised) {
  profile_.SetJailbroken(true).AddFolder("var/root/Media/Cydia/AutoInstall");
  Attach();
  EXPECT_TRUE(IsJailbroken(*record()));
}

TEST_F(DeviceLayer, NumbersAreIntegersOrRoundedReals) {
  profile_.SetDomainValue("com.apple.mobile.battery", "Level", devicesim::Value(2.5));
  profile_.SetDomainValue("com.apple.mobile.battery", "Name", devicesim::Value(std::string("x")));
  profile_.SetUniqueChipId(5000000000);
  Attach();
  int error = 0;
  ZEBDeviceSessionPtr session = GetSession(device(), &error);
  ASSERT_TRUE(session);
  int64_t number = 0;
  EXPECT_TRUE(GetNumber(*record(), "Level", "com.apple.mobile.battery", &number));
  EXPECT_EQ(number, 3);
  EXPECT_TRUE(GetNumber(*record(), "UniqueChipID", nullptr, &number));
  EXPECT_EQ(number, 5000000000);
  EXPECT_FALSE(GetNumber(*record(), "Name", "com.apple.mobile.battery", &number));
  EXPECT_FALSE(GetNumber(*record(), "NoSuchKey", nullptr, &number));
}

}  // namespace
