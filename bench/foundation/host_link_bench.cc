// The host link: (1) reports with 4 MiB raw data parts sent through Corvane's packet channel to a host, beside
// plain loopback TCP moving the same bytes in the same run; (2) the round trip of a small command (600) through a
// real Corvane process: intake, task, module, report. Prints MiB/s, the ratio, and the round trip's p50 and p99.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "basic/ipc_packet_channel.h"
#include "common/side_by_side.h"
#include "common/corvane_start.h"
#include "hostlink/connection.h"
#include "hostlink/listener.h"
#include "platform/socket.h"
#include "utility/task_report.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t kChunk = 4 << 20;
constexpr int kChunksPerIteration = 64;  // 256 MiB

// Reads and discards `total` bytes from a socket.
void Drain(int socket, uint64_t total) {
  std::vector<char> buffer(1 << 20);
  while (total > 0) {
    long n = platform::Receive(socket, buffer.data(), std::min<uint64_t>(buffer.size(), total));
    if (n <= 0) return;
    total -= static_cast<uint64_t>(n);
  }
}

struct Loopback {
  hostlink::HostListener listener;
  Loopback() { listener.Listen(0); }
};

void BM_CorvaneChannelReports(benchmark::State& state) {
  Loopback loop;
  bas::IPCPacketChannel channel;
  bas::IPCConnectionPtr connection = channel.Connect(loop.listener.port());
  std::unique_ptr<hostlink::Connection> host = loop.listener.Accept(5s);
  if (!connection || !host) return state.SkipWithError("no connection");
  std::string data(kChunk, 'x');
  TaskReport report;
  report.stage = 2;
  report.type = 1;
  report.data = data;
  std::string text = BuildReportText(report);
  std::string storage;
  uint64_t per_iteration = kChunksPerIteration * (bas::kPacketHeaderSize + text.size() + data.size());
  for (auto _ : state) {
    std::thread drain([&] { Drain(host->fd(), per_iteration); });
    for (int i = 0; i < kChunksPerIteration; ++i) {
      channel.Send(connection, bas::IPCPacketHeader{1, 702, 2, 0}, text, BuildReportData(report, &storage));
    }
    drain.join();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kChunksPerIteration * kChunk));
}

void BM_RawLoopbackTcp(benchmark::State& state) {
  Loopback loop;
  platform::SocketHandle socket = platform::ConnectLoopback(loop.listener.port());
  std::unique_ptr<hostlink::Connection> host = loop.listener.Accept(5s);
  if (socket < 0 || !host) return state.SkipWithError("no connection");
  std::string data(kChunk, 'x');
  for (auto _ : state) {
    std::thread drain([&] { Drain(host->fd(), uint64_t{kChunksPerIteration} * kChunk); });
    for (int i = 0; i < kChunksPerIteration; ++i) platform::SendAll(socket, data.data(), data.size());
    drain.join();
  }
  platform::CloseSocket(socket);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kChunksPerIteration * kChunk));
}

void BM_ControlCommandRoundTrip(benchmark::State& state) {
  std::string error;
  std::unique_ptr<e2e::CorvaneHarness> corvane = bench::StartCorvane("", "", 0, &error);
  if (!corvane) return state.SkipWithError(error.c_str());
  hostlink::Connection* host = &corvane->host();
  std::vector<double> micros;
  uint64_t task = 1000;
  for (auto _ : state) {
    ++task;
    auto start = std::chrono::steady_clock::now();
    host->SendCommand(task, 600, R"({"info":{"task_id":"1"}})");
    auto result = host->WaitFor(hostlink::FinalOf(task, 600), 5s);
    auto end = std::chrono::steady_clock::now();
    if (!result) return state.SkipWithError("no answer");
    micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  std::sort(micros.begin(), micros.end());
  state.counters["p50_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

BENCHMARK(BM_CorvaneChannelReports)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_RawLoopbackTcp)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ControlCommandRoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(20000);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunSideBySide(argc, argv, {{"BM_CorvaneChannelReports", "BM_RawLoopbackTcp", "bytes_per_second"}});
}
