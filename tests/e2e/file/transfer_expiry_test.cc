// A transfer whose host falls silent, and a plug-in command whose plug-in never answers: the scheduler's idle
// expiry ends their tasks, the module still closes the device file, and each command gets its one final answer. Run in this process (the idle limit is set here) with the
// device monitor, the client and a host connection, against the simulator.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <thread>

#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "hostlink/connection.h"
#include "hostlink/listener.h"
#include "libbasic/kx_task_pool.h"
#include "libbasic/kx_task_schedular.h"
#include "utility/ios/zeb_client.h"
#include "utility/ios/zeb_device_monitor.h"
#include "utility/module/file/zeb_module_file.h"
#include "utility/module/plugins/zeb_module_plugins.h"

namespace {

using namespace std::chrono_literals;

constexpr char kUdid[] = "00008030-00000000E4B1AE01";

size_t AfcRequests(devicesim::Simulator& simulator, const std::string& name, const std::string& path) {
  devicesim::RequestFilter filter;
  filter.channel = "afc";
  filter.name = name;
  filter.arg_key = "Path";
  filter.arg_value = path;
  return simulator.Log().Count(filter);
}

TEST(TransferExpiry, AnUploadWhoseHostFallsSilentIsClosedAndAnswered6) {
  char pattern[] = "/tmp/corvane-expiry-XXXXXX";
  std::string dir = ::mkdtemp(pattern);
  devicesim::Simulator simulator;
  std::string error;
  devicesim::ProfileBuilder phone(kUdid);
  ASSERT_TRUE(phone.Write(dir + "/phone", &error)) << error;
  ASSERT_TRUE(simulator.AddProfile(dir + "/phone", true, &error)) << error;
  ASSERT_TRUE(simulator.Start(dir + "/usbmuxd.sock", &error)) << error;
  ::setenv("USBMUXD_SOCKET_ADDRESS", simulator.SocketAddress().c_str(), 1);
  ::setenv("CORVANE_SERVICE_TIMEOUT_MS", "3000", 1);

  bas::KxTaskPool::Get().Activate(10);
  hostlink::HostListener listener;
  ASSERT_TRUE(listener.Listen(0));
  ZEBClient& client = ZEBClient::Get();
  ASSERT_TRUE(client.ConnectToHost(listener.port()));
  std::unique_ptr<hostlink::Connection> host = listener.Accept(5s);
  ASSERT_TRUE(host);
  static ZEBModuleFile module;
  module.AttachSink(&client);
  ZEBModulePlugins::Get().AttachSink(&client);
  client.SetCommandTable({{703, CommandEntry{&module, CommandPolicy{.device = DeviceRule::kOptional}}},
                          {1800, CommandEntry{&ZEBModulePlugins::Get(), CommandPolicy{}}}});
  ZEBDeviceMonitor::Get().AddCallback(&client);
  ASSERT_EQ(ZEBDeviceMonitor::Get().StartMonitor(), ZEBDeviceMonitor::kStarted);
  ASSERT_TRUE(host->WaitFor([](const hostlink::Report& r) { return r.packet_type == 1 && r.uuid == kUdid; }, 20s));

  bas::KxTaskSchedular::Get().SetIdleLimitMs(300);
  ASSERT_TRUE(host->SendCommand(
      7, 703, std::string(R"({"uuid":")") + kUdid + R"(","stage":1,"info":{"name":"idle.bin","size":10}})"));
  auto asked = host->WaitFor([](const hostlink::Report& r) { return r.task_id == 7; }, 10s);
  ASSERT_TRUE(asked);
  EXPECT_FALSE(asked->is_final());
  // No block comes.
  auto ended = host->WaitFor([](const hostlink::Report& r) { return r.task_id == 7; }, 10s);
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->code, 6);
  EXPECT_EQ(ended->header_code, 5);
  EXPECT_EQ(ended->uuid, kUdid);
  EXPECT_EQ(AfcRequests(simulator, "FILE_OPEN", "/Books/idle.bin.bak"), 1u);
  EXPECT_EQ(AfcRequests(simulator, "FILE_CLOSE", "/Books/idle.bin.bak"), 1u);
  EXPECT_EQ(bas::KxTaskSchedular::Get().LiveTaskCount(), 0u);
  EXPECT_FALSE(host->WaitFor([](const hostlink::Report& r) { return r.task_id == 7; }, 500ms));

  // No plug-in takes the command, so no result ever comes; the host still hears that the task is over.
  ASSERT_TRUE(host->SendCommand(8, 1800, R"({"type":1,"info":{"sub_command_type":"NOBODY_LISTENS"}})"));
  auto expired = host->WaitFor([](const hostlink::Report& r) { return r.task_id == 8; }, 10s);
  ASSERT_TRUE(expired);
  EXPECT_EQ(expired->code, 6);
  EXPECT_EQ(expired->header_code, 5);
  EXPECT_EQ(expired->packet_type, 1800u);

  client.Stop();
  // The workers (one of them runs the device notifications) log while they go on: they must be gone before the
  // process tears the logging down.
  AMDeviceRunLoopStop();
  bas::KxTaskPool::Get().Stop();
  simulator.Stop();
  std::filesystem::remove_all(dir);
}

}  // namespace
