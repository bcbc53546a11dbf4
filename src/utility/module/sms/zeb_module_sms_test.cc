// The module's own rules: which commands it carries out, and the plug-in sub-command's result and ownership.
#include "utility/module/sms/zeb_module_sms.h"

#include <gtest/gtest.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "libbasic/kx_task_package.h"
#include "libbasic/kx_task_pool.h"
#include "libbasic/kx_task_schedular.h"
#include "utility/module/command_table.h"
#include "utility/module/sms/sms_test_databases.h"
#include "utility/module/sms/sms_test_support.h"

namespace {

using namespace sms_test;

ZEBModulePlugins::SubCommandHandler TableHandlerOf(const std::string& name) {
  for (const SubCommandRow& row : SubCommandRows()) {
    if (name == row.name) return row.handler;
  }
  return nullptr;
}

BASObserveData TextMessage(const std::string& text) {
  BASObserveData message{};
  message.payload_kind = kBASPayloadText;
  message.payload = text.data();
  message.payload_length = text.size();
  message.result = 7;
  return message;
}

class SmsSubCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
    folder_ = MakeTempFolder("sms-sub-command");
    path_ = folder_ + "/sms.db";
    std::string error;
    ChatMessage message;
    message.rowid = 1;
    message.date = "100";
    message.text = "hi";
    ASSERT_TRUE(CreateDatabase(path_, std::string(kChatLayoutSchema) + InsertChat(1, "a") + InsertMessageIn(1, message),
                               &error))
        << error;
  }
  void TearDown() override {
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
  }
  std::string folder_, path_;
};

TEST_F(SmsSubCommand, IsInTheTableAndHandsTheCallerADocumentToDelete) {
  auto handler = TableHandlerOf(BAS_SUB_COMMAND_SMS_QUERY_CONVERSATION_LIST);
  ASSERT_NE(handler, nullptr);
  std::string text = R"({"path":")" + path_ + R"("})";
  BASObserveData message = TextMessage(text);
  handler(&message);
  ASSERT_EQ(message.result, 1);
  EXPECT_EQ(message.payload_kind, kBASPayloadJson);
  EXPECT_EQ(message.payload_length, 0u);
  ASSERT_NE(message.payload, static_cast<const void*>(text.data()));
  const auto* document = static_cast<const rapidjson::Document*>(message.payload);
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  document->Accept(writer);
  EXPECT_EQ(std::string(buffer.GetString()).rfind(R"({"path":")" + path_ + R"(","chats":[{"id":"1","chat_id":"a",)", 0),
            0u)
      << buffer.GetString();
  EXPECT_EQ((*document)["chats"][0]["messages"][0]["text"], "hi");
  delete document;  // the caller's to free; a leak or a second owner shows under the sanitizers
}

TEST_F(SmsSubCommand, AFailureAnswersZeroAndLeavesThePayloadToTheCaller) {
  for (const std::string& text : {std::string("{not json"), std::string(R"({"path":")" + folder_ + R"(/none.db"})"),
                                  std::string(R"(["path"])")}) {
    BASObserveData message = TextMessage(text);
    ZEBModuleSms::QueryConversationList(&message);
    EXPECT_EQ(message.result, 0) << text;
    EXPECT_EQ(message.payload, static_cast<const void*>(text.data()));
    EXPECT_EQ(message.payload_kind, kBASPayloadText);
    EXPECT_EQ(message.payload_length, text.size());
  }
  BASObserveData record{};
  record.payload_kind = kBASPayloadRecord;
  BASPayloadRecord payload{};
  record.payload = &payload;
  ZEBModuleSms::QueryConversationList(&record);
  EXPECT_EQ(record.result, 0);
  EXPECT_EQ(record.payload, &payload);
}

TEST(SmsCommandChecks, RunOnlyForALiveTaskOfType201WithMarker1) {
  bas::KxTaskPool pool;
  pool.Activate(1);
  bas::KxTaskSchedular schedular(pool);
  std::mutex mutex;
  std::condition_variable changed;
  bool stopped = false;
  bool checked = false;
  bas::KxTaskPtr task = bas::KxTask::Create();
  task->SetTaskId("77");
  task->SetTaskFunc([&](const bas::KxTaskPtr& running) {
    EXPECT_TRUE(ZEBModuleSms::ShouldRun(running.get(), 201, 1));
    EXPECT_FALSE(ZEBModuleSms::ShouldRun(running.get(), 201, 0));
    EXPECT_FALSE(ZEBModuleSms::ShouldRun(running.get(), 201, 2));
    EXPECT_FALSE(ZEBModuleSms::ShouldRun(running.get(), 202, 1));
    std::unique_lock<std::mutex> lock(mutex);
    checked = true;
    changed.notify_all();
    changed.wait(lock, [&] { return stopped; });
    EXPECT_FALSE(ZEBModuleSms::ShouldRun(running.get(), 201, 1));  // stopped while it ran
  });
  bas::KxTaskPackagePtr package = bas::KxTaskPackage::Create("p77");
  package->AddTask(task);
  bas::KxTaskEventPtr event = bas::KxTaskEvent::Create("e77");
  event->AddPackage(package);
  schedular.PostTaskEvent(event);
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return checked; });
  }
  schedular.StopTask("77");
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopped = true;
    changed.notify_all();
  }
  pool.Stop();
  EXPECT_FALSE(ZEBModuleSms::ShouldRun(nullptr, 201, 1));  // the task is gone
}

std::string CommandPayload(char marker, const std::string& json) { return std::string(1, marker) + '\0' + json; }

TEST(SmsCommand, AnswersUnreadableJsonWith21AndACommandOfNoKnownTaskWithNothing) {
  ZEBModuleSms module;
  bas::IPCPacket packet;
  packet.task_id = 424242;
  packet.type = ZEBModuleSms::kTypeQueryConversations;
  packet.payload = CommandPayload('1', R"({"info":)");
  EXPECT_EQ(module.OnCommand(packet), ZEBModule::kResultBadJson);
  packet.payload = CommandPayload('2', "{");
  EXPECT_EQ(module.OnCommand(packet), ZEBModule::kResultBadJson);  // the text is read before the marker
  packet.payload = CommandPayload('1', R"({"info":{"sms_db_path":"/none"}})");
  EXPECT_EQ(module.OnCommand(packet), ZEBModuleSms::kNoReport);  // no scheduler task has this id
}

}  // namespace
