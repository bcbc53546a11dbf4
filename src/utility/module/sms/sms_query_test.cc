// The messages query on generated databases: both layouts, the edge cases of keys, groups and addresses, failures
// with their log lines, ordering, and the stream matching the one-document result report for report.
#include <glog/logging.h>
#include <gtest/gtest.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>

#include "utility/module/sms/sms_conversations.h"
#include "utility/module/sms/sms_document.h"
#include "utility/module/sms/sms_stream.h"
#include "utility/module/sms/sms_stream_ahead.h"
#include "support/sms/sms_test_databases.h"
#include "support/sms/sms_test_support.h"

namespace {

using namespace sms_test;

// Collects what glog is told while it lives.
class LogCapture : public google::LogSink {
 public:
  LogCapture() { google::AddLogSink(this); }
  ~LogCapture() override { google::RemoveLogSink(this); }
  void send(google::LogSeverity, const char*, const char*, int, const google::LogMessageTime&, const char* message,
            size_t length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(message, length);
  }
  bool Has(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& logged : lines_) {
      if (logged == line) return true;
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

class RecordingSink : public SmsReportSink {
 public:
  explicit RecordingSink(size_t limit = std::numeric_limits<size_t>::max()) : limit_(limit) {}
  bool OnCount(size_t conversations) override { return Add("count " + std::to_string(conversations)); }
  bool OnConversation(std::string_view json) override { return Add("conversation " + std::string(json)); }
  bool OnMessage(std::string_view json) override { return Add("message " + std::string(json)); }
  void OnPause() override { paused_since_last_report = true; }
  std::vector<std::string> reports;
  bool paused_since_last_report = false;

 private:
  bool Add(std::string report) {
    if (reports.size() >= limit_) return false;
    reports.push_back(std::move(report));
    paused_since_last_report = false;
    return true;
  }
  size_t limit_;
};

std::string Compact(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

ChatMessage Message(int64_t rowid, int64_t handle_id, int64_t date, const std::string& text) {
  ChatMessage message;
  message.rowid = rowid;
  message.handle_id = handle_id;
  message.date = std::to_string(date);
  message.text = text;
  return message;
}

class SmsQuery : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
    folder_ = MakeTempFolder("sms-query");
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override {
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
  }

  std::string Create(const std::string& sql) {
    std::string path = folder_ + "/db" + std::to_string(++databases_) + ".db";
    std::string error;
    EXPECT_TRUE(CreateDatabase(path, sql, &error)) << error;
    return path;
  }

  // Runs the one-document query; the document is {"path":path} plus what the query added.
  int Query(const std::string& path, rapidjson::Document* document) {
    document->SetObject();
    document->AddMember("path", rapidjson::Value(path.c_str(), document->GetAllocator()), document->GetAllocator());
    return QuerySmsDocument(document);
  }
  const rapidjson::Value& Chats(const std::string& path) {
    int result = Query(path, &document_);
    EXPECT_EQ(result, 0);
    if (!document_.HasMember("chats")) document_.AddMember("chats", rapidjson::kArrayType, document_.GetAllocator());
    return document_["chats"];
  }
  std::vector<std::string> Stream(const std::string& path, int* result = nullptr) {
    RecordingSink sink;
    int code = StreamSmsDatabase(path, &sink);
    if (result != nullptr) *result = code;
    return sink.reports;
  }
  void ExpectStreamMatchesDocument(const std::string& path) {
    rapidjson::Document document;
    ASSERT_EQ(Query(path, &document), 0);
    std::vector<std::string> expected = ReportsFromDocument(document);
    int result = -2;
    EXPECT_EQ(Stream(path, &result), expected) << path;
    EXPECT_EQ(result, 0);
    for (size_t capacity : {1, 3, 1024}) {  // read ahead on a thread of its own
      RecordingSink sink;
      EXPECT_EQ(StreamSmsDatabaseAhead(path, &sink, capacity), 0);
      EXPECT_EQ(sink.reports, expected) << path << " " << capacity;
      // The sender heard that nothing more was ready after the last report: what it held back went out.
      EXPECT_TRUE(sink.paused_since_last_report) << path << " " << capacity;
    }
  }

  std::string folder_;
  int databases_ = 0;
  rapidjson::Document document_;
};

TEST_F(SmsQuery, EveryColumnOfAChatMessageLandsInItsMember) {
  ChatMessage message = Message(41, 5, 608734769000000000, "hello");
  message.date_read = 608734770;
  message.is_from_me = 1;
  message.is_read = 2;
  message.is_sent = 3;
  message.error = 4;
  message.subject = "subject";
  message.account = "p:+15550199";
  message.account_guid = "GUID-9";
  std::string path = Create(std::string(kChatLayoutSchema) + InsertChat(9, "+15550100") +
                            InsertHandle(5, "+15550100", "gb", "iMessage") + JoinChatHandle(9, 5) +
                            InsertMessageIn(9, message));
  const rapidjson::Value& chats = Chats(path);
  ASSERT_EQ(chats.Size(), 1u);
  EXPECT_EQ(Compact(chats[0]),
            R"({"id":"9","chat_id":"+15550100","snippet":"hello","display_phone":"+15550100","is_group":0,)"
            R"("date":608734769000000000,"date_str":"2020-04-16 12:59:29","handles":[{"id":5,"chat_rowid":9,)"
            R"("chat_id":"+15550100","service":"iMessage","country":"gb","handle_id_phone":"+15550100"}],)"
            R"("message_count":1,"messages":[{"id":41,"chat_id":"+15550100","text":"hello",)"
            R"("date":608734769000000000,"date_str":"2020-04-16 12:59:29","date_read":608734770,)"
            R"("date_read_str":"2020-04-16 12:59:30","is_from_me":1,"is_read":2,"is_sent":3,"error":4,"handle_id":5,)"
            R"("handle_id_phone":"+15550100","subject":"subject","account_guid":"GUID-9","account":"p:+15550199"}]})");
}

TEST_F(SmsQuery, ConversationsAreNewestFirstAndTakeDateAndSnippetFromTheirLastMessage) {
  std::string path = Create(std::string(kChatLayoutSchema) + InsertChat(1, "+15550100") + InsertChat(2, "+15550200") +
                            InsertHandle(1, "+15550100") + InsertHandle(2, "+15550200") + JoinChatHandle(1, 1) +
                            JoinChatHandle(2, 2) + InsertMessageIn(1, Message(1, 1, 300, "third")) +
                            InsertMessageIn(2, Message(2, 2, 200, "second")) +
                            InsertMessageIn(1, Message(3, 1, 100, "first")));
  const rapidjson::Value& chats = Chats(path);
  ASSERT_EQ(chats.Size(), 2u);
  EXPECT_STREQ(chats[0]["chat_id"].GetString(), "+15550100");
  EXPECT_STREQ(chats[0]["snippet"].GetString(), "third");
  EXPECT_EQ(chats[0]["date"].GetInt64(), 300);
  EXPECT_STREQ(chats[0]["date_str"].GetString(), "2001-01-01 00:05:00");
  EXPECT_EQ(chats[0]["message_count"].GetInt(), 2);
  EXPECT_EQ(chats[0]["messages"][0]["id"].GetInt(), 3);  // in date order, not row order
  EXPECT_EQ(chats[0]["messages"][1]["id"].GetInt(), 1);
  EXPECT_STREQ(chats[1]["chat_id"].GetString(), "+15550200");
}

TEST_F(SmsQuery, MessagesWithoutAConversationKeyShareTheConversationWithTheEmptyKey) {
  std::string path = Create(std::string(kChatLayoutSchema) + InsertChat(1, "+15550100") +
                            InsertChatWithoutIdentifier(7) + InsertHandle(1, "+15550100") +
                            InsertHandle(2, "+15550222") + JoinChatHandle(1, 1) +  // handle 2 is in no chat
                            InsertMessageIn(0, Message(1, 2, 100, "no join row")) +
                            InsertMessageIn(7, Message(2, 2, 200, "chat without identifier")) +
                            InsertMessageIn(1, Message(3, 1, 50, "in a chat")));
  const rapidjson::Value& chats = Chats(path);
  ASSERT_EQ(chats.Size(), 2u);
  const rapidjson::Value& unkeyed = chats[0];
  EXPECT_STREQ(unkeyed["chat_id"].GetString(), "");
  EXPECT_STREQ(unkeyed["id"].GetString(), "0");  // made by the message without a join row, which came first
  EXPECT_EQ(unkeyed["message_count"].GetInt(), 2);
  EXPECT_STREQ(unkeyed["snippet"].GetString(), "chat without identifier");
  // A correspondent in no chat has the empty key too, so it belongs to this conversation.
  ASSERT_EQ(unkeyed["handles"].Size(), 1u);
  EXPECT_STREQ(unkeyed["handles"][0]["handle_id_phone"].GetString(), "+15550222");
  EXPECT_EQ(unkeyed["handles"][0]["chat_rowid"].GetInt(), 0);
  EXPECT_STREQ(unkeyed["display_phone"].GetString(), "+15550222");
}

TEST_F(SmsQuery, AConversationWithAMessageOfHandleZeroIsAGroup) {
  std::string path = Create(std::string(kChatLayoutSchema) + InsertChat(1, "chat100") + InsertChat(2, "+15550200") +
                            InsertHandle(1, "+15550100") + InsertHandle(2, "+15550200") + JoinChatHandle(1, 1) +
                            JoinChatHandle(2, 2) + InsertMessageIn(1, Message(1, 1, 100, "from a member")) +
                            InsertMessageIn(1, Message(2, 0, 200, "from me to the group")) +
                            InsertMessageIn(1, Message(3, 1, 300, "from a member again")) +
                            InsertMessageIn(2, Message(4, 2, 50, "one to one")));
  const rapidjson::Value& chats = Chats(path);
  ASSERT_EQ(chats.Size(), 2u);
  EXPECT_STREQ(chats[0]["chat_id"].GetString(), "chat100");
  EXPECT_EQ(chats[0]["is_group"].GetInt(), 1);
  EXPECT_EQ(chats[1]["is_group"].GetInt(), 0);
  EXPECT_STREQ(chats[0]["messages"][1]["handle_id_phone"].GetString(), "");  // handle 0 has no address
}

TEST_F(SmsQuery, TwoCorrespondentsWithOneAddressAreTwoHandlesAndOneDisplayPhone) {
  std::string path = Create(std::string(kChatLayoutSchema) + InsertChat(1, "chat1") +
                            InsertHandle(1, "+15550100", "us", "SMS") + InsertHandle(2, "+15550100", "us", "iMessage") +
                            InsertHandle(3, "0100", "us", "SMS") + JoinChatHandle(1, 1) + JoinChatHandle(1, 2) +
                            JoinChatHandle(1, 3) + InsertMessageIn(1, Message(1, 1, 100, "hi")));
  const rapidjson::Value& chats = Chats(path);
  ASSERT_EQ(chats.Size(), 1u);
  ASSERT_EQ(chats[0]["handles"].Size(), 3u);
  EXPECT_STREQ(chats[0]["handles"][0]["service"].GetString(), "SMS");
  EXPECT_STREQ(chats[0]["handles"][1]["service"].GetString(), "iMessage");
  // "0100" is the tail of the first address but an address of its own.
  EXPECT_STREQ(chats[0]["display_phone"].GetString(), "+15550100,0100");
}

TEST_F(SmsQuery, ANanosecondDateAndASecondDateOfOneInstantHaveOneText) {
  std::string path = Create(std::string(kChatLayoutSchema) + InsertChat(1, "seconds") + InsertChat(2, "nanoseconds") +
                            InsertMessageIn(1, Message(1, 1, 608734769, "old device")) +
                            InsertMessageIn(2, Message(2, 1, 608734769123456789, "new device")));
  const rapidjson::Value& chats = Chats(path);
  ASSERT_EQ(chats.Size(), 2u);
  EXPECT_STREQ(chats[0]["chat_id"].GetString(), "nanoseconds");  // the larger number sorts first
  EXPECT_STREQ(chats[0]["date_str"].GetString(), "2020-04-16 12:59:29");
  EXPECT_STREQ(chats[1]["date_str"].GetString(), "2020-04-16 12:59:29");
  EXPECT_STREQ(chats[1]["messages"][0]["date_str"].GetString(), "2020-04-16 12:59:29");
}

TEST_F(SmsQuery, TheOldLayoutKeysConversationsByTheAddressReadAsANumber) {
  std::string path = Create(std::string(kOldLayoutSchema) +
                            InsertOldMessage(1, "+15550100", 100, "to me", 2, 1, "subject") +
                            InsertOldMessage(2, "15550100", 200, "from me", 3, 0) +
                            InsertOldMessage(3, "someone@example.com", 50, "by mail", 2, 1));
  const rapidjson::Value& chats = Chats(path);
  ASSERT_EQ(chats.Size(), 2u);
  EXPECT_EQ(Compact(chats[0]),
            R"({"id":"15550100","chat_id":"15550100","snippet":"from me","display_phone":"15550100","is_group":0,)"
            R"("date":200,"date_str":"2001-01-01 00:03:20","handles":[],"message_count":2,"messages":[)"
            R"({"id":1,"chat_id":"15550100","text":"to me","date":100,"date_str":"2001-01-01 00:01:40","date_read":0,)"
            R"("date_read_str":"","is_from_me":0,"is_read":1,"is_sent":0,"error":0,"handle_id":0,"handle_id_phone":"",)"
            R"("subject":"subject","account_guid":"","account":""},)"
            R"({"id":2,"chat_id":"15550100","text":"from me","date":200,"date_str":"2001-01-01 00:03:20","date_read":0,)"
            R"("date_read_str":"","is_from_me":1,"is_read":0,"is_sent":0,"error":0,"handle_id":0,"handle_id_phone":"",)"
            R"("subject":"","account_guid":"","account":""}]})");
  EXPECT_STREQ(chats[1]["chat_id"].GetString(), "0");  // an address that is no number
}

TEST_F(SmsQuery, DatabasesWithoutAReadableLayoutHaveNoConversations) {
  std::string madrid = Create(std::string(kOldLayoutSchema) + "CREATE TABLE madrid_chat (ROWID INTEGER PRIMARY KEY);" +
                              InsertOldMessage(1, "+15550100", 100, "hidden"));
  std::string no_messages = Create("CREATE TABLE notes (ROWID INTEGER PRIMARY KEY);");
  for (const std::string& path : {madrid, no_messages}) {
    EXPECT_EQ(Chats(path).Size(), 0u) << path;
    int result = -2;
    EXPECT_EQ(Stream(path, &result), std::vector<std::string>{"count 0"});
    EXPECT_EQ(result, 0);
  }
}

TEST_F(SmsQuery, ADatabaseThatCannotBeOpenedIs19AndLogged) {
  LogCapture log;
  std::string path = folder_ + "/missing/sms.db";
  rapidjson::Document document;
  EXPECT_EQ(Query(path, &document), kSmsCannotOpen);
  EXPECT_FALSE(document.HasMember("chats"));
  EXPECT_TRUE(log.Has("QuerySmsDb2:" + path));
  EXPECT_TRUE(log.Has("OPEN DB: " + path + " RES: 14"));
  int result = -2;
  EXPECT_EQ(Stream(path, &result), std::vector<std::string>{"count 0"});
  EXPECT_EQ(result, kSmsCannotOpen);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/missing"));
}

TEST_F(SmsQuery, AFileThatIsNoDatabaseFailsItsFirstTableProbe) {
  LogCapture log;
  std::string path = folder_ + "/garbage.db";
  std::ofstream(path) << std::string(4096, 'x');
  rapidjson::Document document;
  EXPECT_EQ(Query(path, &document), kSmsBadStatement);
  EXPECT_TRUE(log.Has("OPEN STMT SQL: SELECT sql FROM sqlite_master WHERE type=\"table\" AND name ='message' RES: 26"));
}

TEST_F(SmsQuery, AStatementThatCannotBePreparedIs20AndLoggedWithTheStatementAsWritten) {
  std::string schema = kChatLayoutSchema;
  schema.erase(schema.find("account_guid TEXT, "), 19);
  std::string path = Create(schema + InsertChat(1, "chat1"));
  LogCapture log;
  rapidjson::Document document;
  EXPECT_EQ(Query(path, &document), kSmsBadStatement);
  EXPECT_FALSE(document.HasMember("chats"));
  EXPECT_TRUE(log.Has(
      "OPEN STMT: " + path +
      " SQL: select c.rowid,c.chat_identifier,m.rowid,m.text,m.date_read,m.date,m.is_read,m.is_from_me,m.is_sent,"
      "m.error,m.handle_id,h.id,m.subject,m.account,m.account_guid from message m left join chat_message_join cmj on  "
      "m.rowid = cmj.message_id left join  chat c on  cmj.chat_id = c.rowid left join handle h on m.handle_id = "
      "h.rowid order by m.date RES: 1"));
  int result = -2;
  EXPECT_EQ(Stream(path, &result), std::vector<std::string>{"count 0"});
  EXPECT_EQ(result, kSmsBadStatement);
}

TEST_F(SmsQuery, ConversationsWithEqualDatesComeInKeyOrderAndEqualMessagesInRowOrder) {
  std::string path = Create(std::string(kChatLayoutSchema) + InsertChat(1, "b") + InsertChat(2, "a") +
                            InsertChat(3, "c") + InsertMessageIn(3, Message(1, 1, 500, "c")) +
                            InsertMessageIn(1, Message(2, 1, 500, "b")) + InsertMessageIn(2, Message(3, 1, 500, "a2")) +
                            InsertMessageIn(2, Message(4, 1, 500, "a1")));
  const rapidjson::Value& chats = Chats(path);
  ASSERT_EQ(chats.Size(), 3u);
  EXPECT_STREQ(chats[0]["chat_id"].GetString(), "a");
  EXPECT_STREQ(chats[1]["chat_id"].GetString(), "b");
  EXPECT_STREQ(chats[2]["chat_id"].GetString(), "c");
  EXPECT_EQ(chats[0]["messages"][0]["id"].GetInt(), 3);
  EXPECT_STREQ(chats[0]["snippet"].GetString(), "a1");
}

TEST_F(SmsQuery, TheStreamIsTheDocumentReportForReport) {
  const std::string people = InsertChat(1, "+15550100") + InsertChat(2, "+15550200") + InsertChat(3, "+15550100") +
                             InsertChat(4, "group") + InsertHandle(1, "+15550100") +
                             InsertHandle(2, "+15550100", "us", "iMessage") + InsertHandle(3, "+15550200") +
                             JoinChatHandle(1, 1) + JoinChatHandle(3, 2) + JoinChatHandle(2, 3) +
                             JoinChatHandle(4, 1) + JoinChatHandle(4, 3);
  // Equal dates across and within conversations, a message in two chats with one identifier (two equal rows), a
  // message in two conversations, one in none, and a group.
  std::string ties = std::string(kChatLayoutSchema) + people + InsertMessageIn(1, Message(1, 1, 700, "a")) +
                     JoinChatMessage(3, 1) + InsertMessageIn(2, Message(2, 3, 700, "b")) + JoinChatMessage(4, 2) +
                     InsertMessageIn(3, Message(3, 2, 700, "c")) + InsertMessageIn(0, Message(4, 1, 700, "d")) +
                     InsertMessageIn(4, Message(5, 0, 650, "e")) + InsertMessageIn(1, Message(6, 1, 100, "f")) +
                     InsertMessageIn(4, Message(7, 3, 700, "g"));
  // Dates that differ below a whole unit, or are texts, come back in an order the second pass cannot rebuild, so
  // these are streamed from memory; the reports must not show it.
  ChatMessage later = Message(10, 1, 0, "later");
  later.date = "1.7";
  ChatMessage earlier = Message(11, 1, 0, "earlier");
  earlier.date = "1.2";
  ChatMessage text_date = Message(12, 1, 0, "text date");
  text_date.date = "'soon'";
  std::string fractions = std::string(kChatLayoutSchema) + people + InsertMessageIn(1, later) +
                          InsertMessageIn(1, earlier) + InsertMessageIn(2, text_date) +
                          InsertMessageIn(2, Message(13, 3, 5, "plain"));
  std::string old = std::string(kOldLayoutSchema) + InsertOldMessage(5, "+15550100", 300, "x") +
                    InsertOldMessage(4, "15550100", 300, "y") + InsertOldMessage(3, "15550200", 300, "z") +
                    InsertOldMessage(2, "15550200", 100, "w", 3);
  // Without an index on chat_message_join.chat_id the messages cannot be read again conversation by conversation.
  std::string unindexed_schema = kChatLayoutSchema;
  const std::string primary_key = ",\n  PRIMARY KEY (chat_id, message_id)";
  unindexed_schema.erase(unindexed_schema.find(primary_key), primary_key.size());
  std::string unindexed = unindexed_schema + ties.substr(std::string(kChatLayoutSchema).size());
  // Rows with the empty key of every kind: no join row, a join row to a chat that is gone, chats whose identifier
  // is NULL or empty.
  std::string unkeyed = std::string(kChatLayoutSchema) + people + InsertChatWithoutIdentifier(5) + InsertChat(6, "") +
                        InsertMessageIn(0, Message(20, 1, 300, "none")) + InsertMessageIn(99, Message(21, 1, 100, "gone")) +
                        InsertMessageIn(5, Message(22, 0, 200, "null")) + InsertMessageIn(6, Message(23, 3, 300, "empty")) +
                        InsertMessageIn(1, Message(24, 1, 250, "keyed"));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {ties, "conversation by conversation"}, {unkeyed, "conversation by conversation"},
      {unindexed, "sorted by conversation"},  {old, "sorted by conversation"},
      {fractions, "into memory"}};
  for (const auto& [sql, way] : cases) {
    std::string path = Create(sql);
    LogCapture log;
    ExpectStreamMatchesDocument(path);
    // Every way of streaming is covered: by conversation, by one sorting statement, and from memory.
    std::string logged = way == "into memory"
                             ? "Messages of " + path + " are not in order of date and row id; reading them into memory"
                             : "Messages of " + path + " are read again " + way;
    EXPECT_TRUE(log.Has(logged)) << logged;
  }
}

TEST_F(SmsQuery, ASinkThatStopsEndsTheReadingAheadToo) {
  std::string path = Create(std::string(kChatLayoutSchema) + SyntheticChatsSql(3000, 30));
  for (size_t limit : {size_t{0}, size_t{1}, size_t{500}}) {
    RecordingSink sink(limit);
    EXPECT_EQ(StreamSmsDatabaseAhead(path, &sink, /*capacity=*/16), kSmsStopped);  // returns: the reader was let go
    EXPECT_EQ(sink.reports.size(), limit);
  }
  std::string missing = folder_ + "/missing.db";
  RecordingSink sink;
  EXPECT_EQ(StreamSmsDatabaseAhead(missing, &sink), kSmsCannotOpen);
  EXPECT_EQ(sink.reports, std::vector<std::string>{"count 0"});
}

TEST_F(SmsQuery, ASinkThatStopsEndsTheStream) {
  std::string path = Create(std::string(kChatLayoutSchema) + InsertChat(1, "a") +
                            InsertMessageIn(1, Message(1, 1, 1, "one")) + InsertMessageIn(1, Message(2, 1, 2, "two")));
  RecordingSink sink(/*limit=*/2);
  EXPECT_EQ(StreamSmsDatabase(path, &sink), kSmsStopped);
  ASSERT_EQ(sink.reports.size(), 2u);
  EXPECT_EQ(sink.reports[0], "count 1");
}

}  // namespace
