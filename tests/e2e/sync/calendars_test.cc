// Calendars (1500 to 1502) through the real process, eight hours east of UTC; changes judged by the device's
// store.
#include "sync_scenario.h"

namespace e2e {
namespace {

using devicesim::Value;

constexpr char kCalendars[] = "com.apple.Calendars";
constexpr int64_t kMarch3At6Utc = 1709445600;  // 2024-03-03T06:00:00Z

class Calendars : public SyncScenario {};

TEST_F(Calendars, FortyFiveCalendarsComeAsTwentyTwentyAndFiveWithTheirEvents) {
  phone_.SetSyncBatchSize(7);
  Value colour = Value::Array({Value(0.5), Value(int64_t{1})});
  phone_.AddSyncRecord(kCalendars, "cal1",
                       SyncRecord("com.apple.calendars.Calendar",
                                  {{"title", "Home"}, {"read only", false}, {"colorComponents", colour}}));
  for (int i = 2; i <= 45; ++i) {
    phone_.AddSyncRecord(kCalendars, "cal" + std::to_string(i),
                         SyncRecord("com.apple.calendars.Calendar", {{"title", "C" + std::to_string(i)}}));
  }
  phone_.AddSyncRecord(kCalendars, "e1",
                       SyncRecord("com.apple.calendars.Event", {{"summary", "Swim"},
                                                                {"start date", Value::Date(kMarch3At6Utc)},
                                                                {"end date", Value::Date(kMarch3At6Utc + 3600)},
                                                                {"all day", false},
                                                                {"start date.timezone", "Asia/Singapore"},
                                                                {"calendar", Links({"cal1", "cal2"})}}));
  phone_.AddSyncRecord(
      kCalendars, "r1",
      SyncRecord("com.apple.calendars.Recurrence",
                 {{"frequency", "weekly"}, {"interval", Value(int64_t{1})}, {"owner", Links({"e1"})}}));
  phone_.AddSyncRecord(
      kCalendars, "a1",
      SyncRecord("com.apple.calendars.DisplayAlarm",
                 {{"description", "Go"}, {"triggerduration", Value(int64_t{-900})}, {"owner", Links({"e1"})}}));
  ASSERT_TRUE(Start());
  SyncRun run = Command(1500);
  EXPECT_EQ(run.code(), 0);
  ASSERT_EQ(run.Of(1500, 1).size(), 1u);
  EXPECT_EQ(run.Of(1500, 1)[0].info, R"({"Count":45})");
  std::vector<hostlink::Report> pages = run.Of(1500, 2);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(ParseJson(pages[0].data).Size(), 20u);
  EXPECT_EQ(ParseJson(pages[1].data).Size(), 20u);
  EXPECT_EQ(ParseJson(pages[2].data).Size(), 5u);
  rapidjson::Document first = ParseJson(pages[0].data);
  EXPECT_EQ(std::string(first[0]["id"].GetString()), "cal1");
  const std::string event =
      R"({"start_date":"2024-03-03 14:00:00","start_date_source":"2024-03-03T06:00:00Z","end_date":"2024-03-03 15:00:00",)"
      R"("end_date_source":"2024-03-03T07:00:00Z","all_day":"false","start_date_timezone":"Asia/Singapore",)"
      R"("com_apple_syncservices_RecordEntityName":"com.apple.calendars.Event","summary":"Swim","description":"",)"
      R"("location":"","recurrence":{"frequency":"weekly","until":"","until_source":"","interval":"1",)"
      R"("com_apple_syncservices_RecordEntityName":"com.apple.calendars.Recurrence"},"display_alarms":[{"description":"Go",)"
      R"("triggerduration":"-900","com_apple_syncservices_RecordEntityName":"com.apple.calendars.DisplayAlarm"}]})";
  EXPECT_EQ(pages[0].data.substr(0, pages[0].data.find("},{\"id\":\"cal2\"") + 1),
            R"([{"id":"cal1","title":"Home","com_apple_syncservices_RecordEntityName":"com.apple.calendars.Calendar",)"
            R"("read_only":"false","colorComponents":[0.5,1],"events":[)" +
                event + "]}");
  // The event belongs to both calendars it names.
  EXPECT_EQ(first[1]["events"].Size(), 1u);
  EXPECT_EQ(first[2]["events"].Size(), 0u);
}

TEST_F(Calendars, TheReadyPhoneListsItsCalendarsAndEveryEvent) {
  ASSERT_TRUE(StartReadyProfile());
  SyncRun run = Command(1500);
  EXPECT_EQ(run.code(), 0);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kCalendars, 110);
  ASSERT_EQ(run.Of(1500, 1).size(), 1u);
  EXPECT_EQ(run.Of(1500, 1)[0].info,
            "{\"Count\":" + std::to_string(store->per_entity["com.apple.calendars.Calendar"]) + "}");
  size_t events = 0;
  for (const hostlink::Report& page : run.Of(1500, 2)) {
    rapidjson::Document calendars = ParseJson(page.data);
    for (auto& calendar : calendars.GetArray()) events += calendar["events"].Size();
  }
  EXPECT_EQ(events, static_cast<size_t>(store->per_entity["com.apple.calendars.Event"]));
}

std::string Changes(const std::string& records, const char* entity) {
  return Plist("<array><string>SDMessageProcessChanges</string><string>com.apple.Calendars</string><dict>" + records +
               "</dict><false/><dict><key>SyncDeviceLinkEntityNamesKey</key><array><string>" + entity +
               "</string></array><key>SyncDeviceLinkAllRecordsOfPulledEntityTypeSentKey</key><true/></dict></array>");
}

TEST_F(Calendars, AnAddLinksTheEventToTheNewCalendarAndTheAlarmToTheNewEvent) {
  phone_.AddSyncRecord(kCalendars, "cal1", SyncRecord("com.apple.calendars.Calendar", {{"title", "Home"}}));
  ASSERT_TRUE(Start());
  const char* entity = "<key>com.apple.syncservices.RecordEntityName</key>";
  std::string calendar =
      Changes(std::string("<key>HC</key><dict>") + entity +
                  "<string>com.apple.calendars.Calendar</string><key>title</key><string>Trips</string></dict>",
              "com.apple.calendars.Calendar");
  std::string event = Changes(std::string("<key>HE</key><dict>") + entity +
                                  "<string>com.apple.calendars.Event</string><key>summary</key><string>Flight</string>"
                                  "<key>calendar</key><array><string>HC</string></array></dict>",
                              "com.apple.calendars.Event");
  std::string alarm = Changes(std::string("<key>HA</key><dict>") + entity +
                                  "<string>com.apple.calendars.DisplayAlarm</string><key>description</key><string>Pack"
                                  "</string><key>owner</key><array><string>HE</string></array></dict>",
                              "com.apple.calendars.DisplayAlarm");
  SyncRun run = Command(1501, Quoted("com.apple.calendars.Calendar") + ":" + Quoted(calendar) + "," +
                                  Quoted("com.apple.calendars.DisplayAlarm") + ":" + Quoted(alarm) + "," +
                                  Quoted("com.apple.calendars.Event") + ":" + Quoted(event));
  EXPECT_EQ(run.code(), 0);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kCalendars, 110);
  std::string trips, flight, pack;
  for (const auto& [id, fields] : store->records) {
    if (store->Field(id, "title") == "Trips") trips = id;
    if (store->Field(id, "summary") == "Flight") flight = id;
    if (store->Field(id, "description") == "Pack") pack = id;
  }
  ASSERT_FALSE(trips.empty());
  ASSERT_FALSE(flight.empty());
  ASSERT_FALSE(pack.empty());
  EXPECT_EQ(store->FirstLink(flight, "calendar"), trips);
  EXPECT_EQ(store->FirstLink(pack, "owner"), flight);

  EXPECT_EQ(Command(1502, "\"id\":" + Quoted(trips)).code(), 0);
  store = ReadStore(kCalendars, 110);
  EXPECT_EQ(store->records.count(trips), 0u);
  EXPECT_EQ(store->records.count("cal1"), 1u);
}

TEST_F(Calendars, ACalendarTheDeviceGivesNoIdentifierEndsWith29) {
  ASSERT_TRUE(Start());
  std::string calendar = Changes(
      "<key>HC</key><dict><key>com.apple.syncservices.RecordEntityName</key><string>"
      "com.apple.calendars.Nothing</string></dict>",
      "com.apple.calendars.Calendar");
  EXPECT_EQ(Command(1501, Quoted("com.apple.calendars.Calendar") + ":" + Quoted(calendar)).code(), 29);
  EXPECT_EQ(Command(1501, "\"x\":1").code(), 8);
  EXPECT_EQ(Command(1502).code(), 8);
}

}  // namespace
}  // namespace e2e
