// Thumbnails (403) and the named operation (404) through the real process: the legacy .THMB file found from the
// photo's modification time, the fallbacks, paths that would leave the photo folders, and unreadable blocks.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "photo/photo_scenario.h"
#include "support/photo/photo_test_databases.h"

namespace e2e {
namespace {

class PhotoThumbnails : public PhotoScenario {
 protected:
  void SetUp() override {
    phone_.SetProductVersion("16.4.1");
    phone_.AddFile("DCIM/100APPLE/IMG_0001.JPG", std::string(5000, 'j'));
    phone_.AddFile("DCIM/.THMB/12/100APPLE___IMG_0001.JPG.1500000012", "legacy thumbnail");
    phone_.AddFile("DCIM/100APPLE/IMG_0002.MOV", std::string(100, 'm'));
    phone_.AddFile("PhotoData/Metadata/DCIM/100APPLE/IMG_0002.JPG", "metadata thumbnail");
    phone_.AddFile("PhotoData/Thumbnails/V2/PhotoData/CPLAssets/g1/C.HEIC/5003.JPG", "v2 thumbnail");
    // What the Metadata fallback of "../../Secret.txt" would reach if the path were not refused.
    phone_.AddFile("Secret.JPG", "not a thumbnail");
    ASSERT_TRUE(Start());
    // The legacy name carries the photo's modification time; give it the one the name expects.
    timespec times[2] = {{1500000012, 0}, {1500000012, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (AfcFolder() + "/DCIM/100APPLE/IMG_0001.JPG").c_str(), times, 0), 0);
  }
};

TEST_F(PhotoThumbnails, EachThumbnailFoundIsOneReportWithItsBytes) {
  std::string block = R"({"11":"DCIM/100APPLE/IMG_0001.JPG","12":"DCIM/100APPLE/IMG_0002.MOV",)"
                      R"("13":"PhotoData/CPLAssets/g1/C.HEIC","14":"DCIM/100APPLE/IMG_0404.JPG",)"
                      R"("15":"DCIM/../../Secret.txt","16":"../../Secret.txt"})";
  PhotoRun run = Command(403, "{}", Compressed(block));
  ASSERT_EQ(run.code(), 0);
  ASSERT_EQ(run.reports.size(), 3u);
  EXPECT_EQ(run.reports[0].info, R"({"id":11,"path":"/DCIM/.THMB/12/100APPLE___IMG_0001.JPG.1500000012"})");
  EXPECT_EQ(run.reports[0].data, "legacy thumbnail");
  EXPECT_EQ(run.reports[1].info, R"({"id":12,"path":"/PhotoData/Metadata/DCIM/100APPLE/IMG_0002.JPG"})");
  EXPECT_EQ(run.reports[1].data, "metadata thumbnail");
  EXPECT_EQ(run.reports[2].data, "v2 thumbnail");
  for (const hostlink::Report& report : run.reports) {
    EXPECT_EQ(report.packet_type, 403u);
    EXPECT_EQ(report.header_code, 2);
  }
}

TEST_F(PhotoThumbnails, AnUnreadableBlockIs8) {
  EXPECT_EQ(Command(403, "{}", "not zlib").code(), 8);
  EXPECT_EQ(Command(403, "{}", Compressed("[1,2]")).code(), 8);
  EXPECT_EQ(Command(404, "{}", Compressed("{")).code(), 8);
}

TEST_F(PhotoThumbnails, ANamedOperationNobodyOffersFailsWith1) {
  EXPECT_EQ(Command(404, "{}", Compressed(R"({"name":"nothing-by-this-name"})")).code(), 1);
}

}  // namespace
}  // namespace e2e
