// Injected faults reach the client as a real device's failures would, and never hang the simulator.
#include <libimobiledevice/afc.h>
#include <libimobiledevice/diagnostics_relay.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "fidelity_fixture.h"

namespace devicesim {
namespace {

constexpr char kUdid[] = "00008110-00FA0175E2D1801E";

class FaultsTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    AddDevice("phone", ProfileBuilder(kUdid)
                           .AddGeneratedFile("big.bin", 8 << 20, 5)
                           .AddFile("DCIM/IMG_0001.JPG", "x")
                           .RefuseConnects(1));
  }

  void Arm(const std::string& service, FaultKind kind, uint64_t bytes = 0, int times = 1) {
    std::string error;
    ASSERT_TRUE(sim_.SetServiceFault("phone", service, {.kind = kind, .bytes = bytes, .times = times}, &error))
        << error;
  }

  // The refusal armed by the profile is used up before the tests proper.
  void UseUpRefusal() { LockdownSession ignored(kUdid); }
};

TEST_F(FaultsTest, FirstConnectIsRefusedAndTheSecondWorks) {
  LockdownSession first(kUdid);
  EXPECT_FALSE(first.ok()) << "the profile refuses one Connect";
  LockdownSession second(kUdid);
  EXPECT_TRUE(second.ok()) << second.error();
  std::string error;
  ASSERT_TRUE(sim_.RefuseConnects("phone", 2, &error)) << error;
  EXPECT_FALSE(LockdownSession(kUdid).ok());
  EXPECT_FALSE(LockdownSession(kUdid).ok());
  EXPECT_TRUE(LockdownSession(kUdid).ok());
  EXPECT_EQ(Count({.channel = "usbmuxd", .name = "Connect", .arg_key = "PortNumber", .arg_value = "62078"}), 5u);
}

TEST_F(FaultsTest, DroppedLockdownConnectionFailsTheHandshakeOnce) {
  UseUpRefusal();
  Arm(kLockdownServiceName, FaultKind::kDropAfterBytes, 10);
  EXPECT_FALSE(LockdownSession(kUdid).ok());
  EXPECT_TRUE(LockdownSession(kUdid).ok());
}

TEST_F(FaultsTest, DroppedAfcConnectionFailsTheReadInsteadOfHanging) {
  UseUpRefusal();
  LockdownSession session(kUdid);
  ASSERT_TRUE(session.ok());
  Arm("com.apple.afc", FaultKind::kDropAfterBytes, 1 << 20);
  lockdownd_service_descriptor_t service = session.Start("com.apple.afc");
  ASSERT_NE(service, nullptr);
  afc_client_t afc = nullptr;
  ASSERT_EQ(afc_client_new(session.device(), service, &afc), AFC_E_SUCCESS);
  lockdownd_service_descriptor_free(service);
  uint64_t handle = 0;
  ASSERT_EQ(afc_file_open(afc, "big.bin", AFC_FOPEN_RDONLY, &handle), AFC_E_SUCCESS);
  std::vector<char> buffer(4 << 20);
  uint32_t got = 0;
  // libimobiledevice 1.3.0 reports the cut read as complete (its length comes from the header); the
  // connection is gone all the same, so the next request fails.
  afc_file_read(afc, handle, buffer.data(), static_cast<uint32_t>(buffer.size()), &got);
  EXPECT_NE(afc_file_read(afc, handle, buffer.data(), static_cast<uint32_t>(buffer.size()), &got), AFC_E_SUCCESS);
  afc_client_free(afc);
}

TEST_F(FaultsTest, StalledServiceAnswersNothingAndStopStillEndsAtOnce) {
  UseUpRefusal();
  LockdownSession session(kUdid);
  ASSERT_TRUE(session.ok());
  Arm("com.apple.springboardservices", FaultKind::kStall);
  RawService stalled(session, "com.apple.springboardservices");
  ASSERT_TRUE(stalled.ok());
  plist_t request = plist_new_dict();
  plist_dict_set_item(request, "command", plist_new_string("getIconState"));
  ASSERT_TRUE(stalled.SendPlist(request, false));
  plist_free(request);
  std::string bytes;
  EXPECT_FALSE(stalled.Receive(1, &bytes, 300));

  auto started = std::chrono::steady_clock::now();
  sim_.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
  struct stat info;
  EXPECT_NE(stat(socket_.c_str(), &info), 0) << "the socket file is gone";
  EXPECT_FALSE(stalled.Receive(1, &bytes, 1000)) << "the connection was closed";
}

TEST_F(FaultsTest, MalformedAnswerFailsTheClientCall) {
  UseUpRefusal();
  LockdownSession session(kUdid);
  ASSERT_TRUE(session.ok());
  Arm("com.apple.mobile.diagnostics_relay", FaultKind::kMalformed);
  lockdownd_service_descriptor_t service = session.Start("com.apple.mobile.diagnostics_relay");
  ASSERT_NE(service, nullptr);
  diagnostics_relay_client_t diagnostics = nullptr;
  ASSERT_EQ(diagnostics_relay_client_new(session.device(), service, &diagnostics), DIAGNOSTICS_RELAY_E_SUCCESS);
  lockdownd_service_descriptor_free(service);
  plist_t result = nullptr;
  EXPECT_NE(diagnostics_relay_query_ioregistry_entry(diagnostics, "IOPMPowerSource", "", &result),
            DIAGNOSTICS_RELAY_E_SUCCESS);
  diagnostics_relay_client_free(diagnostics);
}

TEST_F(FaultsTest, OversizedAnswerAnnouncesMoreThanTenMebibytes) {
  UseUpRefusal();
  LockdownSession session(kUdid);
  ASSERT_TRUE(session.ok());
  Arm("com.apple.mobile.installation_proxy", FaultKind::kOversized);
  Arm("com.apple.atc", FaultKind::kOversized);
  RawService proxy(session, "com.apple.mobile.installation_proxy");
  std::string prefix;
  ASSERT_TRUE(proxy.Receive(4, &prefix));
  uint32_t big_endian = 0;
  for (int i = 0; i < 4; ++i) big_endian = big_endian << 8 | static_cast<unsigned char>(prefix[i]);
  EXPECT_GT(big_endian, 10u << 20);
  RawService atc(session, "com.apple.atc");
  ASSERT_TRUE(atc.Receive(4, &prefix));
  uint32_t little_endian = 0;
  for (int i = 3; i >= 0; --i) little_endian = little_endian << 8 | static_cast<unsigned char>(prefix[i]);
  EXPECT_GT(little_endian, 10u << 20) << "air traffic frames with a little-endian length";
}

TEST_F(FaultsTest, RefusedServiceIsInvalidForTheArmedStartsOnly) {
  UseUpRefusal();
  LockdownSession session(kUdid);
  ASSERT_TRUE(session.ok());
  Arm("com.apple.afc", FaultKind::kRefuse, 0, 2);
  lockdownd_error_t error = LOCKDOWN_E_SUCCESS;
  EXPECT_EQ(session.Start("com.apple.afc", &error), nullptr);
  EXPECT_EQ(error, LOCKDOWN_E_INVALID_SERVICE);
  EXPECT_EQ(session.Start("com.apple.afc", &error), nullptr);
  lockdownd_service_descriptor_t service = session.Start("com.apple.afc", &error);
  EXPECT_NE(service, nullptr) << error;
  if (service) lockdownd_service_descriptor_free(service);
}

TEST_F(FaultsTest, HostileNamesAppearInTheChosenFolderOnly) {
  UseUpRefusal();
  std::string error;
  ASSERT_TRUE(sim_.SetHostileListing("phone", "DCIM/", &error)) << error;
  EXPECT_FALSE(sim_.SetHostileListing("phone", "../x", &error));
  LockdownSession session(kUdid);
  ASSERT_TRUE(session.ok());
  lockdownd_service_descriptor_t service = session.Start("com.apple.afc");
  ASSERT_NE(service, nullptr);
  afc_client_t afc = nullptr;
  ASSERT_EQ(afc_client_new(session.device(), service, &afc), AFC_E_SUCCESS);
  lockdownd_service_descriptor_free(service);
  char** list = nullptr;
  ASSERT_EQ(afc_read_directory(afc, "/DCIM", &list), AFC_E_SUCCESS);
  std::vector<std::string> names;
  for (char** item = list; *item; ++item) names.emplace_back(*item);
  afc_dictionary_free(list);
  std::vector<std::string> expected = {".",   "..",        "IMG_0001.JPG", "..", "evil/name", "back\\slash",
                                       "nul", "inside", std::string(300, 'L')};
  EXPECT_EQ(names, expected);
  char** info = nullptr;
  EXPECT_EQ(afc_get_file_info(afc, "/DCIM/evil/name", &info), AFC_E_OBJECT_NOT_FOUND);
  list = nullptr;
  ASSERT_EQ(afc_read_directory(afc, "/", &list), AFC_E_SUCCESS);
  size_t root_entries = 0;
  for (char** item = list; *item; ++item) ++root_entries;
  afc_dictionary_free(list);
  EXPECT_EQ(root_entries, 4u) << ". .. DCIM big.bin";
  afc_client_free(afc);
}

TEST_F(FaultsTest, DetachCutsOpenConnections) {
  UseUpRefusal();
  LockdownSession session(kUdid);
  ASSERT_TRUE(session.ok());
  RawService diagnostics(session, "com.apple.mobile.diagnostics_relay");
  ASSERT_TRUE(diagnostics.ok());
  std::string error;
  ASSERT_TRUE(sim_.Detach("phone", &error)) << error;
  std::string bytes;
  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(diagnostics.Receive(1, &bytes, 3000));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << "closed, not just silent";
  EXPECT_FALSE(LockdownSession(kUdid).ok());
}

}  // namespace
}  // namespace devicesim
