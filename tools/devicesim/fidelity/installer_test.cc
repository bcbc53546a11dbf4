// ideviceinstaller and libimobiledevice's installation proxy calls against the simulator.
#include <libimobiledevice/afc.h>
#include <libimobiledevice/installation_proxy.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <filesystem>

#include "devicesim/ipa_builder.h"
#include "fidelity_fixture.h"

namespace devicesim {
namespace {

constexpr char kUdid[] = "00008101-000C3D4E5F607A1E";

class InstallerTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    ProfileBuilder phone(kUdid);
    Value meta = Value::Dict();
    meta.Set("itemName", "Notes Deluxe");
    phone.AddApp({.bundle_id = "com.example.notes", .display_name = "Notes", .version = "42", .itunes_metadata = meta})
        .AddApp({.bundle_id = "com.example.maps", .display_name = "Maps", .version = "7"})
        .AddApp({.bundle_id = "com.apple.Preferences", .type = "System", .display_name = "Settings"});
    AddDevice("phone", phone);
  }

  std::vector<std::string> Installed() {
    std::vector<std::string> ids;
    std::string error;
    EXPECT_TRUE(sim_.InstalledApps("phone", &ids, &error)) << error;
    return ids;
  }
};

TEST_F(InstallerTest, ListShowsTheUserApplications) {
  ToolResult list = RunTool({"ideviceinstaller", "-l"});
  ASSERT_EQ(list.exit_code, 0) << list.output;
  EXPECT_NE(list.output.find("com.example.notes, \"42\", \"Notes\""), std::string::npos) << list.output;
  EXPECT_NE(list.output.find("com.example.maps, \"7\", \"Maps\""), std::string::npos);
  EXPECT_EQ(list.output.find("com.apple.Preferences"), std::string::npos) << "system apps are not user apps";
  EXPECT_EQ(Count({.channel = "com.apple.mobile.installation_proxy", .name = "Browse", .arg_key = "ApplicationType",
                   .arg_value = "User"}),
            1u);

  ToolResult system = RunTool({"ideviceinstaller", "-l", "-o", "list_system"});
  EXPECT_NE(system.output.find("com.apple.Preferences"), std::string::npos) << system.output;
}

TEST_F(InstallerTest, InstallsABuiltPackageAndUninstallsIt) {
  Value meta = Value::Dict();
  meta.Set("itemName", "Fresh App");
  meta.Set("artistName", "Example Ltd");
  std::string ipa = dir_ + "/fresh.ipa", error;
  ASSERT_TRUE(WriteIpa(ipa, {.bundle_id = "com.example.fresh", .executable = "Fresh", .display_name = "Fresh",
                             .version = "3", .itunes_metadata = meta},
                       &error))
      << error;

  ToolResult install = RunTool({"ideviceinstaller", "-i", ipa}, 30000);
  ASSERT_EQ(install.exit_code, 0) << install.output;
  EXPECT_NE(install.output.find("Complete"), std::string::npos) << install.output;
  std::vector<std::string> ids = Installed();
  EXPECT_NE(std::find(ids.begin(), ids.end(), "com.example.fresh"), ids.end());
  EXPECT_EQ(Count({.channel = "com.apple.mobile.installation_proxy", .name = "Install"}), 1u);
  EXPECT_EQ(Count({.channel = "afc", .name = "FILE_OPEN", .arg_key = "Path",
                   .arg_value = "PublicStaging/com.example.fresh"}),
            1u);

  ToolResult list = RunTool({"ideviceinstaller", "-l"});
  EXPECT_NE(list.output.find("com.example.fresh, \"3\", \"Fresh\""), std::string::npos) << list.output;
  ToolResult xml = RunTool({"ideviceinstaller", "-l", "-o", "xml"});
  EXPECT_NE(xml.output.find("<key>iTunesMetadata</key>"), std::string::npos);

  ToolResult uninstall = RunTool({"ideviceinstaller", "-U", "com.example.fresh"}, 30000);
  ASSERT_EQ(uninstall.exit_code, 0) << uninstall.output;
  EXPECT_NE(uninstall.output.find("Complete"), std::string::npos) << uninstall.output;
  ids = Installed();
  EXPECT_EQ(std::find(ids.begin(), ids.end(), "com.example.fresh"), ids.end());
}

TEST_F(InstallerTest, UninstallingAnUnknownApplicationFails) {
  ToolResult uninstall = RunTool({"ideviceinstaller", "-U", "com.example.nothere"}, 30000);
  EXPECT_NE(uninstall.output.find("LookupFailed"), std::string::npos) << uninstall.output;
  EXPECT_EQ(Installed().size(), 3u);
}

// Collects the outcome of an asynchronous installation-proxy operation.
struct Outcome {
  std::mutex mutex;
  std::condition_variable done_cv;
  bool done = false;
  instproxy_error_t error = INSTPROXY_E_SUCCESS;

  static void Callback(plist_t, plist_t status, void* user_data) {
    auto* outcome = static_cast<Outcome*>(user_data);
    char* status_name = nullptr;
    plist_t node = plist_dict_get_item(status, "Status");
    if (node) plist_get_string_val(node, &status_name);
    char* error_name = nullptr;
    char* description = nullptr;
    uint64_t code = 0;
    instproxy_error_t error = instproxy_status_get_error(status, &error_name, &description, &code);
    free(error_name);
    free(description);
    bool complete = status_name && std::string(status_name) == "Complete";
    free(status_name);
    if (error == INSTPROXY_E_SUCCESS && !complete) return;
    std::lock_guard<std::mutex> lock(outcome->mutex);
    outcome->error = error;
    outcome->done = true;
    outcome->done_cv.notify_all();
  }
};

// In-process: installation-proxy operations through libimobiledevice's own calls.
class InstallerCallsTest : public InstallerTest {
 protected:
  // Runs one operation and waits for its final status (libimobiledevice reports it on its own thread).
  template <typename Operation>
  instproxy_error_t Run(Operation operation) {
    {
      std::lock_guard<std::mutex> lock(outcome_.mutex);
      outcome_.done = false;
      outcome_.error = INSTPROXY_E_SUCCESS;
    }
    Outcome& outcome = outcome_;
    instproxy_error_t started = INSTPROXY_E_OP_IN_PROGRESS;
    // The previous operation's status thread may still be winding down.
    for (int i = 0; i < 200 && started == INSTPROXY_E_OP_IN_PROGRESS; ++i) {
      started = operation(&Outcome::Callback, &outcome);
      if (started == INSTPROXY_E_OP_IN_PROGRESS) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (started != INSTPROXY_E_SUCCESS) return started;
    std::unique_lock<std::mutex> lock(outcome.mutex);
    if (!outcome.done_cv.wait_for(lock, std::chrono::seconds(10), [&] { return outcome.done; })) {
      return INSTPROXY_E_RECEIVE_TIMEOUT;
    }
    return outcome.error;
  }
  instproxy_error_t Install(const char* path) {
    return Run([&](instproxy_status_cb_t cb, void* data) { return instproxy_install(proxy_, path, nullptr, cb, data); });
  }

  void SetUp() override {
    InstallerTest::SetUp();
    session_ = std::make_unique<LockdownSession>(kUdid);
    ASSERT_TRUE(session_->ok());
    lockdownd_service_descriptor_t service = session_->Start("com.apple.mobile.installation_proxy");
    ASSERT_NE(service, nullptr);
    ASSERT_EQ(instproxy_client_new(session_->device(), service, &proxy_), INSTPROXY_E_SUCCESS);
    lockdownd_service_descriptor_free(service);
  }
  void TearDown() override {
    if (proxy_) instproxy_client_free(proxy_);
    session_.reset();
    InstallerTest::TearDown();
  }
  std::unique_ptr<LockdownSession> session_;
  instproxy_client_t proxy_ = nullptr;
  Outcome outcome_;  // outlives the proxy client, whose thread calls back into it
};

TEST_F(InstallerCallsTest, BrokenPackageAnswersAnError) {
  std::filesystem::create_directories(AfcDir("phone") + "/PublicStaging");
  FILE* broken = fopen((AfcDir("phone") + "/PublicStaging/broken.ipa").c_str(), "wb");
  fputs("PK\x03\x04 truncated", broken);
  fclose(broken);
  EXPECT_EQ(Install("PublicStaging/broken.ipa"), INSTPROXY_E_PACKAGE_INSPECTION_FAILED);
  EXPECT_EQ(Install("PublicStaging/none.ipa"), INSTPROXY_E_PACKAGE_INSPECTION_FAILED);
  EXPECT_EQ(Install("../outside.ipa"), INSTPROXY_E_PACKAGE_INSPECTION_FAILED);
  EXPECT_EQ(Installed().size(), 3u);
}

TEST_F(InstallerCallsTest, BrowseAnswersInBatchesWithTheRequestedAttributes) {
  for (int i = 0; i < 23; ++i) {
    std::string ipa = AfcDir("phone") + "/app" + std::to_string(i) + ".ipa", error;
    ASSERT_TRUE(WriteIpa(ipa, {.bundle_id = "com.example.bulk" + std::to_string(i)}, &error)) << error;
    std::string path = "app" + std::to_string(i) + ".ipa";
    ASSERT_EQ(Run([&](instproxy_status_cb_t cb, void* data) {
                return instproxy_upgrade(proxy_, path.c_str(), nullptr, cb, data);
              }),
              INSTPROXY_E_SUCCESS);
  }
  plist_t options = instproxy_client_options_new();
  instproxy_client_options_add(options, "ApplicationType", "User", nullptr);
  plist_t attributes = plist_new_array();
  plist_array_append_item(attributes, plist_new_string("CFBundleIdentifier"));
  plist_array_append_item(attributes, plist_new_string("StaticDiskUsage"));
  plist_dict_set_item(options, "ReturnAttributes", attributes);
  plist_t apps = nullptr;
  // The last upgrade's status thread may still be winding down.
  instproxy_error_t browsed = INSTPROXY_E_OP_IN_PROGRESS;
  for (int i = 0; i < 200 && browsed == INSTPROXY_E_OP_IN_PROGRESS; ++i) {
    browsed = instproxy_browse(proxy_, options, &apps);
    if (browsed == INSTPROXY_E_OP_IN_PROGRESS) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(browsed, INSTPROXY_E_SUCCESS);
  instproxy_client_options_free(options);
  ASSERT_EQ(plist_array_get_size(apps), 25u);
  plist_t first = plist_array_get_item(apps, 0);
  EXPECT_EQ(plist_dict_get_size(first), 2u);
  EXPECT_NE(plist_dict_get_item(first, "StaticDiskUsage"), nullptr);
  plist_free(apps);
}

TEST_F(InstallerCallsTest, ArchiveKeepsACopyAndRestoreBringsItBack) {
  plist_t options = instproxy_client_options_new();
  instproxy_client_options_add(options, "SkipUninstall", 0, nullptr);
  auto archive = [&](plist_t opts) {
    return Run([&](instproxy_status_cb_t cb, void* data) {
      return instproxy_archive(proxy_, "com.example.maps", opts, cb, data);
    });
  };
  EXPECT_EQ(archive(options), INSTPROXY_E_SUCCESS);
  instproxy_client_options_free(options);
  EXPECT_EQ(Installed().size(), 2u);
  EXPECT_NE(archive(nullptr), INSTPROXY_E_SUCCESS) << "no longer installed";
  EXPECT_EQ(Run([&](instproxy_status_cb_t cb, void* data) {
              return instproxy_restore(proxy_, "com.example.maps", nullptr, cb, data);
            }),
            INSTPROXY_E_SUCCESS);
  EXPECT_EQ(Installed().size(), 3u);
}

}  // namespace
}  // namespace devicesim
