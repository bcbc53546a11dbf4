// The sync modules' record conversions on batches the simulator never sends: details before their contact, a
// record sent twice, bookmark parent cycles and deep nesting, calendar links that name nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iOSAPI/plist_message.h"
#include "utility/module/bookmark/bookmark_tree.h"
#include "utility/module/calendar/calendar_records.h"
#include "utility/module/contact/contact_book.h"
#include "utility/module/contact/contact_changes.h"
#include "utility/module/note/note_records.h"

namespace {

using Dict = PlistValue::Dict;

PlistValue S(const char* text) { return PlistValue::String(text); }
PlistValue Link(const std::string& id) { return PlistValue::MakeArray({PlistValue::String(id)}); }

PlistValue Record(const char* entity, Dict fields) {
  fields["com.apple.syncservices.RecordEntityName"] = S(entity);
  return PlistValue::MakeDict(std::move(fields));
}

DeviceLinkMessage Batch(Dict records) {
  DeviceLinkMessage batch;
  batch.value = PlistValue::MakeArray({S("SDMessageProcessChanges"), S("com.apple.Contacts"),
                                       PlistValue::MakeDict(std::move(records)), PlistValue::Boolean(false)});
  return batch;
}

std::vector<std::string> Contacts(const ContactBook& book) {
  std::vector<std::string> out;
  book.WriteContacts([&](const std::string& id, const std::string& json) { out.push_back(id + "=" + json); });
  return out;
}

TEST(ContactBookTest, ADetailBeforeItsContactIsDroppedAndOneForTwoContactsGoesToBoth) {
  ContactBook book;
  book.TakeBatch(Batch({{"d0", Record("com.apple.contacts.URL", {{"value", S("early")}, {"contact", Link("a")}})}}));
  book.TakeBatch(Batch({{"a", Record("com.apple.contacts.Contact", {{"first name", S("A")}})},
                        {"b", Record("com.apple.contacts.Contact", {{"first name", S("B")}})}}));
  PlistValue both = Record("com.apple.contacts.URL", {{"value", S("shared")}});
  both.dict()["contact"] = PlistValue::MakeArray({S("a"), S("b"), S("unknown")});
  book.TakeBatch(Batch({{"d1", both}}));
  const std::string url = R"("com.apple.contacts.URL":[{"id":"d1","com.apple.syncservices.RecordEntityName":)"
                          R"("com.apple.contacts.URL","value":"shared"}])";
  EXPECT_EQ(
      Contacts(book),
      (std::vector<std::string>{
          R"(a={"com.apple.syncservices.RecordEntityName":"com.apple.contacts.Contact","first name":"A",)" + url + "}",
          R"(b={"com.apple.syncservices.RecordEntityName":"com.apple.contacts.Contact","first name":"B",)" + url +
              "}"}));
}

TEST(ContactBookTest, ARecordSentAgainReplacesTheFirstInItsPlace) {
  ContactBook book;
  book.TakeBatch(Batch({{"a", Record("com.apple.contacts.Contact", {{"first name", S("Old")}})},
                        {"b", Record("com.apple.contacts.Contact", {{"first name", S("B")}})}}));
  book.TakeBatch(Batch({{"a", Record("com.apple.contacts.Contact", {{"first name", S("New")}})}}));
  std::vector<std::string> contacts = Contacts(book);
  ASSERT_EQ(contacts.size(), 2u);
  EXPECT_NE(contacts[0].find("New"), std::string::npos);
  EXPECT_EQ(book.contact_count(), 2u);
}

std::vector<std::string> Roots(const BookmarkTree& tree) {
  std::vector<std::string> roots;
  tree.WriteRoots([&](const std::string& json) { roots.push_back(json); });
  return roots;
}

TEST(BookmarkTreeTest, AParentCycleIsShownOnceFromTheFirstNodeOfIt) {
  BookmarkTree tree;
  tree.TakeBatch(Batch({{"x", Record("com.apple.bookmarks.Folder", {{"name", S("X")}, {"parent", Link("y")}})},
                        {"y", Record("com.apple.bookmarks.Folder", {{"name", S("Y")}, {"parent", Link("x")}})},
                        {"z", Record("com.apple.bookmarks.Folder", {{"name", S("Z")}, {"parent", Link("z")}})}}));
  std::vector<std::string> roots = Roots(tree);
  ASSERT_EQ(roots.size(), 2u);
  // z names itself and is a root; x and y make a cycle no root reaches: cut at x, the first to arrive.
  EXPECT_NE(roots[0].find(R"("id":"z")"), std::string::npos);
  EXPECT_EQ(roots[1].find(R"({"id":"x")"), 0u);
  EXPECT_NE(roots[1].find(R"("children":[{"id":"y")"), std::string::npos);
  EXPECT_EQ(roots[1].find(R"("id":"x")", 2), std::string::npos);
}

TEST(BookmarkTreeTest, NestingDeeperThanAnyStackIsWrittenWhole) {
  BookmarkTree tree;
  Dict records;
  constexpr int kDepth = 50000;
  for (int i = 0; i < kDepth; ++i) {
    Dict fields{{"name", S("f")}};
    if (i > 0) fields["parent"] = Link(std::to_string(i - 1));
    records[std::to_string(i)] = Record("com.apple.bookmarks.Folder", std::move(fields));
  }
  tree.TakeBatch(Batch(std::move(records)));
  std::vector<std::string> roots = Roots(tree);
  ASSERT_EQ(roots.size(), 1u);
  EXPECT_EQ(roots[0].size() - roots[0].rfind("}]}"), 3u);
}

TEST(CalendarSetTest, EventsOfUnknownCalendarsAndAlarmsOfUnknownEventsAreNotShown) {
  CalendarSet set;
  set.TakeBatch(Batch({{"e", Record("com.apple.calendars.Event", {{"summary", S("lost")}, {"calendar", Link("nope")}})},
                       {"a", Record("com.apple.calendars.DisplayAlarm", {{"owner", Link("nope")}})},
                       {"c", Record("com.apple.calendars.Calendar", {{"title", S("T")}})}}));
  std::vector<std::string> calendars;
  set.Write([&](const std::string& json) { calendars.push_back(json); });
  ASSERT_EQ(calendars.size(), 1u);
  EXPECT_NE(calendars[0].find(R"("events":[])"), std::string::npos);
}

PlistValue Decoded(const std::string& xml) {
  std::optional<std::string> binary = MakeMessage(xml);
  PlistValue value;
  EXPECT_TRUE(binary && ParseMessage(binary->data(), binary->size(), &value)) << xml;
  return value;
}

TEST(NoteChangeTest, ANoteAddedAtSixUtcCarriesThatMomentAsBothDatesAndTheHostsTexts) {
  PlistValue message = Decoded(NoteChangeMessage("n<1>", "Shop & go", "eggs", "2024-03-03T06:00:00Z"));
  ASSERT_EQ(message.array().size(), 5u);
  const PlistValue* note = message.array()[2].FindDict("n<1>");
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->Find("dateCreated")->Text(), "2024-03-03T06:00:00Z");
  EXPECT_EQ(note->Find("dateModified")->Text(), "2024-03-03T06:00:00Z");
  EXPECT_EQ(note->FindString("subject"), "Shop & go");
  EXPECT_EQ(note->FindString("content"), "eggs");
  EXPECT_EQ(note->FindString("contentType"), "text/plain");
  EXPECT_FALSE(message.array()[3].AsBool());
}

TEST(GroupChangeTest, AnEditCarriesItsMembersAfterTheNameAndAnAddNone) {
  std::vector<std::string> members = {"c1", "c<2>"};
  PlistValue edit = Decoded(GroupChangeMessage("Group/7", "Work", &members));
  const PlistValue* group = edit.array()[2].FindDict("Group/7");
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->FindString("name"), "Work");
  ASSERT_NE(group->FindArray("members"), nullptr);
  EXPECT_EQ(group->FindArray("members")->array()[1].Bytes(), "c<2>");
  PlistValue add = Decoded(GroupChangeMessage("Group/t", "Work", nullptr));
  EXPECT_EQ(add.array()[2].FindDict("Group/t")->Find("members"), nullptr);
  EXPECT_TRUE(add.array()[3].AsBool());
}

}  // namespace
