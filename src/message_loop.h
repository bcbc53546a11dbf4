// The main thread's message loop: start-up hands over to it, and it runs until a quit message arrives.
//
// Thread safety: PostQuit may be called from any thread; Run only on the main thread.
#pragma once

#include <condition_variable>
#include <mutex>

class MessageLoop {
 public:
  static MessageLoop& Get();

  // Blocks until PostQuit has been called (also when that happened before Run).
  void Run();
  void PostQuit();

 private:
  std::mutex mutex_;  // guards quit_
  std::condition_variable posted_;
  bool quit_ = false;
};

// The quit request: marks the process as quitting and ends the message loop.
void RequestQuit();
