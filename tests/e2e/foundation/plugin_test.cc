// Plug-ins through the real process: loading from manifests, the bus round trip, and stopping a waiting task.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "harness/corvane_harness.h"
#include "harness/plugin_folder.h"
#include "hostlink/zlib_codec.h"

namespace e2e {
namespace {

constexpr uint32_t kPlugin = 1800;
constexpr uint32_t kControl = 600;

class Plugins : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string folder = corvane_.temp_dir() + "/plugins/TestPlugin";
    ASSERT_TRUE(AddPluginVersion(folder, "1.0"));
    ASSERT_TRUE(AddPluginVersion(folder, "1.2", /*valid_manifest=*/false));  // tried first, then skipped
    ASSERT_TRUE(AddPluginVersion(folder, "1.1"));
    corvane_.params().load_modules = {folder + "/", folder};  // the second load of the same folder does nothing
    ASSERT_TRUE(corvane_.Start());
    ASSERT_TRUE(corvane_.WaitForType(19));
  }
  CorvaneHarness corvane_;
};

TEST_F(Plugins, ARecordCommandComesBackAsAProgressReportOnTheArrivingConnection) {
  ASSERT_TRUE(corvane_.host().SendCommand(
      31, kPlugin, R"({"type":1,"info":{"sub_command_type":"TEST_ECHO","x":[1,2]}})", std::string("raw\0bytes", 9)));
  auto result = corvane_.host().WaitFor([](const hostlink::Report& r) { return r.task_id == 31; }, 10s);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->packet_type, kPlugin);
  EXPECT_EQ(result->header_code, 2);
  EXPECT_EQ(result->stage, 2);
  EXPECT_EQ(result->type, 1);
  EXPECT_EQ(result->info, R"({"sub_command_type":"TEST_ECHO","x":[1,2]})");
  EXPECT_EQ(result->data, std::string("raw\0bytes", 9));
  EXPECT_FALSE(result->data_was_compressed);
}

TEST_F(Plugins, ACompressedTextCommandComesBackCompressed) {
  ASSERT_TRUE(corvane_.host().SendCommand(32, kPlugin, R"({"type":0,"info":{"sub_command_type":"TEST_TEXT"}})",
                                          hostlink::ZlibDeflate("hello plug-in")));
  auto result = corvane_.host().WaitFor([](const hostlink::Report& r) { return r.task_id == 32; }, 10s);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->type, 0);
  EXPECT_TRUE(result->data_was_compressed);
  EXPECT_EQ(result->data, "echo:hello plug-in");
  EXPECT_FALSE(result->has_info);
}

TEST_F(Plugins, APluginCanAskForTheProcessFolder) {
  ASSERT_TRUE(corvane_.host().SendCommand(33, kPlugin, R"({"type":0,"info":{"sub_command_type":"TEST_TEMP_DIR"}})"));
  auto result = corvane_.host().WaitFor([](const hostlink::Report& r) { return r.task_id == 33; }, 10s);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->data, corvane_.ProcessFolder() + "/");
  EXPECT_TRUE(std::filesystem::is_directory(corvane_.ProcessFolder()));
}

TEST_F(Plugins, StoppingAWaitingPluginTaskEndsItWithCode6AndHeaderCode5) {
  ASSERT_TRUE(corvane_.host().SendCommand(34, kPlugin, R"({"type":1,"info":{"sub_command_type":"TEST_SILENT"}})"));
  auto stop = corvane_.Run(35, kControl, R"({"info":{"task_id":"34"}})");
  ASSERT_TRUE(stop);
  EXPECT_EQ(stop->code, 0);
  auto ended = corvane_.host().WaitFor(hostlink::FinalOf(34, kPlugin), 10s);
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->code, 6);
  EXPECT_EQ(ended->header_code, 5);
  // Later packets of the stopped task are dropped.
  ASSERT_TRUE(corvane_.host().SendCommand(34, kPlugin, R"({"type":1,"info":{"sub_command_type":"TEST_ECHO"}})"));
  ASSERT_TRUE(corvane_.Run(36, kControl, R"({"info":{"task_id":"1"}})"));
  EXPECT_TRUE(corvane_.TakeReportsOf(34).empty());
}

TEST_F(Plugins, PluginCommandWithUnreadableJsonIsCode21) {
  auto result = corvane_.Run(37, kPlugin, "[");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->code, 21);
  EXPECT_EQ(result->header_code, 6);
}

}  // namespace
}  // namespace e2e
