// The device-link layer against a fake device behind the channel: the opening conversation, awaiting named
// messages among pings and strangers, the process messages, records, time limits and a stream that fails.
#include "utility/ios/device_link.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "iOSAPI/plist_message.h"

namespace {

using Array = PlistValue::Array;

PlistValue Message(std::initializer_list<PlistValue> items) { return PlistValue::MakeArray(Array(items)); }
PlistValue S(const char* text) { return PlistValue::String(text); }
PlistValue I(int64_t value) { return PlistValue::Integer(value); }

// A device that answers each message the computer sends through `peer`, and can also speak unprompted.
class FakeDevice {
 public:
  using Peer = std::function<void(const PlistValue& sent, FakeDevice& device)>;

  void Say(const PlistValue& message) { Queue(*SerializePlist(message, PlistFormat::kBinary)); }
  void SayXml(const char* xml) { Queue(xml); }
  void Queue(std::string bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    incoming_.push_back(std::move(bytes));
    arrived_.notify_all();
  }
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    arrived_.notify_all();
  }

  Peer peer;
  std::vector<PlistValue> sent;  // what the computer sent, decoded
  std::string raw_sent;

  class Channel : public DeviceLinkChannel {
   public:
    explicit Channel(FakeDevice* device) : device_(device) {}
    bool SendMessage(std::string_view plist) override {
      PlistValue value;
      if (device_->closed_ || !ParseMessage(plist.data(), plist.size(), &value)) return false;
      device_->sent.push_back(value);
      if (device_->peer) device_->peer(value, *device_);
      return true;
    }
    Status ReceiveMessage(std::string* plist, unsigned timeout_ms) override {
      std::unique_lock<std::mutex> lock(device_->mutex_);
      device_->arrived_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                 [this] { return device_->closed_ || !device_->incoming_.empty(); });
      if (!device_->incoming_.empty()) {
        *plist = std::move(device_->incoming_.front());
        device_->incoming_.pop_front();
        return Status::kMessage;
      }
      return device_->closed_ ? Status::kClosed : Status::kTimedOut;
    }
    bool SendBytes(std::string_view bytes) override {
      device_->raw_sent += bytes;
      return !device_->closed_;
    }
    bool ReceiveBytes(char* buffer, size_t length) override {
      std::string bytes;
      if (ReceiveMessage(&bytes, 1000) != Status::kMessage || bytes.size() != length) return false;
      bytes.copy(buffer, length);
      return true;
    }

   private:
    FakeDevice* device_;
  };

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::string> incoming_;
  bool closed_ = false;
};

class DeviceLinkTest : public ::testing::Test {
 protected:
  DeviceLink MakeLink(unsigned timeout_ms = 2000) {
    return DeviceLink(std::make_unique<FakeDevice::Channel>(&device_), timeout_ms);
  }
  FakeDevice device_;
};

TEST_F(DeviceLinkTest, VersionsAreAgreedAndPingsAndStrangersBeforeReadinessAreSkipped) {
  device_.Say(Message({S("DLMessageVersionExchange"), I(300), I(100)}));
  device_.peer = [](const PlistValue& sent, FakeDevice& device) {
    if (sent.array()[0].Bytes() != "DLMessageVersionExchange") return;
    device.Say(Message({S("DLMessagePing"), S("busy")}));
    device.Say(Message({S("SDMessageSomethingElse")}));
    device.Say(Message({S("dlmessagedeviceready")}));
  };
  DeviceLink link = MakeLink();
  DeviceLinkVersion offered;
  ASSERT_EQ(link.ExchangeVersions(300, &offered), DeviceLinkCode::kOk);
  EXPECT_EQ(offered.major, 300);
  EXPECT_EQ(offered.minor, 100);
  ASSERT_EQ(device_.sent.size(), 1u);
  EXPECT_EQ(device_.sent[0], Message({S("DLMessageVersionExchange"), S("DLVersionsOk"), I(300)}));
}

TEST_F(DeviceLinkTest, AFirstMessageWithoutVersionsIsNotJudged) {
  device_.Say(Message({S("SomethingOdd")}));
  device_.peer = [](const PlistValue&, FakeDevice& device) { device.Say(Message({S("DLMessageDeviceReady")})); };
  DeviceLink link = MakeLink();
  DeviceLinkVersion offered{7, 7};
  EXPECT_EQ(link.ExchangeVersions(100, &offered), DeviceLinkCode::kOk);
  EXPECT_EQ(offered.major, 0);
}

TEST_F(DeviceLinkTest, AnAwaitTellsTheNamedMessageFromEverythingElse) {
  DeviceLink link = MakeLink();
  DeviceLinkMessage message;
  // The name may stand anywhere among the top-level strings.
  device_.Say(Message({S("DLMessagePing"), S("x")}));
  device_.Say(Message({S("SDMessageProcessChanges"), S("com.apple.Contacts"), PlistValue::MakeDict()}));
  EXPECT_EQ(link.Await("sdmessageprocesschanges", DeviceLink::Others::kFail, &message), DeviceLinkCode::kOk);
  EXPECT_EQ(message.name, "SDMessageProcessChanges");
  EXPECT_NE(message.FirstDict(), nullptr);

  device_.Say(Message({S("SDMessageRefuseToSyncDataClassWithComputer"), S("com.apple.Contacts"), S("old")}));
  EXPECT_EQ(link.Await("SDMessageSyncDataClassWithComputer"), DeviceLinkCode::kUnexpected);

  device_.Say(Message({S("SDMessageOther")}));
  device_.Say(Message({S("DLMessageDisconnect"), S("bye")}));
  EXPECT_EQ(link.Await("SDMessageDeviceFinishedSession", DeviceLink::Others::kSkip), DeviceLinkCode::kDisconnected);
}

TEST_F(DeviceLinkTest, WhatIsNoMessageEndsTheWait) {
  DeviceLink link = MakeLink();
  device_.Queue("not a property list");
  EXPECT_EQ(link.AcceptOneReply(), DeviceLinkCode::kNotAMessage);
  device_.Say(PlistValue::MakeDict({{"a", I(1)}}));
  EXPECT_EQ(link.Await("a", DeviceLink::Others::kSkip), DeviceLinkCode::kNotAMessage);
  device_.Say(Message({}));
  EXPECT_EQ(link.AcceptOneReply(), DeviceLinkCode::kNotAMessage);
}

TEST_F(DeviceLinkTest, AWaitEndsAtItsLimitEvenWhileStrangersKeepComing) {
  DeviceLink link = MakeLink(100);
  EXPECT_EQ(link.AcceptOneReply(), DeviceLinkCode::kTimedOut);
  std::atomic<bool> stop{false};
  std::thread chatter([&] {
    while (!stop) {
      device_.Say(Message({S("SDMessageOther")}));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  EXPECT_EQ(link.Await("DLMessageDeviceReady", DeviceLink::Others::kSkip, nullptr, 150), DeviceLinkCode::kTimedOut);
  stop = true;
  chatter.join();
}

TEST_F(DeviceLinkTest, AClosedStreamFailsEveryCall) {
  DeviceLink link = MakeLink();
  device_.Close();
  EXPECT_EQ(link.ExchangeVersions(300), DeviceLinkCode::kClosed);
  EXPECT_EQ(link.Ping("x"), DeviceLinkCode::kSendFailed);
  EXPECT_EQ(link.ReceiveRecords([](const DeviceLinkMessage&) { return true; }), DeviceLinkCode::kClosed);
}

TEST_F(DeviceLinkTest, ProcessMessagesCarryTheirDictionaries) {
  device_.peer = [](const PlistValue& sent, FakeDevice& device) {
    const PlistValue* hello = sent.array().size() == 2 ? &sent.array()[1] : nullptr;
    if (hello == nullptr || hello->FindString("MessageName") != "Hello") return;
    device.Say(Message({S("DLMessageProcessMessage"),
                        PlistValue::MakeDict({{"MessageName", S("Response")}, {"ErrorCode", I(0)}})}));
    device.Say(Message({S("DLMessageProcessMessage"), S("no dictionary")}));
  };
  DeviceLink link = MakeLink();
  ASSERT_EQ(link.SendProcessMessage(PlistValue::MakeDict({{"MessageName", S("Hello")}})), DeviceLinkCode::kOk);
  PlistValue response;
  ASSERT_EQ(link.ReceiveProcessMessage(&response), DeviceLinkCode::kOk);
  EXPECT_EQ(response.FindInteger("ErrorCode"), 0);
  EXPECT_EQ(link.ReceiveProcessMessage(&response), DeviceLinkCode::kNotAMessage);
}

TEST_F(DeviceLinkTest, RecordsGoToTheHandlerUntilItHasEnoughAndPingsNeverReachIt) {
  for (int batch = 1; batch <= 3; ++batch) {
    device_.Say(Message({S("SDMessageProcessChanges"), S("com.apple.Contacts"), I(batch)}));
    device_.Say(Message({S("DLMessagePing"), S("still here")}));
  }
  device_.Say(Message({S("SDMessageDeviceReadyToReceiveChanges")}));
  DeviceLink link = MakeLink();
  std::vector<std::string> names;
  auto collect = [&](const DeviceLinkMessage& message) {
    names.push_back(message.name);
    return message.Names("SDMessageProcessChanges");
  };
  EXPECT_EQ(link.ReceiveRecords(collect), DeviceLinkCode::kOk);
  EXPECT_EQ(names.size(), 4u);
  EXPECT_EQ(names.back(), "SDMessageDeviceReadyToReceiveChanges");
}

TEST_F(DeviceLinkTest, TheComputerSaysPingAndGoodbyeAsArraysAndXmlTemplatesGoOutBinary) {
  DeviceLink link = MakeLink();
  EXPECT_EQ(link.Ping("Preparing to get changes for device"), DeviceLinkCode::kOk);
  EXPECT_EQ(link.Disconnect(), DeviceLinkCode::kOk);
  EXPECT_EQ(link.SendXml("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><array>"
                         "<string>SDMessageFinishSessionOnDevice</string><string>com.apple.Notes</string></array>"
                         "</plist>"),
            DeviceLinkCode::kOk);
  EXPECT_EQ(link.SendXml("<plist><array><string>cut"), DeviceLinkCode::kSendFailed);
  ASSERT_EQ(device_.sent.size(), 3u);
  EXPECT_EQ(device_.sent[0], Message({S("DLMessagePing"), S("Preparing to get changes for device")}));
  EXPECT_EQ(device_.sent[1], Message({S("DLMessageDisconnect"), S("All done, thanks for the memories")}));
  EXPECT_EQ(device_.sent[2], Message({S("SDMessageFinishSessionOnDevice"), S("com.apple.Notes")}));
}

}  // namespace
