// A request to the plug-ins and its reply: the text a plug-in answers with, no answer, and a plug-in that does
// not return in time.
#include "utility/module/plugins/plugin_request.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <future>

namespace {

using namespace std::chrono_literals;

std::promise<void>* g_release = nullptr;

int Answer(BASObserveData* message) {
  std::string reply = "{\"echo\":" + std::string(static_cast<const char*>(message->payload), message->payload_length) +
                      ",\"task\":\"" + message->task_id + "\"}";
  char* output = static_cast<char*>(std::malloc(reply.size() + 1));
  std::memcpy(output, reply.c_str(), reply.size() + 1);
  message->output = output;
  message->result = 1;
  return 1;
}

int Ignore(BASObserveData*) { return 0; }

int Hang(BASObserveData* message) {
  g_release->get_future().wait();
  return Answer(message);
}

class PluginRequest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    self_ = bus_.RegisterSelf("Corvane", &Ignore, {});
    bus_.RegisterSelf("answering", &Answer, {"ASK"});
    bus_.RegisterSelf("silent", &Ignore, {"SILENT"});
    bus_.RegisterSelf("hanging", &Hang, {"HANG"});
  }
  // Plug-ins are never unloaded, and a late answer may come after the test: the bus lives as long.
  static bas::PluginRegistry& bus_;
  static uintptr_t self_;
};

bas::PluginRegistry& PluginRequest::bus_ = *new bas::PluginRegistry();
uintptr_t PluginRequest::self_ = 0;

TEST_F(PluginRequest, TheAnswerIsTheTextThePluginHandsBack) {
  EXPECT_EQ(AskPlugins(bus_, self_, "ASK", "42", "[1]", 10s), std::optional<std::string>("{\"echo\":[1],\"task\":\"42\"}"));
}

TEST_F(PluginRequest, NoSubscriberOrNoOutputIsNoAnswer) {
  EXPECT_EQ(AskPlugins(bus_, self_, "NOBODY", "1", "{}", 10s), std::nullopt);
  EXPECT_EQ(AskPlugins(bus_, self_, "SILENT", "1", "{}", 10s), std::nullopt);
}

TEST_F(PluginRequest, APluginThatDoesNotReturnCostsOnlyTheTimeLimit) {
  // Kept for good: the hanging plug-in may start waiting on it only after the test.
  g_release = new std::promise<void>();
  EXPECT_EQ(AskPlugins(bus_, self_, "HANG", "1", "{}", 50ms), std::nullopt);
  // Its late answer is dropped by the dispatching thread.
  g_release->set_value();
}

}  // namespace
