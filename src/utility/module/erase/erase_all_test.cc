// Erasing all content on a simulated phone, in this process so that the restore can be a stand-in: the media
// folders are emptied (and kept), the user applications go, progress follows the table, and the restore gets
// the command's parameters and decides the result.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <mutex>

#include "support/device_layer_fixture.h"
#include "utility/module/erase/zeb_module_erase.h"
#include "utility/task_report.h"

namespace {

namespace fs = std::filesystem;

class RecordingSink : public ZEBReportSink {
 public:
  int SendReportToHost(const bas::IPCPacketHeader&, const TaskReport& report) override {
    std::lock_guard<std::mutex> lock(mutex_);
    progress.push_back(std::to_string(report.stage) + ":" + report.info);
    return 0;
  }
  bool SendReportOnSocket(int, const bas::IPCPacketHeader& header, const TaskReport& report) override {
    return SendReportToHost(header, report) == 0;
  }
  int SendPacketsToHost(std::string_view) override { return 0; }
  std::vector<std::string> progress;

 private:
  std::mutex mutex_;
};

std::string Deflated(const std::string& text) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()), text.size());
  out.resize(size);
  return out;
}

class EraseAll : public DeviceLayerTest {
 protected:
  int Erase(const std::string& parameters) {
    auto packet = std::make_shared<bas::IPCPacket>();
    packet->task_id = 5;
    packet->type = 1700;
    packet->payload = std::string("1\0{\"uuid\":\"", 11) + kUdid + std::string("\"}\0", 3) + Deflated(parameters);
    ZEBCommand command(packet, nullptr, sink_);
    command.set_device(record());
    int code = module_.OnCommand(command);
    info_ = command.result_info;
    return code;
  }
  std::vector<std::string> Installed() {
    std::vector<std::string> ids;
    std::string error;
    EXPECT_TRUE(simulator_.InstalledApps("phone", &ids, &error)) << error;
    return ids;
  }
  std::string Afc(const std::string& path) const { return dir_ + "/phone/afc" + path; }

  ZEBModuleErase module_;
  RecordingSink sink_;
  std::string info_;
};

TEST_F(EraseAll, MediaAndUserAppsGoThenTheRestoreDecidesWithTheSameParameters) {
  profile_.AddFile("DCIM/100APPLE/IMG_0001.JPG", "jpeg")
      .AddFile("PhotoData/Thumbnails/t.ithmb", "thumb")
      .AddFile("iTunes_Control/Music/F00/a.mp3", "mp3")
      .AddFile("Books/b.epub", "book")
      .AddFile("Documents/keep.txt", "not a media folder")
      .AddApp({.bundle_id = "com.example.one"})
      .AddApp({.bundle_id = "com.example.two"})
      .AddApp({.bundle_id = "com.apple.system", .type = "System"});
  Attach();
  std::string seen;
  module_.SetRestoreOperation([&](ZEBCommand&, const ZEBDeviceConnectionPtr& device, const rapidjson::Value& parameters,
                                  std::string* message) {
    EXPECT_NE(device, nullptr);
    seen = parameters["path"].GetString() + std::string("|") + parameters["password"].GetString();
    *message = "restore refused";
    return 45;
  });
  EXPECT_EQ(Erase(R"({"path":"/backups/x","sourceDeviceId":"abc","password":"pw"})"), 45);
  EXPECT_EQ(info_, R"({"error":"restore refused"})");
  EXPECT_EQ(seen, "/backups/x|pw");
  EXPECT_FALSE(fs::exists(Afc("/DCIM/100APPLE")));
  EXPECT_TRUE(fs::is_directory(Afc("/DCIM")));
  EXPECT_FALSE(fs::exists(Afc("/PhotoData/Thumbnails/t.ithmb")));
  EXPECT_FALSE(fs::exists(Afc("/iTunes_Control/Music/F00")));
  EXPECT_FALSE(fs::exists(Afc("/Books/b.epub")));
  EXPECT_TRUE(fs::exists(Afc("/Documents/keep.txt")));
  EXPECT_EQ(Installed(), std::vector<std::string>{"com.apple.system"});
  std::vector<std::string> expected = {"0:{\"percent\":4}"};
  for (int value : {8, 13, 17, 21, 26, 30, 34, 39, 43, 47, 52, 56, 60, 65, 69, 73, 78, 82, 86, 91, 95, 100}) {
    expected.push_back("0:{\"percent\":" + std::to_string(value) + "}");
  }
  expected.push_back("2:{\"percent\":50}");
  expected.push_back("2:{\"percent\":100}");
  EXPECT_EQ(sink_.progress, expected);
}

TEST_F(EraseAll, WithoutUserAppsStage2Reports100OnceAndWithoutARestoreTheEraseSaysSo) {
  profile_.AddApp({.bundle_id = "com.apple.system", .type = "System"});
  Attach();
  EXPECT_EQ(Erase(R"({"path":"/b"})"), 2);
  EXPECT_EQ(info_, R"({"error":"restore is not available"})");
  ASSERT_EQ(sink_.progress.size(), 24u);
  EXPECT_EQ(sink_.progress.back(), "2:{\"percent\":100}");
  EXPECT_EQ(Installed(), std::vector<std::string>{"com.apple.system"});
}

TEST_F(EraseAll, AMissingServiceEndsBeforeAnythingIsTouched) {
  profile_.AddFile("DCIM/100APPLE/IMG_0001.JPG", "jpeg").DisableService("com.apple.mobile.installation_proxy");
  Attach();
  EXPECT_EQ(Erase("{}"), 14);
  EXPECT_EQ(info_, R"({"error":"open app uninstall service error"})");
  EXPECT_TRUE(fs::exists(Afc("/DCIM/100APPLE/IMG_0001.JPG")));
  EXPECT_TRUE(sink_.progress.empty());
}

}  // namespace
