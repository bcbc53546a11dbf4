// Sixteen devices with four busy AFC connections each, all at once: every byte must arrive where it belongs.
#include <libimobiledevice/afc.h>

#include <atomic>
#include <thread>

#include "fidelity_fixture.h"

namespace devicesim {
namespace {

constexpr int kDevices = 16;
constexpr int kConnectionsPerDevice = 4;
constexpr uint32_t kFileSize = 4 << 20;

std::string UdidOf(int device) {
  char text[32];
  std::snprintf(text, sizeof(text), "00008110-0000%012d", device);
  return text;
}

// One connection's work: read the device's file twice and write a file of its own; returns what went wrong.
std::string Exercise(int device, int connection) {
  LockdownSession session(UdidOf(device));
  if (!session.ok()) return "handshake failed: " + std::to_string(session.error());
  lockdownd_service_descriptor_t service = session.Start("com.apple.afc");
  if (!service) return "AFC did not start";
  afc_client_t afc = nullptr;
  afc_error_t opened = afc_client_new(session.device(), service, &afc);
  lockdownd_service_descriptor_free(service);
  if (opened != AFC_E_SUCCESS) return "no AFC client";
  std::string problem;
  std::vector<char> buffer(1 << 20);
  for (int round = 0; round < 2 && problem.empty(); ++round) {
    uint64_t handle = 0;
    if (afc_file_open(afc, "shared.bin", AFC_FOPEN_RDONLY, &handle) != AFC_E_SUCCESS) {
      problem = "open failed";
      break;
    }
    for (uint32_t offset = 0; offset < kFileSize && problem.empty();) {
      uint32_t got = 0;
      if (afc_file_read(afc, handle, buffer.data(), static_cast<uint32_t>(buffer.size()), &got) != AFC_E_SUCCESS ||
          got == 0) {
        problem = "read failed at " + std::to_string(offset);
        break;
      }
      for (uint32_t i = 0; i < got; i += 4093) {
        if (static_cast<uint8_t>(buffer[i]) != ProfileBuilder::GeneratedByte(device, offset + i)) {
          problem = "wrong byte at " + std::to_string(offset + i);
          break;
        }
      }
      offset += got;
    }
    afc_file_close(afc, handle);
  }
  std::string name = "own-" + std::to_string(connection) + ".bin";
  uint64_t handle = 0;
  uint32_t written = 0;
  if (problem.empty() && (afc_file_open(afc, name.c_str(), AFC_FOPEN_WRONLY, &handle) != AFC_E_SUCCESS ||
                          afc_file_write(afc, handle, buffer.data(), static_cast<uint32_t>(buffer.size()),
                                         &written) != AFC_E_SUCCESS ||
                          written != buffer.size())) {
    problem = "write failed";
  }
  afc_file_close(afc, handle);
  afc_client_free(afc);
  return problem;
}

class ManyDevicesTest : public SimulatorTest {};

TEST_F(ManyDevicesTest, SixteenDevicesWithFourBusyConnectionsEach) {
  for (int device = 0; device < kDevices; ++device) {
    AddDevice("dev" + std::to_string(device),
              ProfileBuilder(UdidOf(device)).AddGeneratedFile("shared.bin", kFileSize, device));
  }
  std::vector<std::string> problems(kDevices * kConnectionsPerDevice);
  std::vector<std::thread> workers;
  for (int device = 0; device < kDevices; ++device) {
    for (int connection = 0; connection < kConnectionsPerDevice; ++connection) {
      workers.emplace_back([&problems, device, connection] {
        problems[device * kConnectionsPerDevice + connection] = Exercise(device, connection);
      });
    }
  }
  for (std::thread& worker : workers) worker.join();
  for (size_t i = 0; i < problems.size(); ++i) {
    EXPECT_EQ(problems[i], "") << "device " << i / kConnectionsPerDevice << " connection " << i % kConnectionsPerDevice;
  }
  for (int device = 0; device < kDevices; ++device) {
    EXPECT_EQ(Count({.udid = UdidOf(device), .channel = "lockdown", .name = "StartService"}),
              static_cast<size_t>(kConnectionsPerDevice));
  }
}

}  // namespace
}  // namespace devicesim
