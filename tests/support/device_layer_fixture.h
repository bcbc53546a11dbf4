// A fixture for tests of the device layer in this process: a simulator with one device, the device library
// loaded, the device's reference as the layer's notifications deliver it, and a device record made of it (what
// modules and the layer's functions are given).
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "iOSAPI/mobile_device.h"
#include "iOSAPI/mobile_export_fun.h"
#include "utility/ios/zeb_device_connection.h"

class DeviceLayerTest : public ::testing::Test {
 protected:
  static constexpr const char* kUdid = "00008030-00000000AAAA0001";

  // Tests may adjust the profile before calling Attach.
  devicesim::ProfileBuilder profile_{kUdid};

  void SetUp() override {
    char pattern[] = "/tmp/corvane-layer-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    std::string error;
    ASSERT_TRUE(simulator_.Start(dir_ + "/usbmuxd.sock", &error)) << error;
    ::setenv("USBMUXD_SOCKET_ADDRESS", simulator_.SocketAddress().c_str(), 1);
    ::setenv("CORVANE_SERVICE_TIMEOUT_MS", "3000", 1);
    ASSERT_TRUE(CMobileExportFun::GetInstance().Init());
    ASSERT_EQ(AMDeviceNotificationSubscribe(&DeviceLayerTest::OnNotification, this), kAMDSuccess);
    run_loop_ = std::thread(&AMDeviceRunLoopRun);
  }

  void TearDown() override {
    record_.reset();
    device_.reset();
    AMDeviceRunLoopStop();
    if (run_loop_.joinable()) run_loop_.join();
    AMDeviceNotificationUnsubscribe();
    simulator_.Stop();
    std::filesystem::remove_all(dir_);
  }

  // Writes and attaches the profile and waits for the layer to report the device.
  void Attach() {
    std::string error;
    ASSERT_TRUE(profile_.Write(dir_ + "/phone", &error)) << error;
    ASSERT_TRUE(simulator_.AddProfile(dir_ + "/phone", true, &error)) << error;
    std::unique_lock<std::mutex> lock(mutex_);
    ASSERT_TRUE(attached_.wait_for(lock, std::chrono::seconds(10), [this] { return device_ != nullptr; }));
  }

  AMDeviceRef device() const { return device_.get(); }
  const AMDeviceHandle& device_handle() const { return device_; }
  // The record of the attached device (made on first use, after Attach).
  const ZEBDeviceConnectionPtr& record() {
    if (!record_) record_ = std::make_shared<ZEBDeviceConnection>(device_, 1);
    return record_;
  }
  size_t Requests(const std::string& channel, const std::string& name) {
    devicesim::RequestFilter filter;
    filter.channel = channel;
    filter.name = name;
    return simulator_.Log().Count(filter);
  }

  std::string dir_;
  devicesim::Simulator simulator_;

 private:
  static void OnNotification(const AMDeviceNotification& notification, void* context) {
    auto* self = static_cast<DeviceLayerTest*>(context);
    if (notification.message != kAMDeviceAttached) return;
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->device_ = notification.device;
    self->attached_.notify_all();
  }

  std::thread run_loop_;
  std::mutex mutex_;
  std::condition_variable attached_;
  AMDeviceHandle device_;
  ZEBDeviceConnectionPtr record_;
};
