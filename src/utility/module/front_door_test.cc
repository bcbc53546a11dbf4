// The command front door: the generic answers each command table row asks for, and the one final report.
#include "utility/module/front_door.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "utility/module/zeb_module.h"
#include "utility/task_meta_data.h"

namespace {

struct SentReport {
  bas::IPCPacketHeader header;
  std::string text;
};

class RecordingSink : public ZEBReportSink {
 public:
  int SendReportToHost(const bas::IPCPacketHeader& header, const TaskReport& report) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sent.push_back({header, BuildReportText(report)});
    return 0;
  }
  bool SendReportOnSocket(int, const bas::IPCPacketHeader& header, const TaskReport& report) override {
    return SendReportToHost(header, report) == 0;
  }
  int SendPacketsToHost(std::string_view packets) override {
    std::lock_guard<std::mutex> lock(mutex_);
    encoded.append(packets);
    return 0;
  }
  std::vector<SentReport> sent;
  std::string encoded;

 private:
  std::mutex mutex_;
};

// Answers with whatever the test sets, and counts its calls.
class ScriptedModule : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override {
    ++calls;
    command.result_info = info;
    if (code == ZEBCommand::kContinue) command.Continue(release);
    return code;
  }
  int code = 0;
  std::string info;
  std::function<void()> release;
  int calls = 0;
};

std::string Payload(char marker, const std::string& json) { return std::string(1, marker) + '\0' + json + '\0'; }

bas::KxTaskPtr NewTask(uint32_t type) {
  bas::KxTaskPtr task = bas::KxTask::Create();
  task->SetTaskId("31");
  task->SetTaskData(std::make_shared<TaskMetaData>(type, -1));
  return task;
}

class FrontDoorTest : public ::testing::Test {
 protected:
  void Run(const CommandPolicy& policy, char marker, const std::string& json, const bas::KxTaskPtr& task = nullptr) {
    auto packet = std::make_shared<bas::IPCPacket>();
    packet->task_id = 31;
    packet->type = 4242;
    packet->payload = Payload(marker, json);
    front_door::Dispatch(CommandEntry{&module, policy}, packet, task ? task : NewTask(4242), sink);
  }
  std::string Text(size_t i) const { return sink.sent.at(i).text.substr(2, sink.sent.at(i).text.size() - 3); }

  RecordingSink sink;
  ScriptedModule module;
};

TEST_F(FrontDoorTest, UnreadableJsonIsAnsweredWithTheRowsCodeBeforeAnyMarkerRule) {
  Run(CommandPolicy{}, '1', R"({"info":)");
  Run(CommandPolicy{.marker = MarkerRule::kOneElseSilent}, '2', "{");
  Run(CommandPolicy{.bad_json_code = 8}, '1', "[1]");  // JSON, but not an object
  ASSERT_EQ(sink.sent.size(), 3u);
  EXPECT_EQ(Text(0), R"({"stage":0,"code":21,"uuid":"","type":0})");
  EXPECT_EQ(sink.sent[0].header.code, 6);
  EXPECT_EQ(sink.sent[0].header.task_id, 31u);
  EXPECT_EQ(sink.sent[0].header.type, 4242u);
  EXPECT_EQ(Text(1), R"({"stage":0,"code":21,"uuid":"","type":0})");
  EXPECT_EQ(Text(2), R"({"stage":0,"code":8,"uuid":"","type":0})");
  EXPECT_EQ(module.calls, 0);
}

TEST_F(FrontDoorTest, MarkerRulesEndTheCommandWithSuccessOrWithNothing) {
  Run(CommandPolicy{.marker = MarkerRule::kOneElseSuccess}, '2', "not even JSON");
  ASSERT_EQ(sink.sent.size(), 1u);
  EXPECT_EQ(Text(0), R"({"stage":0,"code":0,"uuid":"","type":0})");
  EXPECT_EQ(sink.sent[0].header.code, 1);
  Run(CommandPolicy{.marker = MarkerRule::kOneElseSilent}, '0', R"({"uuid":"x"})");
  EXPECT_EQ(sink.sent.size(), 1u);
  EXPECT_EQ(module.calls, 0);
  Run(CommandPolicy{.marker = MarkerRule::kIgnored}, '7', "{}");
  EXPECT_EQ(module.calls, 1);
}

TEST_F(FrontDoorTest, AMissingDeviceEndsTheCommandUnlessTheRowTakesItAsOptional) {
  Run(CommandPolicy{.device = DeviceRule::kRequired}, '1', R"({"uuid":"no-such-device"})");
  Run(CommandPolicy{.device = DeviceRule::kRequiredByUuidOrNumber, .no_device_code = 12}, '1', R"({"code":5})");
  ASSERT_EQ(sink.sent.size(), 2u);
  EXPECT_EQ(Text(0), R"({"stage":0,"code":7,"uuid":"no-such-device","type":0})");
  EXPECT_EQ(Text(1), R"({"stage":0,"code":12,"uuid":"","type":0})");
  EXPECT_EQ(module.calls, 0);
  Run(CommandPolicy{.device = DeviceRule::kOptional}, '1', R"({"uuid":"no-such-device"})");
  EXPECT_EQ(module.calls, 1);
}

TEST_F(FrontDoorTest, TheHandlersCodeAndInfoMakeTheOneFinalReport) {
  module.code = 13;
  module.info = R"({"path":"/a"})";
  Run(CommandPolicy{}, '1', R"({"uuid":"u1"})");
  module.code = ZEBCommand::kNoReport;
  Run(CommandPolicy{}, '1', R"({"uuid":"u1"})");
  ASSERT_EQ(sink.sent.size(), 1u);
  EXPECT_EQ(Text(0), R"({"stage":0,"code":13,"uuid":"u1","type":0,"info":{"path":"/a"}})");
  EXPECT_EQ(sink.sent[0].header.code, 6);
}

TEST_F(FrontDoorTest, AContinuingTaskThatEndsGetsCode6OnceAfterItsRelease) {
  bas::KxTaskPtr task = NewTask(4242);
  std::vector<std::string> order;
  module.code = ZEBCommand::kContinue;
  module.release = [&] { order.push_back("released with " + std::to_string(sink.sent.size()) + " sent"); };
  Run(CommandPolicy{.device = DeviceRule::kOptional}, '1', R"({"uuid":"u2"})", task);
  EXPECT_TRUE(sink.sent.empty());
  front_door::OnTaskEnded(task, sink);
  front_door::OnTaskEnded(task, sink);  // a second end (a race with a stop) sends nothing more
  ASSERT_EQ(sink.sent.size(), 1u);
  EXPECT_EQ(Text(0), R"({"stage":0,"code":6,"uuid":"u2","type":0})");
  EXPECT_EQ(sink.sent[0].header.code, 5);
  EXPECT_EQ(order, std::vector<std::string>{"released with 0 sent"});
}

TEST_F(FrontDoorTest, APacketThatReachesAStoppedTaskAnswers6OnlyWhileTheCommandOwesAnAnswer) {
  bas::KxTaskPtr task = NewTask(4242);
  task->NotifySchedular(bas::KxTaskStatus::kAborted);
  Run(CommandPolicy{}, '1', "{}", task);
  Run(CommandPolicy{}, '1', "{}", task);
  ASSERT_EQ(sink.sent.size(), 1u);
  EXPECT_EQ(Text(0), R"({"stage":0,"code":6,"uuid":"","type":0})");
  EXPECT_EQ(module.calls, 0);
}

TEST_F(FrontDoorTest, AFailedTransferGivesItsTaskUpWhenTheRowSaysSo) {
  module.code = 15;
  bas::KxTaskPtr kept = NewTask(4242);
  Run(CommandPolicy{}, '1', "{}", kept);
  EXPECT_NE(kept->GetStatus(), bas::KxTaskStatus::kAborted);
  bas::KxTaskPtr given_up = NewTask(4242);
  Run(CommandPolicy{.give_up_on_failure = true}, '1', "{}", given_up);
  EXPECT_EQ(given_up->GetStatus(), bas::KxTaskStatus::kAborted);
}

}  // namespace
