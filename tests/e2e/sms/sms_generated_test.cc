// The messages command through the real process on databases the test builds: the layouts and edge cases, the
// failures that still end in a count of 0 and result 0, order with ties, the command checks, and a stop while the
// stream runs.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "sms/sms_scenario.h"
#include "support/sms/sms_test_databases.h"
#include "support/sms/sms_test_support.h"

namespace e2e {
namespace {

using namespace sms_test;
namespace fs = std::filesystem;

constexpr uint32_t kControl = 600;

ChatMessage Message(int64_t rowid, int64_t handle_id, int64_t date, const std::string& text) {
  ChatMessage message;
  message.rowid = rowid;
  message.handle_id = handle_id;
  message.date = std::to_string(date);
  message.text = text;
  return message;
}

// The conversation reports among `texts`, by key.
std::map<std::string, rapidjson::Document> Conversations(const std::vector<std::string>& texts) {
  std::map<std::string, rapidjson::Document> conversations;
  for (const std::string& text : texts) {
    if (text.rfind("conversation ", 0) != 0) continue;
    rapidjson::Document conversation;
    conversation.Parse(text.c_str() + 13);
    std::string key = conversation["chat_id"].GetString();
    conversations[key] = std::move(conversation);
  }
  return conversations;
}

class SmsGenerated : public SmsScenario {
 protected:
  std::string Create(const std::string& sql) {
    std::string path = Folder("db" + std::to_string(++databases_)) + "/sms.db";
    std::string error;
    EXPECT_TRUE(CreateDatabase(path, sql, &error)) << error;
    return path;
  }
  // Runs the command and checks that the host got exactly what the one-document result holds.
  std::vector<std::string> RunAndCompare(uint64_t task, const std::string& path) {
    std::vector<hostlink::Report> reports = RunQuery(task, path);
    EXPECT_FALSE(reports.empty());
    if (reports.empty()) return {};
    EXPECT_EQ(reports.back().code, 0);
    EXPECT_EQ(reports.back().header_code, 1);
    std::vector<std::string> texts = Texts(reports);
    EXPECT_EQ(texts, Expected(path)) << path;
    return texts;
  }
  bool LogHas(const std::string& text) const {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(corvane_.WorkFolder(), error)) {
      if (entry.path().filename().string().find(".INFO.") == std::string::npos) continue;
      std::ifstream in(entry.path());
      std::stringstream content;
      content << in.rdbuf();
      if (content.str().find(text) != std::string::npos) return true;
    }
    return false;
  }
  int databases_ = 0;
};

TEST_F(SmsGenerated, TheEdgeCasesOfTheChatLayoutReachTheHostAsTheDocumentHasThem) {
  std::string path = Create(
      std::string(kChatLayoutSchema) + InsertChat(1, "+15550100") + InsertChat(2, "chat77") +
      InsertChat(3, "seconds") + InsertChat(4, "nanoseconds") + InsertHandle(1, "+15550100", "us", "SMS") +
      InsertHandle(2, "+15550100", "us", "iMessage") + InsertHandle(3, "+15550300") + JoinChatHandle(1, 1) +
      JoinChatHandle(1, 2) + JoinChatHandle(2, 1) + JoinChatHandle(2, 3) +
      InsertMessageIn(1, Message(1, 1, 608734700000000000, "same address twice")) +
      InsertMessageIn(2, Message(2, 3, 608734710000000000, "to the group")) +
      InsertMessageIn(2, Message(3, 0, 608734720000000000, "mine in the group")) +
      InsertMessageIn(0, Message(4, 3, 608734730000000000, "in no conversation")) +
      InsertMessageIn(3, Message(5, 0, 608734769, "a date in seconds")) +
      InsertMessageIn(4, Message(6, 0, 608734769000000000, "the same instant in nanoseconds")));
  sms_test::FolderState before = sms_test::ReadFolderState(fs::path(path).parent_path());
  std::vector<std::string> texts = RunAndCompare(21, path);
  EXPECT_EQ(sms_test::ReadFolderState(fs::path(path).parent_path()), before);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0], "count 5");
  auto conversations = Conversations(texts);
  ASSERT_EQ(conversations.size(), 5u);
  EXPECT_EQ(conversations[""]["message_count"].GetInt(), 1);
  EXPECT_EQ(conversations["chat77"]["is_group"].GetInt(), 1);
  EXPECT_EQ(conversations["+15550100"]["is_group"].GetInt(), 0);
  EXPECT_EQ(conversations["+15550100"]["handles"].Size(), 2u);
  EXPECT_STREQ(conversations["+15550100"]["display_phone"].GetString(), "+15550100");
  EXPECT_STREQ(conversations["seconds"]["date_str"].GetString(), "2020-04-16 14:59:29");  // summer time in Berlin
  EXPECT_STREQ(conversations["nanoseconds"]["date_str"].GetString(), "2020-04-16 14:59:29");
}

TEST_F(SmsGenerated, TheOldLayoutIsReadAndAnOldLayoutWithMadridChatHasNoConversations) {
  std::string old = Create(std::string(kOldLayoutSchema) + InsertOldMessage(1, "+15550100", 100, "to me") +
                           InsertOldMessage(2, "15550100", 300, "from me", 3) +
                           InsertOldMessage(3, "15550200", 200, "another"));
  std::vector<std::string> texts = RunAndCompare(22, old);
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(texts[0], "count 2");
  EXPECT_EQ(Conversations(texts).count("15550100"), 1u);

  std::string madrid = Create(std::string(kOldLayoutSchema) + "CREATE TABLE madrid_chat (ROWID INTEGER PRIMARY KEY);" +
                              InsertOldMessage(1, "+15550100", 100, "not shown"));
  EXPECT_EQ(RunAndCompare(23, madrid), std::vector<std::string>{"count 0"});
}

TEST_F(SmsGenerated, UnreadableDatabasesEndWithACountOfZeroAndResultZero) {
  std::string missing = Folder("missing") + "/sms.db";
  std::string schema = kChatLayoutSchema;
  schema.erase(schema.find("account_guid TEXT, "), 19);
  std::string unpreparable = Create(schema);
  std::string garbage = Folder("garbage") + "/sms.db";
  std::ofstream(garbage) << std::string(8192, 'x');
  uint64_t task = 30;
  for (const std::string& path : {missing, unpreparable, garbage}) {
    std::vector<hostlink::Report> reports = RunQuery(++task, path);
    ASSERT_EQ(reports.size(), 2u) << path;
    EXPECT_EQ(Texts(reports), std::vector<std::string>{"count 0"});
    EXPECT_EQ(reports[1].code, 0);
    EXPECT_EQ(reports[1].header_code, 1);
  }
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_TRUE(LogHas("QuerySmsDb2:" + missing));
  EXPECT_TRUE(LogHas("OPEN DB: " + missing + " RES: 14"));
  EXPECT_TRUE(LogHas("OPEN STMT: " + unpreparable + " SQL: select c.rowid,c.chat_identifier,m.rowid,"));
  EXPECT_TRUE(LogHas("OPEN STMT SQL: SELECT sql FROM sqlite_master WHERE type=\"table\" AND name ='message' RES: 26"));
}

TEST_F(SmsGenerated, TiesAndUnevenDatesKeepTheOrderOfTheDocument) {
  std::string people = InsertChat(1, "b") + InsertChat(2, "a") + InsertChat(3, "b") + InsertHandle(1, "+15550100") +
                       JoinChatHandle(1, 1) + JoinChatHandle(3, 1);
  std::string ties = std::string(kChatLayoutSchema) + people + InsertMessageIn(1, Message(1, 1, 500, "b1")) +
                     JoinChatMessage(3, 1) + InsertMessageIn(2, Message(2, 1, 500, "a1")) +
                     InsertMessageIn(3, Message(3, 1, 500, "b2")) + InsertMessageIn(2, Message(4, 0, 500, "a2")) +
                     InsertMessageIn(1, Message(5, 1, 400, "b0"));
  ChatMessage late = Message(6, 1, 0, "late");
  late.date = "2.9";
  ChatMessage early = Message(7, 1, 0, "early");
  early.date = "2.1";
  std::string uneven = std::string(kChatLayoutSchema) + people + InsertMessageIn(1, late) + InsertMessageIn(1, early) +
                       InsertMessageIn(2, Message(8, 1, 2, "a"));
  std::vector<std::string> texts = RunAndCompare(41, Create(ties));
  ASSERT_EQ(texts.size(), 9u);
  EXPECT_EQ(texts[1].rfind(R"(conversation {"id":"2","chat_id":"a",)", 0), 0u) << texts[1];
  RunAndCompare(42, Create(uneven));
}

TEST_F(SmsGenerated, UnreadableCommandJsonIs21AndAnotherMarkerGetsNoReport) {
  auto bad = corvane_.Run(51, kSmsQuery, R"({"uuid":)");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->code, 21);
  EXPECT_EQ(bad->header_code, 6);
  std::string path = Create(std::string(kChatLayoutSchema) + InsertChat(1, "a") +
                            InsertMessageIn(1, Message(1, 1, 100, "hi")));
  ASSERT_TRUE(corvane_.host().SendCommand(52, kSmsQuery, Command(path), {}, "2"));
  ASSERT_TRUE(corvane_.host().SendCommand(53, kSmsQuery, Command(path), {}, "0"));
  EXPECT_EQ(RunAndCompare(54, path).size(), 3u);
  EXPECT_TRUE(corvane_.TakeReportsOf(52).empty());
  EXPECT_TRUE(corvane_.TakeReportsOf(53).empty());
}

TEST_F(SmsGenerated, AStopWhileTheStreamRunsEndsTheTaskWithCode6) {
  constexpr int kMessages = 60000;
  std::string path = Create(std::string(kChatLayoutSchema) + SyntheticChatsSql(kMessages, 300));
  ASSERT_TRUE(corvane_.host().SendCommand(61, kSmsQuery, Command(path)));
  auto count = corvane_.host().WaitFor([](const hostlink::Report& r) { return r.task_id == 61 && r.stage == 1; }, 60s);
  ASSERT_TRUE(count);
  EXPECT_EQ(count->info, R"({"Count":300})");
  ASSERT_TRUE(corvane_.host().SendCommand(62, kControl, R"({"info":{"task_id":"61"}})"));
  // Not reading for a while fills the connection, so the stream is still far from its end when the stop lands.
  std::this_thread::sleep_for(1s);
  auto stopped = corvane_.host().WaitFor(hostlink::FinalOf(61, kSmsQuery), 60s);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->code, 6);
  EXPECT_EQ(stopped->header_code, 5);
  auto control = corvane_.host().WaitFor(hostlink::FinalOf(62, kControl), 10s);
  ASSERT_TRUE(control);
  EXPECT_EQ(control->code, 0);
  size_t messages = 0;
  for (const hostlink::Report& report : corvane_.TakeReportsOf(61)) messages += report.stage == 3 ? 1 : 0;
  EXPECT_LT(messages, static_cast<size_t>(kMessages));  // it may even stop before the first one
}

}  // namespace
}  // namespace e2e
