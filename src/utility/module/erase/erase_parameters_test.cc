// The erase commands' parameter block: a zlib stream holding a JSON object.
#include "utility/module/erase/erase_parameters.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace {

std::string Deflate(const std::string& text) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()), text.size());
  out.resize(size);
  return out;
}

TEST(EraseParameters, InflatesTheObjectAndIgnoresBytesAfterTheStream) {
  rapidjson::Document parameters;
  ASSERT_TRUE(InflateParameterBlock(Deflate(R"({"level":2})") + std::string("\0", 1), &parameters));
  EXPECT_EQ(parameters["level"].GetInt(), 2);
}

TEST(EraseParameters, RefusesWhatIsNotAWholeStreamOfAnObject) {
  rapidjson::Document parameters;
  EXPECT_FALSE(InflateParameterBlock("", &parameters));
  EXPECT_FALSE(InflateParameterBlock(R"({"level":2})", &parameters));  // not compressed
  std::string whole = Deflate(R"({"level":2})");
  EXPECT_FALSE(InflateParameterBlock(whole.substr(0, whole.size() - 4), &parameters));
  EXPECT_FALSE(InflateParameterBlock(Deflate("[1,2]"), &parameters));
  EXPECT_FALSE(InflateParameterBlock(Deflate(std::string(2 << 20, ' ') + "{}"), &parameters));
}

}  // namespace
