#include "utility/module/sms/sms_host_stream.h"

namespace {

constexpr int kStageCount = 1;
constexpr int kStageConversation = 2;
constexpr int kStageMessage = 3;

}  // namespace

SmsHostStream::SmsHostStream(std::string uuid, bas::KxTaskPtr task, Send send)
    : task_(std::move(task)), send_(std::move(send)) {
  report_.uuid = std::move(uuid);
  report_.type = 0;
}

bool SmsHostStream::OnCount(size_t conversations) {
  announced_ = conversations;
  report_.info = "{\"Count\":" + std::to_string(conversations) + "}";
  return SendStage(kStageCount, {});
}

bool SmsHostStream::OnConversation(std::string_view json) { return SendStage(kStageConversation, json); }

bool SmsHostStream::OnMessage(std::string_view json) { return SendStage(kStageMessage, json); }

bool SmsHostStream::SendStage(int stage, std::string_view data) {
  if (task_ && task_->GetStatus() == bas::KxTaskStatus::kAborted) return false;
  report_.stage = stage;
  report_.data = data;
  send_(report_);
  report_.data = {};
  return true;
}
