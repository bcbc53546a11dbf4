// Springboard icons, the diagnostics relay, air-traffic metrics, notification relays and afc2 through
// libimobiledevice's clients or raw service connections.
#include <libimobiledevice/afc.h>
#include <libimobiledevice/diagnostics_relay.h>
#include <libimobiledevice/notification_proxy.h>
#include <libimobiledevice/sbservices.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "fidelity_fixture.h"

namespace devicesim {
namespace {

constexpr char kUdid[] = "00008030-0019283746ABCDEF";

std::string FirstKey(plist_t dict) {
  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(dict, &iter);
  char* key = nullptr;
  plist_t value = nullptr;
  plist_dict_next_item(dict, iter, &key, &value);
  free(iter);
  std::string out = key ? key : "";
  free(key);
  return out;
}

std::string StringOf(plist_t node) {
  char* text = nullptr;
  if (node && plist_get_node_type(node) == PLIST_STRING) plist_get_string_val(node, &text);
  std::string out = text ? text : "";
  free(text);
  return out;
}

uint64_t UintOf(plist_t node) {
  uint64_t value = 0;
  if (node && plist_get_node_type(node) == PLIST_UINT) plist_get_uint_val(node, &value);
  return value;
}

class ServicesTest : public SimulatorTest {
 protected:
  void Add(ProfileBuilder profile) {
    profile.AddApp({.bundle_id = "com.example.red", .icon_color = "#FF0000"});
    profile.SetAssetCategory("Photo", 5000, 7, 100, [] {
      Value nested = Value::Dict();
      Value thumbs = Value::Dict();
      thumbs.Set("_PhysicalSize", 300);
      thumbs.Set("_Count", 2);
      nested.Set("Thumbnails", thumbs);
      return nested;
    }());
    profile.SetAssetTotals(64000, 16000);
    AddDevice("phone", profile);
    session_ = std::make_unique<LockdownSession>(kUdid);
    ASSERT_TRUE(session_->ok()) << session_->error();
  }
  void TearDown() override {
    session_.reset();
    SimulatorTest::TearDown();
  }
  std::unique_ptr<LockdownSession> session_;
};

TEST_F(ServicesTest, SpringboardReturnsARealPngIconPerApplication) {
  Add(ProfileBuilder(kUdid));
  lockdownd_service_descriptor_t service = session_->Start("com.apple.springboardservices");
  ASSERT_NE(service, nullptr);
  sbservices_client_t springboard = nullptr;
  ASSERT_EQ(sbservices_client_new(session_->device(), service, &springboard), SBSERVICES_E_SUCCESS);
  lockdownd_service_descriptor_free(service);
  char* png = nullptr;
  uint64_t size = 0;
  ASSERT_EQ(sbservices_get_icon_pngdata(springboard, "com.example.red", &png, &size), SBSERVICES_E_SUCCESS);
  ASSERT_GT(size, 33u);
  EXPECT_EQ(std::memcmp(png, "\x89PNG\r\n\x1a\n", 8), 0);
  EXPECT_EQ(std::memcmp(png + 12, "IHDR", 4), 0);
  EXPECT_EQ(std::memcmp(png + size - 8, "IEND", 4), 0);
  char* other = nullptr;
  uint64_t other_size = 0;
  ASSERT_EQ(sbservices_get_icon_pngdata(springboard, "com.example.unknown", &other, &other_size),
            SBSERVICES_E_SUCCESS);
  EXPECT_NE(std::string(png, size), std::string(other, other_size)) << "each colour makes its own image";
  free(png);
  free(other);
  sbservices_client_free(springboard);
  EXPECT_EQ(Count({.channel = "com.apple.springboardservices", .name = "getIconPNGData", .arg_key = "BundleID",
                   .arg_value = "com.example.red"}),
            1u);
}

TEST_F(ServicesTest, DiagnosticsFindsTheBatteryByEntryClass) {
  Add(ProfileBuilder(kUdid).SetBatteryValue("CycleCount", 777));
  lockdownd_service_descriptor_t service = session_->Start("com.apple.mobile.diagnostics_relay");
  ASSERT_NE(service, nullptr);
  diagnostics_relay_client_t diagnostics = nullptr;
  ASSERT_EQ(diagnostics_relay_client_new(session_->device(), service, &diagnostics), DIAGNOSTICS_RELAY_E_SUCCESS);
  lockdownd_service_descriptor_free(service);
  plist_t result = nullptr;
  ASSERT_EQ(diagnostics_relay_query_ioregistry_entry(diagnostics, nullptr, "IOPMPowerSource", &result),
            DIAGNOSTICS_RELAY_E_SUCCESS);
  EXPECT_EQ(UintOf(plist_access_path(result, 2, "IORegistry", "CycleCount")), 777u);
  plist_free(result);
  result = nullptr;
  EXPECT_NE(diagnostics_relay_query_ioregistry_entry(diagnostics, "NoSuchEntry", "", &result),
            DIAGNOSTICS_RELAY_E_SUCCESS);
  diagnostics_relay_goodbye(diagnostics);
  diagnostics_relay_client_free(diagnostics);
}

TEST_F(ServicesTest, AirTrafficSendsAssetMetricsAfterThePowerAssertion) {
  Add(ProfileBuilder(kUdid));
  RawService atc(*session_, "com.apple.atc");
  ASSERT_TRUE(atc.ok());
  plist_t request = plist_new_dict();
  plist_dict_set_item(request, "Command", plist_new_string("PowerAssertion"));
  plist_t params = plist_new_dict();
  plist_dict_set_item(params, "Enabled", plist_new_bool(1));
  plist_dict_set_item(request, "Params", params);
  plist_dict_set_item(request, "Session", plist_new_uint(0));
  ASSERT_TRUE(atc.SendPlist(request, /*little_endian=*/true));
  plist_free(request);
  plist_t metrics = atc.ReceivePlist(/*little_endian=*/true);
  ASSERT_NE(metrics, nullptr) << "the answer must come with a little-endian length";
  EXPECT_EQ(FirstKey(metrics), "Command");
  EXPECT_EQ(StringOf(plist_dict_get_item(metrics, "Command")), "AssetMetrics");
  plist_t photo = plist_access_path(metrics, 2, "Params", "Photo");
  EXPECT_EQ(UintOf(plist_dict_get_item(photo, "_PhysicalSize")), 5000u);
  EXPECT_EQ(UintOf(plist_dict_get_item(photo, "_Count")), 7u);
  EXPECT_EQ(UintOf(plist_access_path(photo, 2, "Thumbnails", "_PhysicalSize")), 300u);
  EXPECT_EQ(UintOf(plist_access_path(metrics, 2, "Params", "_FreeSize")), 16000u);
  EXPECT_NE(plist_access_path(metrics, 2, "Params", "Application"), nullptr) << "builder defaults";
  plist_free(metrics);
}

TEST_F(ServicesTest, AirTrafficCanSayPingOrIdleExitFirst) {
  Add(ProfileBuilder(kUdid));
  for (const std::string first : {"Ping", "IdleExit"}) {
    std::string udid = "00008030-0000000000000" + first;
    AddDevice(first, ProfileBuilder(udid).SetAtcFirstMessage(first));
    LockdownSession session(udid);
    ASSERT_TRUE(session.ok());
    RawService atc(session, "com.apple.atc");
    ASSERT_TRUE(atc.ok());
    plist_t request = plist_new_dict();
    plist_dict_set_item(request, "Command", plist_new_string("PowerAssertion"));
    ASSERT_TRUE(atc.SendPlist(request, true));
    plist_free(request);
    plist_t message = atc.ReceivePlist(true);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(StringOf(plist_dict_get_item(message, "Command")), first);
    plist_free(message);
    message = atc.ReceivePlist(true, 1000);
    EXPECT_EQ(message != nullptr, first == "Ping") << "IdleExit ends the exchange";
    plist_free(message);
  }
}

TEST_F(ServicesTest, JailbrokenDevicesServeAfc2OverTheSamePartition) {
  Add(ProfileBuilder(kUdid).SetJailbroken(true).AddFolder("var/root/Media/Cydia/AutoInstall"));
  lockdownd_service_descriptor_t service = session_->Start("com.apple.afc2");
  ASSERT_NE(service, nullptr);
  afc_client_t afc = nullptr;
  ASSERT_EQ(afc_client_new(session_->device(), service, &afc), AFC_E_SUCCESS);
  lockdownd_service_descriptor_free(service);
  char** names = nullptr;
  EXPECT_EQ(afc_read_directory(afc, "/var/root/Media/Cydia/AutoInstall", &names), AFC_E_SUCCESS);
  afc_dictionary_free(names);
  afc_client_free(afc);
  EXPECT_EQ(Count({.channel = "afc2", .name = "READ_DIR"}), 1u);
}

TEST_F(ServicesTest, NotificationProxyRelaysInstallations) {
  Add(ProfileBuilder(kUdid));
  lockdownd_service_descriptor_t service = session_->Start("com.apple.mobile.notification_proxy");
  ASSERT_NE(service, nullptr);
  np_client_t np = nullptr;
  ASSERT_EQ(np_client_new(session_->device(), service, &np), NP_E_SUCCESS);
  lockdownd_service_descriptor_free(service);
  static std::atomic<int> relayed{0};
  relayed = 0;
  np_set_notify_callback(
      np, [](const char* name, void*) { relayed += std::string(name) == "com.example.ping" ? 1 : 0; }, nullptr);
  ASSERT_EQ(np_observe_notification(np, "com.example.ping"), NP_E_SUCCESS);
  ASSERT_EQ(np_post_notification(np, "com.example.ping"), NP_E_SUCCESS);
  for (int i = 0; i < 100 && relayed == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(relayed, 1);
  np_client_free(np);
}

}  // namespace
}  // namespace devicesim
