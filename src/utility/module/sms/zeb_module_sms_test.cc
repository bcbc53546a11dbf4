// The plug-in sub-command's result and ownership. (Which commands the module carries out is the command table's
// row, tested with the front door.)
#include "utility/module/sms/zeb_module_sms.h"

#include <gtest/gtest.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "utility/module/command_table.h"
#include "support/sms/sms_test_databases.h"
#include "support/sms/sms_test_support.h"

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

}  // namespace
