// Reports gathered into one write: each still a whole packet of its own, byte for byte what it would have been
// alone, in order; nothing held back once the batch is flushed or gone.
#include "utility/report_batch.h"

#include <gtest/gtest.h>

#include <vector>

#include "utility/zeb_utility.h"

namespace {

struct Packet {
  bas::IPCPacketHeader header;
  std::string payload;
};

class WriteRecorder : public ZEBReportSink {
 public:
  int SendReportToHost(const bas::IPCPacketHeader&, const TaskReport&) override { return 1; }
  bool SendReportOnSocket(int, const bas::IPCPacketHeader&, const TaskReport&) override { return false; }
  int SendPacketsToHost(std::string_view packets) override {
    writes.emplace_back(packets);
    return 0;
  }
  std::vector<std::string> writes;
};

// Cuts written bytes into packets; fails the test on anything that is not a whole packet.
std::vector<Packet> Cut(std::string_view bytes) {
  std::vector<Packet> packets;
  while (!bytes.empty()) {
    Packet packet;
    if (bytes.size() < bas::kPacketHeaderSize || !bas::DecodePacketHeader(bytes.data(), &packet.header) ||
        bytes.size() - bas::kPacketHeaderSize < packet.header.length) {
      ADD_FAILURE() << "not a whole packet";
      break;
    }
    packet.payload = bytes.substr(bas::kPacketHeaderSize, packet.header.length);
    bytes.remove_prefix(bas::kPacketHeaderSize + packet.header.length);
    packets.push_back(std::move(packet));
  }
  return packets;
}

TaskReport Message(const std::string& data) {
  TaskReport report;
  report.stage = 3;
  report.uuid = "00008110-000A";
  report.info = "{\"Count\":2}";
  report.data = data;
  return report;
}

TEST(ReportPacket, IsTheHeaderTheTextAndTheDataAsTheySendAlone) {
  std::string data = "{\"text\":\"see you at 8\",\"ROWID\":7}";
  for (bool stored : {false, true}) {
    TaskReport report = Message(data);
    report.store_data = stored;
    std::string bytes = "already there", scratch, alone_storage;
    AppendReportPacket({41, 201, 2, 0}, report, &bytes, &scratch);
    ASSERT_EQ(bytes.compare(0, 13, "already there"), 0);
    std::vector<Packet> packets = Cut(std::string_view(bytes).substr(13));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].header.task_id, 41u);
    EXPECT_EQ(packets[0].header.type, 201u);
    EXPECT_EQ(packets[0].header.code, 2);
    EXPECT_EQ(packets[0].payload, BuildReportText(report) + std::string(BuildReportData(report, &alone_storage)));
  }
}

TEST(ReportPacket, StoredDataAreAZlibStreamOfTheSameBytesAndTrustedInfoIsWrittenAsIs) {
  std::string data(70000, 'm');  // more than one stored block
  TaskReport report = Message(data);
  report.store_data = true;
  std::string storage, back;
  std::string_view sent = BuildReportData(report, &storage);
  EXPECT_GT(sent.size(), data.size());  // stored, not deflated
  ASSERT_TRUE(ZlibDecompress(sent, &back));
  EXPECT_TRUE(back == data);

  report.info = "{\"Count\":3}";
  report.info_is_json = true;
  EXPECT_NE(BuildReportText(report).find(",\"info\":{\"Count\":3}}"), std::string::npos);
}

// As a listing sends them: stored, so that the sizes below are what goes out.
TaskReport StoredMessage(const std::string& data) {
  TaskReport report = Message(data);
  report.store_data = true;
  return report;
}

TEST(ReportBatch, WritesOnlyWhenFullFlushedOrGoneAndKeepsEveryPacketInOrder) {
  WriteRecorder sink;
  std::vector<std::string> sent_data;
  {
    ReportBatch batch(sink);
    for (int i = 0; i < 3; ++i) {
      sent_data.push_back("message " + std::to_string(i));
      batch.Add({9, 201, 2, 0}, StoredMessage(sent_data.back()));
    }
    EXPECT_TRUE(sink.writes.empty());
    batch.Flush();
    ASSERT_EQ(sink.writes.size(), 1u);
    batch.Flush();
    EXPECT_EQ(sink.writes.size(), 1u) << "an empty batch writes nothing";
    // Enough to pass the threshold: written as soon as it is reached, the rest when the batch goes.
    std::string big(ReportBatch::kFlushBytes / 4, 'b');
    for (int i = 0; i < 5; ++i) {
      sent_data.push_back(big + std::to_string(i));
      batch.Add({9, 201, 2, 0}, StoredMessage(sent_data.back()));
    }
    EXPECT_EQ(sink.writes.size(), 2u);
  }
  ASSERT_EQ(sink.writes.size(), 3u);
  std::vector<std::string> received;
  for (const std::string& write : sink.writes) {
    for (const Packet& packet : Cut(write)) {
      std::string data, storage;
      size_t text_end = packet.payload.find('\0', 2);
      ASSERT_NE(text_end, std::string::npos);
      ASSERT_TRUE(ZlibDecompress(std::string_view(packet.payload).substr(text_end + 1), &data));
      received.push_back(data);
    }
  }
  EXPECT_EQ(received, sent_data);
}

}  // namespace
