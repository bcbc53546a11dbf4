// BASSubject and BASObserver: requests between modules, and between modules and plug-ins.
//
// A subject keeps an ordered list of observers and tells each of them, in order, about a request; the answer is
// the last observer's. The request itself usually travels as a BASObserveData record (corvane/plugin.h).
//
// Thread safety: Attach before use; Notify may then be called from any thread.
#pragma once

#include <vector>

namespace bas {

class BASObserver {
 public:
  virtual ~BASObserver() = default;
  virtual int OnNotify(void* first, void* second) {
    (void)first;
    (void)second;
    return 0;
  }
};

class BASSubject {
 public:
  virtual ~BASSubject() = default;
  virtual int Notify(void* first, void* second) {
    int result = 0;
    for (BASObserver* observer : observers_) result = observer->OnNotify(first, second);
    return result;
  }
  void Attach(BASObserver* observer) { observers_.push_back(observer); }

 private:
  std::vector<BASObserver*> observers_;
};

}  // namespace bas
