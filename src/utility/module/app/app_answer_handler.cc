#include "utility/module/app/app_answer_handler.h"

#include <cmath>

#include "iOSAPI/plist_message.h"

bool AppAnswerHandler::Handle(std::string_view message) {
  PlistValue answer;
  if (!ParseMessage(message.data(), message.size(), &answer)) {
    end_ = End::kUnreadable;
    return false;
  }
  end_ = Classify(answer);
  if (end_ == End::kOpen && single_answer_) end_ = End::kSingleAnswer;
  return end_ == End::kOpen;
}

AppAnswerHandler::End AppAnswerHandler::Classify(const PlistValue& answer) {
  if (auto error = answer.FindString("Error")) {
    error_ = *error;
    error_description_ = answer.FindString("ErrorDescription").value_or("");
    return End::kDeviceError;
  }
  if (answer.FindString("Status") == "Complete") return End::kComplete;
  if (const PlistValue* percent = answer.Find("PercentComplete")) {
    if (sinks_.progress && percent->IsInteger()) sinks_.progress(percent->AsInt64());
    if (sinks_.progress && percent->IsReal()) sinks_.progress(std::llround(percent->AsReal()));
    return End::kOpen;
  }
  if (const PlistValue* list = answer.FindArray("CurrentList")) {
    for (const PlistValue& entry : list->array()) {
      if (sinks_.list_entry && entry.IsDict()) sinks_.list_entry(entry);
    }
    return End::kOpen;
  }
  if (const PlistValue* png = answer.Find("pngData"); png != nullptr && png->IsData()) {
    if (sinks_.icon) sinks_.icon(png->Bytes());
    return End::kIcon;
  }
  return End::kOpen;
}
