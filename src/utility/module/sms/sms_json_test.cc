#include "utility/module/sms/sms_json.h"

#include <gtest/gtest.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdlib>
#include <ctime>

namespace {

std::string Compact(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

class SmsJson : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
    message_.rowid = 7;
    message_.text = std::string("say \"hi\"\n\xC3\xA9t\xC3\xA9\0!", 16);
    message_.date = 608734769000000000;
    message_.date_read = 608734770;
    message_.is_from_me = 1;
    message_.is_read = 1;
    message_.is_sent = 1;
    message_.error = 4;
    message_.handle_id = 3;
    message_.address = "+15550100";
    message_.subject = "Re";
    message_.account = "p:+15550199";
    message_.account_guid = "GUID-1";

    conversation_.rowid = 12;
    conversation_.key = "+15550100";
    conversation_.is_group = 1;
    conversation_.date = message_.date;
    conversation_.snippet = "last";
    conversation_.display_phone = "+15550100,+15550101,";
    conversation_.correspondents.push_back({3, 12, "SMS", "us", "+15550100"});
    conversation_.correspondents.push_back({4, 12, "iMessage", "", "+15550101"});
    conversation_.message_count = 1;
    conversation_.messages.push_back(message_);
  }

  SmsMessage message_;
  SmsConversation conversation_;
};

const char kMessageText[] =
    R"({"id":7,"chat_id":"+15550100","text":"say \"hi\"\n)" "\xC3\xA9t\xC3\xA9" R"(\u0000!","date":608734769000000000,)"
    R"("date_str":"2020-04-16 12:59:29","date_read":608734770,"date_read_str":"2020-04-16 12:59:30","is_from_me":1,)"
    R"("is_read":1,"is_sent":1,"error":4,"handle_id":3,"handle_id_phone":"+15550100","subject":"Re",)"
    R"("account_guid":"GUID-1","account":"p:+15550199"})";

const char kConversationText[] =
    R"({"id":"12","chat_id":"+15550100","snippet":"last","display_phone":"+15550100,+15550101","is_group":1,)"
    R"("date":608734769000000000,"date_str":"2020-04-16 12:59:29","handles":[)"
    R"({"id":3,"chat_rowid":12,"chat_id":"+15550100","service":"SMS","country":"us","handle_id_phone":"+15550100"},)"
    R"({"id":4,"chat_rowid":12,"chat_id":"+15550100","service":"iMessage","country":"","handle_id_phone":"+15550101"}],)"
    R"("message_count":1})";

TEST_F(SmsJson, AMessageHasItsMembersInTheHostsOrder) {
  EXPECT_EQ(SmsMessageJson(conversation_.key, message_), kMessageText);
}

TEST_F(SmsJson, AConversationReportHasItsMembersInTheHostsOrderAndNoMessages) {
  EXPECT_EQ(SmsConversationJson(conversation_), kConversationText);
}

TEST_F(SmsJson, TheDocumentHoldsTheSameObjectsWithTheMessagesInline) {
  rapidjson::Document document;
  document.Parse(R"({"path":"/x/sms.db"})");
  AddSmsChats({conversation_, conversation_}, &document);
  std::string chat = std::string(kConversationText, sizeof kConversationText - 2) + R"(,"messages":[)" +
                     kMessageText + "]}";
  EXPECT_EQ(Compact(document), R"({"path":"/x/sms.db","chats":[)" + chat + "," + chat + "]}");
}

TEST_F(SmsJson, AConversationWithoutCorrespondentsOrAddressHasEmptyOnes) {
  SmsConversation bare;
  EXPECT_EQ(SmsConversationJson(bare),
            R"({"id":"0","chat_id":"","snippet":"","display_phone":"","is_group":0,"date":0,"date_str":"",)"
            R"("handles":[],"message_count":0})");
}

TEST(SmsDisplayPhone, AddsEachAddressOnceAndTellsAddressesApartFromTheirParts) {
  std::string display;
  AddDisplayAddress("+15550100", &display);
  AddDisplayAddress("+15550100", &display);
  AddDisplayAddress("0100", &display);       // inside the first, but another address
  AddDisplayAddress("+1555010", &display);   // a prefix of the first
  AddDisplayAddress("", &display);           // no phone to show
  AddDisplayAddress("0100", &display);
  EXPECT_EQ(display, "+15550100,0100,+1555010,");
}

}  // namespace
