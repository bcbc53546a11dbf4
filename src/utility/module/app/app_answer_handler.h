// The one answer handler of the application module: it reads every answer of the installation proxy and of
// springboard services, for all five commands.
//
// For each received message, in this order:
//   1. It is parsed as a property list; a message that does not parse ends the exchange (nothing after it can be
//      trusted).
//   2. "Error" (the device's failure answer) ends the exchange; the error and its "ErrorDescription" are kept.
//      The device sends no "Status" with it, so waiting for "Complete" would wait for a message that never comes.
//   3. "Status" equal to "Complete" ends the exchange.
//   4. "PercentComplete" goes to the progress sink; the exchange continues.
//   5. "CurrentList" (an array of application dictionaries): each dictionary goes to the list sink; continues.
//   6. "pngData" (data) goes to the icon sink and ends the exchange (an icon request has one answer).
//   7. Anything else: the next message is asked for.
// An exchange made with `single_answer` (icons) ends after its first message whatever it holds.
//
// Thread safety: one exchange on one thread; the sinks run on that thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "iOSAPI/plist_value.h"
#include "utility/ios/zeb_service_messages.h"

struct AnswerSinks {
  std::function<void(const PlistValue& entry)> list_entry{};
  std::function<void(int64_t percent)> progress{};
  std::function<void(const std::string& png)> icon{};
};

class AppAnswerHandler {
 public:
  enum class End { kOpen, kComplete, kDeviceError, kIcon, kUnreadable, kSingleAnswer };

  explicit AppAnswerHandler(AnswerSinks sinks, bool single_answer = false)
      : sinks_(std::move(sinks)), single_answer_(single_answer) {}

  // Handles one message; true asks for the next.
  bool Handle(std::string_view message);
  // This handler as the device layer's receive callback; the handler must outlive the exchange.
  MessageHandler AsMessageHandler() {
    return [this](std::string_view message) { return Handle(message); };
  }

  // How the exchange ended; kOpen while it runs or when the connection ended it first.
  End end() const { return end_; }
  const std::string& error() const { return error_; }
  const std::string& error_description() const { return error_description_; }

 private:
  End Classify(const PlistValue& answer);

  const AnswerSinks sinks_;
  const bool single_answer_;
  End end_ = End::kOpen;
  std::string error_;
  std::string error_description_;
};
