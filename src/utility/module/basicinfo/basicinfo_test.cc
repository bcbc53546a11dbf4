// The identity and usage objects of command 300, without a device: member order, kinds and the storage sums.
#include <gtest/gtest.h>

#include <map>

#include "utility/module/basicinfo/basicinfo_internal.h"

namespace basicinfo {
namespace {

// Lockdown values by "domain/key" ("/key" for the top level).
class FakeDevice {
 public:
  FakeDevice& Set(const std::string& domain, const std::string& key, PlistValue value) {
    values_[domain + "/" + key] = std::move(value);
    return *this;
  }
  ValueReader Reader() const {
    return [this](const char* domain, const char* key) -> std::optional<PlistValue> {
      auto it = values_.find(std::string(domain ? domain : "") + "/" + key);
      if (it == values_.end()) return std::nullopt;
      return it->second;
    };
  }

 private:
  std::map<std::string, PlistValue> values_;
};

TEST(IdentityReport, MembersComeInTableOrderWithTheirKindsWhateverOrderTheDeviceHasThem) {
  FakeDevice device;
  device.Set("com.apple.disk_usage", "TotalSystemCapacity", PlistValue::Integer(12000000000))
      .Set("com.apple.mobile.battery", "BatteryIsCharging", PlistValue::Boolean(true))
      .Set("", "Uses24HourClock", PlistValue::Boolean(false))
      .Set("", "UniqueChipID", PlistValue::Integer(7196157011484718))
      .Set("", "SupportedDeviceFamilies",
           PlistValue::MakeArray({PlistValue::Integer(1), PlistValue::Real(2.5), PlistValue::String("x")}))
      .Set("", "TimeZoneOffsetFromUTC", PlistValue::Real(-18000.0))
      .Set("", "PhoneNumber", PlistValue::String("+1 555 0100"))
      .Set("", "ActivationStateAcknowledged", PlistValue::Boolean(true))
      .Set("", "ProductVersion", PlistValue::String("16.4"))
      .Set("", "DeviceName", PlistValue::String("Kitchen \"Phone\""))
      .Set("com.apple.international", "Keyboard", PlistValue::String("en_US"));
  IdentityReport report = BuildIdentityReport(device.Reader(), false);
  EXPECT_EQ(report.json,
            R"({"DeviceName":"Kitchen \"Phone\"","ProductVersion":"16.4","ActivationStateAcknowledged":true,)"
            R"("PhoneNumber":"+1 555 0100","SupportedDeviceFamilies":[1,3],"TimeZoneOffsetFromUTC":-18000,)"
            R"("UniqueChipID":7196157011484718,"Uses24HourClock":false,"BatteryIsCharging":true,)"
            R"("Keyboard":"en_US","TotalSystemCapacity":12000000000,"IsJailbreak":false})");
  EXPECT_EQ(report.product_version, "16.4");
  EXPECT_EQ(report.product_type, "");
}

TEST(IdentityReport, AValueOfTheWrongKindOrDomainIsLeftOut) {
  FakeDevice device;
  device.Set("", "DeviceName", PlistValue::Integer(5))                   // text expected
      .Set("", "PasswordProtected", PlistValue::String("yes"))           // boolean expected
      .Set("", "BasebandChipId", PlistValue::String("12"))               // integer expected
      .Set("", "SupportedDeviceFamilies", PlistValue::Integer(1))        // array expected
      .Set("", "BatteryCurrentCapacity", PlistValue::Integer(80))        // lives in the battery domain
      .Set("com.apple.mobile.battery", "ProductType", PlistValue::String("iPhone14,5"));  // lives at the top
  EXPECT_EQ(BuildIdentityReport(device.Reader(), true).json, R"({"IsJailbreak":true})");
}

TEST(IdentityReport, NothingFromTheDeviceStillSaysWhetherItIsJailbroken) {
  FakeDevice device;
  EXPECT_EQ(BuildIdentityReport(device.Reader(), false).json, R"({"IsJailbreak":false})");
}

PlistValue Category(int64_t size, int64_t count, int64_t purgeable, PlistValue::Dict nested = {}) {
  PlistValue::Dict members = {{"_PhysicalSize", PlistValue::Integer(size)},
                              {"_Count", PlistValue::Integer(count)},
                              {"_PurgeableSize", PlistValue::Integer(purgeable)}};
  for (auto& [key, value] : nested) members[key] = value;
  return PlistValue::MakeDict(members);
}

TEST(AssetMetrics, CategoriesAddTheirDirectlyNestedDictionariesButNotDeeperOnesNorPurgeableSizes) {
  PlistValue deeper = PlistValue::MakeDict({{"Deeper", Category(1000, 1000, 0)}, {"_PhysicalSize", PlistValue::Integer(10)},
                                            {"_Count", PlistValue::Integer(2)}});
  PlistValue params = PlistValue::MakeDict({
      {"Photo", Category(100, 4, 999, {{"Thumbnails", Category(20, 4, 0)}, {"Albums", deeper}})},
      {"Music", PlistValue::Integer(300)},
      {"Book", Category(7, 1, 0, {{"Note", PlistValue::String("not a dictionary")}})},
      {"_PhysicalSize", PlistValue::Integer(10000)},
      {"_FreeSize", PlistValue::Integer(4000)},
  });
  StorageFigures figures = EvaluateAssetMetrics(params);
  EXPECT_EQ(figures.photo.size, 130);
  EXPECT_EQ(figures.photo.count, 10);
  EXPECT_EQ(figures.music.size, 300);
  EXPECT_EQ(figures.music.count, 0);
  EXPECT_EQ(figures.book.size, 7);
  EXPECT_EQ(figures.application.size, 0);
  EXPECT_EQ(figures.data_physical, 10000);
  EXPECT_EQ(figures.data_free, 4000);
  EXPECT_EQ(figures.data_others, 10000 - 4000 - 130 - 300 - 7);
}

TEST(AssetMetrics, OthersAreComputedIn64BitsAndMayGoNegative) {
  PlistValue params = PlistValue::MakeDict({
      {"Movie", Category(int64_t{5} << 32, 1, 0)},
      {"_PhysicalSize", PlistValue::Integer(int64_t{3} << 32)},
      {"_FreeSize", PlistValue::Integer(int64_t{1} << 32)},
  });
  EXPECT_EQ(EvaluateAssetMetrics(params).data_others, -(int64_t{3} << 32));
}

TEST(AssetMetrics, ExtremeFiguresWrapInsteadOfOverflowing) {
  PlistValue params = PlistValue::MakeDict({
      {"Application", Category(INT64_MAX, 0, 0, {{"More", Category(INT64_MAX, 0, 0)}})},
      {"_PhysicalSize", PlistValue::Integer(INT64_MIN)},
  });
  StorageFigures figures = EvaluateAssetMetrics(params);
  EXPECT_EQ(figures.application.size, -2);
  EXPECT_EQ(figures.data_others, INT64_MIN + 2);
}

TEST(UsageReport, CycleCountFirstWhenKnownThenEveryStorageMemberInOrder) {
  StorageFigures figures;
  figures.application = {1, 2};
  figures.photo = {3, 4};
  figures.camera_roll = {5, 6};
  figures.movie = {7, 8};
  figures.book = {9, 10};
  figures.music = {11, 12};
  figures.ringtone = {13, 14};
  figures.data_free = 15;
  figures.data_physical = 16;
  figures.data_others = -17;
  std::string rest =
      R"("Application_PhysicalSize":1,"Application_Count":2,"Photo_PhysicalSize":3,"Photo_Count":4,)"
      R"("CameraRoll_PhysicalSize":5,"CameraRoll_Count":6,"Movie_PhysicalSize":7,"Movie_Count":8,)"
      R"("Book_PhysicalSize":9,"Book_Count":10,"Music_PhysicalSize":11,"Music_Count":12,)"
      R"("Ringtone_PhysicalSize":13,"Ringtone_Count":14,"Data_FreeSize":15,"Data_PhysicalSize":16,)"
      R"("Data_Others_PhysicalSize":-17})";
  EXPECT_EQ(BuildUsageReport(318, figures), R"({"CycleCount":318,)" + rest);
  EXPECT_EQ(BuildUsageReport(std::nullopt, figures), "{" + rest);
}

}  // namespace
}  // namespace basicinfo
