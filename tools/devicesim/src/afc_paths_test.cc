#include "afc_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "afc_wire.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

TEST(NormalizeAfcPath, DropsEmptyAndDotComponentsAndResolvesDotDotInside) {
  std::string out;
  ASSERT_TRUE(NormalizeAfcPath("", &out));
  EXPECT_EQ(out, "/");
  ASSERT_TRUE(NormalizeAfcPath("//DCIM/./100APPLE//", &out));
  EXPECT_EQ(out, "/DCIM/100APPLE");
  ASSERT_TRUE(NormalizeAfcPath("DCIM/../Books/a.epub", &out));
  EXPECT_EQ(out, "/Books/a.epub");
  ASSERT_TRUE(NormalizeAfcPath("a/b/../..", &out));
  EXPECT_EQ(out, "/");
}

TEST(NormalizeAfcPath, RefusesClimbingAboveTheRoot) {
  std::string out;
  EXPECT_FALSE(NormalizeAfcPath("..", &out));
  EXPECT_FALSE(NormalizeAfcPath("/../etc/passwd", &out));
  EXPECT_FALSE(NormalizeAfcPath("DCIM/../../x", &out));
  // A name that merely contains dots is an ordinary name.
  ASSERT_TRUE(NormalizeAfcPath("/..hidden/...", &out));
  EXPECT_EQ(out, "/..hidden/...");
}

class ResolveAfcPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/afcpaths.XXXXXX";
    base_ = mkdtemp(pattern);
    root_ = fs::canonical(base_).string() + "/afc";
    fs::create_directories(root_ + "/DCIM");
    std::ofstream(root_ + "/DCIM/a.jpg") << "x";
    std::ofstream(base_ + "/secret") << "outside";
    fs::create_symlink(base_ + "/secret", root_ + "/out_abs");
    fs::create_symlink("../secret", root_ + "/out_rel");
    fs::create_symlink(base_, root_ + "/out_dir");
    fs::create_symlink("DCIM/a.jpg", root_ + "/in_link");
    fs::create_symlink(base_ + "/missing", root_ + "/dangling");
  }
  void TearDown() override { fs::remove_all(base_); }

  uint64_t Resolve(const std::string& path, bool follow, std::string* host = nullptr) {
    std::string ignored;
    return ResolveAfcPath(root_, path, follow, host ? host : &ignored);
  }

  std::string base_, root_;
};

TEST_F(ResolveAfcPathTest, MapsPathsInsideTheRoot) {
  std::string host;
  EXPECT_EQ(Resolve("/DCIM/a.jpg", true, &host), kAfcSuccess);
  EXPECT_EQ(host, root_ + "/DCIM/a.jpg");
  EXPECT_EQ(Resolve("/", true, &host), kAfcSuccess);
  EXPECT_EQ(host, root_);
  EXPECT_EQ(Resolve("DCIM/new/deeper/file", true), kAfcSuccess) << "not-yet-existing paths are fine";
  EXPECT_EQ(Resolve("in_link", true), kAfcSuccess) << "a link that stays inside may be followed";
}

TEST_F(ResolveAfcPathTest, RefusesDotDotEscapes) {
  EXPECT_EQ(Resolve("../secret", true), kAfcPermissionDenied);
  EXPECT_EQ(Resolve("/DCIM/../../secret", false), kAfcPermissionDenied);
}

TEST_F(ResolveAfcPathTest, RefusesFollowingLinksThatLeave) {
  EXPECT_EQ(Resolve("out_abs", true), kAfcPermissionDenied);
  EXPECT_EQ(Resolve("out_rel", true), kAfcPermissionDenied);
  EXPECT_EQ(Resolve("out_dir/secret", true), kAfcPermissionDenied);
  EXPECT_EQ(Resolve("out_dir/new_file", false), kAfcPermissionDenied) << "creating through a link that leaves";
  EXPECT_EQ(Resolve("dangling", true), kAfcPermissionDenied) << "a dangling link could create a file outside";
}

TEST_F(ResolveAfcPathTest, AllowsActingOnALinkItself) {
  // Information about, removal or renaming of a link touch only the link inside the root.
  EXPECT_EQ(Resolve("out_abs", false), kAfcSuccess);
  EXPECT_EQ(Resolve("dangling", false), kAfcSuccess);
}

}  // namespace
}  // namespace devicesim
