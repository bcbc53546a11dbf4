// Decoding the device's backup requests: exact kinds, the progress, the device's final word, arguments of the
// wrong type, and the progress steps the host sees.
#include "utility/backup/backup_request.h"

#include <gtest/gtest.h>

namespace {

DeviceLinkMessage Message(PlistValue::Array items) {
  DeviceLinkMessage message;
  message.value = PlistValue::MakeArray(std::move(items));
  message.name = message.value.array().front().IsString() ? message.value.array().front().Bytes() : "";
  return message;
}

PlistValue S(const char* text) { return PlistValue::String(text); }

TEST(BackupRequest, KindsAreMatchedExactly) {
  EXPECT_EQ(DecodeBackupRequest(Message({S("DLMessageUploadFiles")})).kind, BackupRequestKind::kUploadFiles);
  EXPECT_EQ(DecodeBackupRequest(Message({S("DLContentsOfDirectory")})).kind, BackupRequestKind::kContentsOfDirectory);
  EXPECT_EQ(DecodeBackupRequest(Message({S("dlmessageuploadfiles")})).kind, BackupRequestKind::kUnknown);
  EXPECT_EQ(DecodeBackupRequest(Message({S("DLMessageUploadFilesX")})).kind, BackupRequestKind::kUnknown);
  EXPECT_EQ(DecodeBackupRequest(Message({S("DLMessagePurgeDiskSpace"), PlistValue::Integer(5)})).kind,
            BackupRequestKind::kUnknown);
  EXPECT_EQ(DecodeBackupRequest(Message({PlistValue::Integer(1)})).kind, BackupRequestKind::kUnknown);
}

TEST(BackupRequest, TheFirstRealIsTheProgressAndTheDictionaryGivesTheDevicesWord) {
  BackupRequest request = DecodeBackupRequest(
      Message({S("DLMessageProcessMessage"),
               PlistValue::MakeDict({{"ErrorCode", PlistValue::Integer(208)},
                                     {"ErrorDescription", S("Device locked (MBErrorDomain/208)")}}),
               PlistValue::Real(37.5), PlistValue::Real(80)}));
  EXPECT_EQ(request.kind, BackupRequestKind::kProcessMessage);
  ASSERT_TRUE(request.progress);
  EXPECT_EQ(*request.progress, 37.5);
  EXPECT_TRUE(request.has_error_code);
  EXPECT_EQ(request.error_code, 208);
  EXPECT_EQ(request.error_description, "Device locked (MBErrorDomain/208)");
  BackupRequest plain = DecodeBackupRequest(Message({S("DLMessageProcessMessage"), PlistValue::MakeDict()}));
  EXPECT_FALSE(plain.has_error_code);
  EXPECT_FALSE(plain.progress);
}

TEST(BackupRequest, MistypedArgumentsGiveEmptyValues) {
  BackupRequest request = DecodeBackupRequest(
      Message({S("DLMessageMoveItems"), S("not a dict"), PlistValue::MakeArray({S("a"), PlistValue::Integer(2)})}));
  EXPECT_TRUE(RequestMoves(request).empty());
  EXPECT_TRUE(RequestPathList(request).empty());
  EXPECT_EQ(RequestPathList(request, 2), std::vector<std::string>{"a"});
  EXPECT_EQ(RequestString(request, 9), "");
  BackupRequest moves = DecodeBackupRequest(Message(
      {S("DLMessageMoveItems"), PlistValue::MakeDict({{"u/Snapshot/a", S("u/a")}, {"u/b", PlistValue::Integer(1)}})}));
  ASSERT_EQ(RequestMoves(moves).size(), 1u);
  EXPECT_EQ(RequestMoves(moves)[0].second, "u/a");
}

TEST(BackupRequest, ProgressStepsAreHundredthsOfAPercentWithinBounds) {
  EXPECT_EQ(ProgressStep(37.5), 3750);
  EXPECT_EQ(ProgressStep(0.019), 1);
  EXPECT_EQ(ProgressStep(100), 10000);
  EXPECT_EQ(ProgressStep(250), 10000);
  EXPECT_EQ(ProgressStep(-3), 0);
  EXPECT_EQ(ProgressStep(std::numeric_limits<double>::quiet_NaN()), 0);
}

}  // namespace
