// The device monitor's announcements against the simulator, in this process: a record that left the monitor's
// list (its device was detached while a host's re-announce read it) is never announced nor reported.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "support/device_layer_fixture.h"
#include "utility/ios/zeb_device.h"
#include "utility/ios/zeb_device_monitor.h"

namespace {

class RecordingCallback : public ZEBDeviceCallback {
 public:
  void OnDeviceEvent(const ZEBDeviceConnectionPtr&, int event) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
  }
  void OnConnectError(const ZEBDeviceConnectionPtr&, int code) override {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.push_back(code);
  }
  std::vector<int> events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<int> errors() {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
  }

 private:
  std::mutex mutex_;
  std::vector<int> events_;
  std::vector<int> errors_;
};

// One callback for the process: the monitor keeps its callbacks for good.
RecordingCallback& Recorder() {
  static RecordingCallback* recorder = [] {
    auto* callback = new RecordingCallback();
    ZEBDeviceMonitor::Get().AddCallback(callback);
    return callback;
  }();
  return *recorder;
}

class DeviceMonitorRecords : public DeviceLayerTest {};

// The record stands for one whose device left while it was read: the detachment took it off the list, so the
// identity read still succeeds but nobody may be told the device is ready.
TEST_F(DeviceMonitorRecords, ARecordNoLongerListedIsNotAnnouncedAfterASuccessfulRead) {
  Attach();
  RecordingCallback& recorder = Recorder();
  size_t events_before = recorder.events().size(), errors_before = recorder.errors().size();
  auto gone = std::make_shared<ZEBDeviceConnection>(device_handle(), 1);
  EXPECT_EQ(ZEBDeviceMonitor::Get().ReadDeviceInfo(gone), 0) << "the device itself answers";
  EXPECT_EQ(ZEBDeviceMonitor::Get().HandleDeviceReady(gone), kErrorDeviceGone);
  EXPECT_EQ(recorder.events().size(), events_before);
  EXPECT_EQ(recorder.errors().size(), errors_before);
  EXPECT_FALSE(gone->announced);
  EXPECT_NE(gone->state, ZEBDeviceConnection::kReady);
}

TEST_F(DeviceMonitorRecords, AFailedReadOfARecordNoLongerListedIsNotReportedEither) {
  profile_.SetDeviceClass("iPhone").SetProductVersion("4.1");
  Attach();
  RecordingCallback& recorder = Recorder();
  size_t errors_before = recorder.errors().size();
  auto gone = std::make_shared<ZEBDeviceConnection>(device_handle(), 1);
  EXPECT_EQ(ZEBDeviceMonitor::Get().HandleDeviceReady(gone), kErrorDeviceGone);
  EXPECT_EQ(recorder.errors().size(), errors_before);
}

}  // namespace
