#include "utility/module/sms/sms_host_stream.h"

namespace {

constexpr int kStageCount = 1;
constexpr int kStageConversation = 2;
constexpr int kStageMessage = 3;

}  // namespace

SmsHostStream::SmsHostStream(std::string uuid, bas::KxTaskPtr task, const bas::IPCPacketHeader& header,
                             ReportBatch* batch)
    : task_(std::move(task)), header_(header), batch_(batch) {
  report_.uuid = std::move(uuid);
  report_.type = 0;
  // A message of a few hundred bytes deflates by a sixth at most, for about a third of the CPU its report costs.
  report_.store_data = true;
}

bool SmsHostStream::OnCount(size_t conversations) {
  announced_ = conversations;
  report_.info = "{\"Count\":" + std::to_string(conversations) + "}";
  report_.info_is_json = true;
  return SendStage(kStageCount, {});
}

bool SmsHostStream::OnConversation(std::string_view json) { return SendStage(kStageConversation, json); }

bool SmsHostStream::OnMessage(std::string_view json) { return SendStage(kStageMessage, json); }

void SmsHostStream::OnPause() { batch_->Flush(); }

bool SmsHostStream::SendStage(int stage, std::string_view data) {
  if (task_ && task_->GetStatus() == bas::KxTaskStatus::kAborted) return false;
  report_.stage = stage;
  report_.data = data;
  batch_->Add(header_, report_);
  report_.data = {};
  return true;
}
