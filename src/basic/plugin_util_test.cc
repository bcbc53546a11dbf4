#include "basic/plugin_util.h"

#include <gtest/gtest.h>

namespace bas {
namespace {

TEST(PluginVersions, GreatestVersionIsTriedFirst) {
  EXPECT_EQ(PluginRegistry::OrderVersions({"p/1.0", "p/1.2", "p/1.1"}),
            (std::vector<std::string>{"p/1.2", "p/1.0", "p/1.1"}));
  EXPECT_EQ(PluginRegistry::OrderVersions({"p/2.0", "p/10.0"}).front(), "p/10.0");
  EXPECT_TRUE(PluginRegistry::OrderVersions({}).empty());
}

}  // namespace
}  // namespace bas

namespace bas {
namespace {

std::vector<std::string>* g_calls = nullptr;

template <int N>
int Receiver(BASObserveData* message) {
  g_calls->push_back(std::to_string(N) + ":" + message->message_name);
  return N;
}

class BusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = &calls_;
    one_ = registry_.RegisterSelf("one", &Receiver<1>, {"A", "B"});
    two_ = registry_.RegisterSelf("two", &Receiver<2>, {"A"});
    three_ = registry_.RegisterSelf("three", &Receiver<3>, {"A", "B"});
  }
  BASObserveData Message(const char* name, uintptr_t sender, uintptr_t target) {
    BASObserveData message{};
    message.message_name = name;
    message.sender_id = sender;
    message.target_id = target;
    return message;
  }

  PluginRegistry registry_;
  std::vector<std::string> calls_;
  uintptr_t one_ = 0, two_ = 0, three_ = 0;
};

TEST_F(BusTest, BroadcastReachesEverySubscriberButTheSenderInOrder) {
  BASObserveData message = Message("A", two_, 0);
  EXPECT_EQ(registry_.Dispatch(&message), 3);
  EXPECT_EQ(calls_, (std::vector<std::string>{"1:A", "3:A"}));
}

TEST_F(BusTest, TargetedMessageReachesOnlyItsTarget) {
  BASObserveData message = Message("A", one_, three_);
  EXPECT_EQ(registry_.Dispatch(&message), 3);
  EXPECT_EQ(calls_, (std::vector<std::string>{"3:A"}));
}

TEST_F(BusTest, MessagesWithoutSenderOrSubscriberGoNowhere) {
  BASObserveData anonymous = Message("A", 0, 0);
  BASObserveData unknown = Message("C", one_, 0);
  EXPECT_EQ(registry_.Dispatch(&anonymous), 0);
  EXPECT_EQ(registry_.Dispatch(&unknown), 0);
  EXPECT_TRUE(calls_.empty());
  EXPECT_TRUE(registry_.Contains("two"));
  EXPECT_FALSE(registry_.Contains("four"));
}

}  // namespace
}  // namespace bas
