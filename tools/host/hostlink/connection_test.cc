#include "hostlink/connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fake_peer.h"
#include "hostlink/listener.h"

namespace hostlink {
namespace {

using std::chrono::milliseconds;
using testing::EncodeReport;
using testing::FakePeer;

// A host listener with Corvane's side (the fake peer) connected to it.
class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(listener_.Listen()) << listener_.last_error();
    ASSERT_NE(listener_.port(), 0);
    ASSERT_TRUE(peer_.Connect(listener_.port()));
    conn_ = listener_.Accept(milliseconds(2000));
    ASSERT_NE(conn_, nullptr) << listener_.last_error();
  }

  HostListener listener_;
  FakePeer peer_;
  std::unique_ptr<Connection> conn_;
};

TEST_F(ConnectionTest, CommandReachesThePeerWithHeaderAndPayloadIntact) {
  ASSERT_TRUE(conn_->SendHeartbeat());
  ASSERT_TRUE(conn_->SendCommand(42, 600, R"({"info":{}})", "bin", "2", 7)) << conn_->last_error();
  std::optional<Packet> packet = peer_.ReadPacket(milliseconds(2000));
  ASSERT_TRUE(packet);
  EXPECT_EQ(peer_.heartbeats(), 1u);
  EXPECT_EQ(packet->header.task_id, 42u);
  EXPECT_EQ(packet->header.packet_type, 600u);
  EXPECT_EQ(packet->header.code, 7);
  EXPECT_EQ(packet->payload, std::string("2\0{\"info\":{}}\0bin", 17));
}

TEST_F(ConnectionTest, WaitForKeepsTheReportsItPassesOverInArrivalOrder) {
  std::string start = EncodeReport(1, 19, kCodeSuccess, 0, 0, "", 0, R"({"pid":5,"task_id":"1"})");
  std::string event = EncodeReport(0, 1, kCodeProgress, 0, 3, "dev", 0, R"({"Model":"M"})");
  std::string monitor = EncodeReport(0, 9, kCodeSuccess, 0, 0, "", 0, R"({"error_code":9})");
  // A heartbeat joined to a packet, then a packet split over two writes with a heartbeat between packets.
  ASSERT_TRUE(peer_.Write(std::string(kHeartbeat) + start + event));
  ASSERT_TRUE(peer_.Write(monitor.substr(0, 20)));
  std::this_thread::sleep_for(milliseconds(20));
  ASSERT_TRUE(peer_.Write(monitor.substr(20) + std::string(kHeartbeat)));

  std::optional<Report> found = conn_->WaitFor(OfType(9), milliseconds(2000));
  ASSERT_TRUE(found) << conn_->last_error();
  EXPECT_EQ(found->info, R"({"error_code":9})");
  ASSERT_EQ(conn_->pending().size(), 2u);
  EXPECT_EQ(conn_->pending()[0].packet_type, 19u);
  EXPECT_EQ(conn_->pending()[1].packet_type, 1u);

  // A later wait looks at what is pending first; plain reads then take the rest in order.
  std::optional<Report> event_report = conn_->WaitFor(OfType(1), milliseconds(0));
  ASSERT_TRUE(event_report);
  EXPECT_EQ(event_report->uuid, "dev");
  std::optional<Report> start_report = conn_->ReadReport(milliseconds(0));
  ASSERT_TRUE(start_report);
  EXPECT_EQ(start_report->info, R"({"pid":5,"task_id":"1"})");
  EXPECT_TRUE(conn_->pending().empty());

  // The trailing heartbeat may still be in flight; reading once more collects it.
  conn_->ReadReport(milliseconds(100));
  EXPECT_EQ(conn_->heartbeats_received(), 2u);
}

TEST_F(ConnectionTest, LargeCompressedDataArrivesOverManyReads) {
  std::string data(4 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7919) >> 5);
  std::thread writer([&] { peer_.Write(EncodeReport(3, 703, kCodeProgress, 2, 0, "u", 0, "", data)); });
  std::optional<Report> r = conn_->WaitFor(FinalOf(3, 703), milliseconds(100));
  EXPECT_FALSE(r);  // a progress report is not final; it stays pending
  r = conn_->ReadReport(milliseconds(5000));
  writer.join();
  ASSERT_TRUE(r) << conn_->last_error();
  EXPECT_TRUE(r->data_was_compressed);
  EXPECT_EQ(r->data, data);
}

TEST_F(ConnectionTest, WaitsEndAtTheirTimeoutWhenNothingComes) {
  EXPECT_FALSE(conn_->ReadReport(milliseconds(50)));
  EXPECT_FALSE(conn_->peer_closed());
  EXPECT_NE(conn_->last_error().find("timed out"), std::string::npos);
  EXPECT_FALSE(conn_->WaitForClose(milliseconds(50)));
}

TEST_F(ConnectionTest, PeerCloseIsSeenAndEarlierReportsStayReadable) {
  ASSERT_TRUE(peer_.Write(EncodeReport(8, 600, kCodeFailure, 0, 21, "", 0)));
  peer_.Close();
  EXPECT_TRUE(conn_->WaitForClose(milliseconds(2000)));
  std::optional<Report> r = conn_->ReadReport(milliseconds(0));
  ASSERT_TRUE(r);
  EXPECT_TRUE(FinalOf(8, 600)(*r));
  EXPECT_EQ(r->code, 21);
  EXPECT_FALSE(conn_->ReadReport(milliseconds(1000)));
  EXPECT_TRUE(conn_->peer_closed());
}

TEST(HostListenerTest, AcceptWithoutAPeerReturnsNullAtTheTimeout) {
  HostListener listener;
  ASSERT_TRUE(listener.Listen());
  EXPECT_EQ(listener.Accept(milliseconds(50)), nullptr);
  EXPECT_FALSE(listener.last_error().empty());
}

}  // namespace
}  // namespace hostlink
