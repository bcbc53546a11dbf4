#include "message_loop.h"

#include <glog/logging.h>

#include "utility/process_context.h"

MessageLoop& MessageLoop::Get() {
  static MessageLoop* loop = new MessageLoop();
  return *loop;
}

void MessageLoop::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  posted_.wait(lock, [this] { return quit_; });
}

void MessageLoop::PostQuit() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  posted_.notify_all();
}

void RequestQuit() {
  if (ProcessContext::Get().SetQuitting()) LOG(INFO) << "Quitting: the host process has gone or a stop was asked";
  MessageLoop::Get().PostQuit();
}
