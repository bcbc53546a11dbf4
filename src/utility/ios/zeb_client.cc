#include "utility/ios/zeb_client.h"

#include <glog/logging.h>

#include <chrono>
#include <thread>

#include "libbasic/auto_release_pool.h"
#include "libbasic/bas_utility_app.h"
#include "libbasic/kx_task_package.h"
#include "libbasic/kx_task_schedular.h"
#include "utility/module/zeb_module.h"
#include "utility/process_context.h"
#include "utility/start_params.h"
#include "utility/task_meta_data.h"

namespace {

constexpr int kConnectAttempts = 11;

void DoPackageFinish(const bas::KxTaskPackagePtr& package) {
  for (const bas::KxTaskPtr& task : package->GetTasks()) LOG(INFO) << "DoPackageFinish: " << task->GetTaskId();
}

void DoEventFinish(const bas::KxTaskEventPtr& event) {
  for (const bas::KxTaskPackagePtr& package : event->GetPackages()) {
    for (const bas::KxTaskPtr& task : package->GetTasks()) LOG(INFO) << "DoEventFinish: " << task->GetTaskId();
  }
}

}  // namespace

ZEBClient& ZEBClient::Get() {
  static ZEBClient* client = new ZEBClient();  // lives until the process ends; threads may use it to the end
  return *client;
}

ZEBClient::ZEBClient() {
  host_channel_.SetPacketCallback([this](bas::IPCPacketPtr packet) { HostIntake(std::move(packet)); });
}

bool ZEBClient::ConnectToHost(uint16_t port) {
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::seconds(1));
    if (host_channel_.Connect(port)) return true;
  }
  return false;
}

void ZEBClient::SetCommandTable(CommandMap table) {
  std::lock_guard<std::mutex> lock(table_mutex_);
  table_ = std::move(table);
}

void ZEBClient::Stop() {
  host_channel_.Stop();
  child_channel_.Stop();
}

int ZEBClient::HostIntake(bas::IPCPacketPtr packet) {
  if (ProcessContext::Get().IsQuitting()) return -2;
  Intake(std::move(packet), false);
  return 0;
}

int ZEBClient::ChildIntake(bas::IPCPacketPtr packet) {
  if (ProcessContext::Get().IsQuitting()) return -2;
  Intake(std::move(packet), true);
  return 0;
}

void ZEBClient::Intake(bas::IPCPacketPtr packet, bool from_child) {
  bas::KxTaskSchedular& schedular = bas::KxTaskSchedular::Get();
  std::string task_id = std::to_string(packet->task_id);
  std::shared_ptr<const bas::IPCPacket> shared(std::move(packet));
  auto run = [this, shared, from_child](const bas::KxTaskPtr& task) { Handle(shared, task, from_child); };

  // A later packet of a task that is still known continues that task; one that has just ended gets a new one.
  if (schedular.PostToTask(task_id, run)) return;
  if (schedular.IsAbortTask(task_id)) {
    LOG(INFO) << "Dropped a packet of aborted task " << task_id;
    return;
  }
  bas::KxTaskPtr task = bas::KxTask::Create();
  task->SetTaskId(task_id);
  int socket = shared->connection ? shared->connection->socket : -1;
  task->SetTaskData(std::make_shared<TaskMetaData>(shared->type, socket));
  task->SetTaskFunc(run);
  task->SetEndFunc([this](const bas::KxTaskPtr& ended, bas::KxTaskEndReason) { front_door::OnTaskEnded(ended, *this); });
  bas::KxTaskPackagePtr package = bas::KxTaskPackage::Create(bas::BASUtilityApp::GetTagTaskId(nullptr));
  package->AddTask(task);
  package->SetFunc(&DoPackageFinish);
  bas::KxTaskEventPtr event = bas::KxTaskEvent::Create(bas::BASUtilityApp::GetTagTaskId(nullptr));
  event->AddPackage(package);
  event->SetFunc(&DoEventFinish);
  schedular.PostTaskEvent(event);
}

void ZEBClient::Handle(const std::shared_ptr<const bas::IPCPacket>& shared, const bas::KxTaskPtr& task,
                       bool from_child) {
  const bas::IPCPacket& packet = *shared;
  bas::BASScopedLocalPool pool;
  CommandEntry entry;
  {
    std::lock_guard<std::mutex> lock(table_mutex_);
    auto it = table_.find(packet.type);
    if (it != table_.end()) entry = it->second;
  }
  if (entry.module == nullptr) return;  // unknown types (and ends of connections) get no answer
  if (from_child) {
    entry.module->OnChildPacket(packet);
  } else {
    front_door::Dispatch(entry, shared, task, *this);
  }
}

bool ZEBClient::IsChildChannelIdle() const { return child_channel_.IsIdle(); }

bool ZEBClient::StartChildChannel(uint16_t* port) {
  child_channel_.SetPacketCallback([this](bas::IPCPacketPtr packet) { ChildIntake(std::move(packet)); });
  child_channel_.SetNoticeCallback([this](const bas::IPCNotice& notice) { return OnChildNotice(notice); });
  bas::IPCConnectionPtr listener = child_channel_.Listen();
  if (!listener) return false;
  *port = static_cast<uint16_t>(listener->port);
  return true;
}

void ZEBClient::QueueChildCommand(const bas::IPCPacket& packet) {
  std::lock_guard<std::mutex> lock(mutex_);
  child_queue_.push_back(packet);
}

int ZEBClient::OnChildNotice(const bas::IPCNotice& notice) {
  if (notice.kind == bas::IPCNotice::kDiagnostic) LOG(INFO) << notice.text;
  if (notice.kind != bas::IPCNotice::kAccepted) return 0;
  std::deque<bas::IPCPacket> queued;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued.swap(child_queue_);
    child_started_ = false;
  }
  for (bas::IPCPacket& packet : queued) Intake(std::make_unique<bas::IPCPacket>(std::move(packet)), false);
  return 0;
}

ZEBChildLink::Handover ZEBClient::HandToChild(const bas::IPCPacket& packet,
                                              const std::function<bool(uint16_t port)>& launch) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!child_channel_.IsIdle()) return Handover::kChildConnected;
  if (child_port_ == 0 && !StartChildChannel(&child_port_)) return Handover::kListenFailed;
  if (!child_started_) {
    if (!launch(child_port_)) return Handover::kLaunchFailed;
    child_started_ = true;
  }
  child_queue_.push_back(packet);
  return Handover::kQueued;
}

std::deque<bas::IPCPacket> ZEBClient::ChildEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  child_started_ = false;
  std::deque<bas::IPCPacket> waiting;
  waiting.swap(child_queue_);
  return waiting;
}

int ZEBClient::RelayToHost(const bas::IPCPacket& packet) {
  std::lock_guard<std::mutex> lock(mutex_);
  bool any = false;
  for (const bas::IPCConnectionPtr& connection : host_channel_.Connections()) {
    if (connection->side != bas::IPCConnection::kConnected) continue;
    any = true;
    host_channel_.Send(connection, bas::IPCPacketHeader{packet.task_id, packet.type, packet.code, 0}, packet.payload);
  }
  return any ? 0 : 1;
}

bool ZEBClient::SendToChild(const bas::IPCPacket& packet) {
  std::lock_guard<std::mutex> lock(mutex_);
  bool sent = false;
  for (const bas::IPCConnectionPtr& connection : child_channel_.Connections()) {
    if (connection->side != bas::IPCConnection::kAccepted) continue;
    sent |= child_channel_.Send(connection, bas::IPCPacketHeader{packet.task_id, packet.type, packet.code, 0},
                                packet.payload);
  }
  return sent;
}
