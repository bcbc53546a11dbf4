#include "options.h"

#include <gtest/gtest.h>

namespace corvane_host {
namespace {

TEST(OptionsTest, GlobalOptionsThenSendWithItsOwnOptions) {
  HostOptions o;
  std::string error;
  ASSERT_TRUE(ParseHostArgs({"--pretty", "--param", "type=1", "--param", "port:=\"x\"", "--omit", "pid",
                             "--simulator", "/p", "--timeout", "5", "send", "600", "{\"info\": {}}", "--data", "f",
                             "--marker", "3", "--task-id", "9"},
                            &o, &error))
      << error;
  EXPECT_TRUE(o.pretty);
  EXPECT_EQ(o.params, (std::vector<std::string>{"type=1", "port:=\"x\""}));
  EXPECT_EQ(o.omitted, (std::vector<std::string>{"pid"}));
  EXPECT_EQ(o.simulator_profiles, (std::vector<std::string>{"/p"}));
  EXPECT_EQ(o.timeout_seconds, 5);
  EXPECT_EQ(o.command, "send");
  EXPECT_EQ(o.send.packet_type, 600u);
  EXPECT_EQ(o.send.json, "{\"info\": {}}");
  EXPECT_EQ(o.send.data_file, "f");
  EXPECT_EQ(o.send.marker, "3");
  EXPECT_EQ(o.send.task_id, 9u);
}

TEST(OptionsTest, DeviceSaveProgressAndTheUploadAndDevicesCommands) {
  HostOptions o;
  std::string error;
  ASSERT_TRUE(ParseHostArgs({"-u", "UDID-1", "--save", "out", "--progress", "upload", "a.mov", "/DCIM/Up"}, &o, &error))
      << error;
  EXPECT_EQ(o.udid, "UDID-1");
  EXPECT_EQ(o.save_dir, "out");
  EXPECT_TRUE(o.progress);
  EXPECT_EQ(o.command, "upload");
  EXPECT_EQ(o.upload_local, "a.mov");
  EXPECT_EQ(o.upload_device_dir, "/DCIM/Up");
  HostOptions d;
  ASSERT_TRUE(ParseHostArgs({"--udid", "UDID-2", "devices"}, &d, &error)) << error;
  EXPECT_EQ(d.udid, "UDID-2");
  EXPECT_EQ(d.command, "devices");
}

TEST(OptionsTest, UsageErrorsAreRefused) {
  std::string error;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"--pretty"}, {"--colour", "start"}, {"--timeout", "0", "start"}, {"--timeout"}, {"start", "x"},
           {"stop"}, {"send", "600"}, {"send", "six", "{}"}, {"send", "600", "{}", "--task-id", "-1"},
           {"send", "600", "{}", "--data"}, {"-u"}, {"-x", "start"}, {"upload", "a"}, {"upload", "a", "b", "c"},
           {"devices", "x"}}) {
    HostOptions o;
    EXPECT_FALSE(ParseHostArgs(args, &o, &error)) << "accepted: " << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

TEST(OptionsTest, SessionSendLineFindsTheEndOfJsonWithSpaces) {
  SendRequest r;
  std::string error;
  ASSERT_TRUE(ParseSendLine(R"(  600  {"info": {"a": "b --data c"}}  --data /tmp/x --task-id 12)", &r, &error))
      << error;
  EXPECT_EQ(r.packet_type, 600u);
  EXPECT_EQ(r.json, R"({"info": {"a": "b --data c"}})");
  EXPECT_EQ(r.data_file, "/tmp/x");
  EXPECT_EQ(r.task_id, 12u);
}

TEST(OptionsTest, SessionSendLineSendsBrokenJsonUpToTheFirstOption) {
  SendRequest r;
  std::string error;
  ASSERT_TRUE(ParseSendLine(R"(600 {"info": oops --marker 2)", &r, &error)) << error;
  EXPECT_EQ(r.json, R"({"info": oops)");
  EXPECT_EQ(r.marker, "2");
  EXPECT_FALSE(ParseSendLine("600", &r, &error));
  EXPECT_FALSE(ParseSendLine(R"(600 {} --bogus)", &r, &error));
}

}  // namespace
}  // namespace corvane_host
