#include "libbasic/vel_json_util.h"

#include <gtest/gtest.h>

namespace bas {
namespace {

TEST(VelJsonUtil, MembersKeepInsertionOrderAndAreCompact) {
  rapidjson::Document doc(rapidjson::kObjectType);
  auto& a = doc.GetAllocator();
  VelJsonUtil::AddMember(doc, "z", 1, a);
  VelJsonUtil::AddMember(doc, "big", int64_t{1} << 40, a);
  VelJsonUtil::AddMember(doc, "ok", true, a);
  VelJsonUtil::AddMember(doc, "name", std::string_view("a\"b\xE4\xB8\xAD"), a);
  VelJsonUtil::AddMember(doc, "half", 0.5, a);
  rapidjson::Value list(rapidjson::kArrayType);
  VelJsonUtil::PushBack(list, "x", a);
  rapidjson::Value inner(rapidjson::kObjectType);
  VelJsonUtil::AddMember(inner, "k", "v", a);
  VelJsonUtil::PushBack(list, inner, a);
  VelJsonUtil::AddMember(doc, "list", list, a);
  EXPECT_EQ(VelJsonUtil::ToString(doc),
            "{\"z\":1,\"big\":1099511627776,\"ok\":true,\"name\":\"a\\\"b\xE4\xB8\xAD\",\"half\":0.5,"
            "\"list\":[\"x\",{\"k\":\"v\"}]}");
}

}  // namespace
}  // namespace bas
