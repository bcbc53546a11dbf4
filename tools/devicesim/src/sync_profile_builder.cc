// The ProfileBuilder calls for the synchronisation service: records, settings and the generated address book.
#include <filesystem>

#include "devicesim/profile_builder.h"
#include "sync_classes.h"
#include "sync_profile.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFirstNames[] = {"Amelia", "Jonas",  "Priya", "Mateo", "Hana",  "Oskar", "Leila", "Tomasz",
                                       "Ines",   "Kwame",  "Sofia", "Ravi",  "Elena", "Yusuf", "Clara", "Diego"};
constexpr const char* kLastNames[] = {"Okafor", "Lindqvist", "Marchetti", "Nakamura", "Brennan", "Dubois",
                                      "Haddad", "Kowalski",  "Moreau",    "Petrov",   "Alvarez", "Fischer",
                                      "Osei",   "Tanaka",    "Varga",     "Whitfield", "Sato"};
constexpr const char* kStreets[] = {"Harbour Road", "Linden Allee", "Via Roma", "Maple Street", "Rue Cler"};
constexpr const char* kCities[] = {"Bristol", "Uppsala", "Torino", "Portland", "Lyon"};

template <size_t N>
const char* Pick(const char* const (&list)[N], int index) {
  return list[static_cast<size_t>(index) % N];
}

Value Detail(const char* entity, const std::string& contact_id, const char* type) {
  Value record = Value::Dict();
  record.Set(kEntityNameKey, entity);
  record.Set("type", type);
  record.Set("contact", Value::Array({Value(contact_id)}));
  return record;
}

}  // namespace

ProfileBuilder& ProfileBuilder::AddSyncRecord(const std::string& data_class, const std::string& id, Value record) {
  sync_records_[data_class].emplace_back(id, std::move(record));
  return *this;
}

ProfileBuilder& ProfileBuilder::SetSyncBatchSize(int records) {
  Section("sync").Set("batch_size", records);
  return *this;
}

ProfileBuilder& ProfileBuilder::SetSyncClass(const std::string& data_class, const SyncClassSettings& settings) {
  Value& sync = Section("sync");
  Value* classes = sync.Find("classes");
  if (!classes) classes = &sync.Set("classes", Value::Dict());
  classes->Set(data_class, SyncClassSettingsToDocument(settings));
  return *this;
}

ProfileBuilder& ProfileBuilder::SetSyncFault(const SyncFault& fault) {
  Section("sync").Set("fault", SyncFaultToDocument(fault));
  return *this;
}

ProfileBuilder& ProfileBuilder::AddGeneratedContacts(int count) {
  std::vector<std::pair<std::string, Value>>& records = sync_records_["com.apple.Contacts"];
  int next_detail = count + 1;
  std::vector<std::pair<std::string, Value>> details;
  for (int i = 0; i < count; ++i) {
    std::string id = std::to_string(i + 1);
    Value contact = Value::Dict();
    contact.Set(kEntityNameKey, "com.apple.contacts.Contact");
    const char* first = Pick(kFirstNames, i);
    const char* last = Pick(kLastNames, i / 16);
    contact.Set("first name", first);
    contact.Set("last name", last);
    if (i % 3 == 0) contact.Set("company name", std::string(Pick(kLastNames, i + 5)) + " & Partners");
    if (i % 7 == 0) contact.Set("job title", "Engineer");
    if (i % 5 == 0) contact.Set("birthday", Value::Date(int64_t{315532800} + int64_t{i % 9000} * 86400));
    records.emplace_back(id, std::move(contact));

    std::string number = std::to_string(5550100000LL + i);
    Value phone = Detail("com.apple.contacts.Phone Number", id, i % 2 ? "mobile" : "home");
    phone.Set("value", "+1 " + number.substr(0, 3) + " " + number.substr(3, 3) + " " + number.substr(6));
    details.emplace_back(std::to_string(next_detail++), std::move(phone));
    Value email = Detail("com.apple.contacts.Email Address", id, "home");
    email.Set("value", std::string(first) + "." + last + std::to_string(i) + "@example.org");
    details.emplace_back(std::to_string(next_detail++), std::move(email));
    if (i % 2 == 0) {
      Value address = Detail("com.apple.contacts.Street Address", id, "work");
      address.Set("street", std::to_string(1 + i % 200) + " " + Pick(kStreets, i));
      address.Set("city", Pick(kCities, i));
      address.Set("postal code", std::to_string(10000 + i % 89999));
      details.emplace_back(std::to_string(next_detail++), std::move(address));
    }
    if (i % 10 == 0) {
      Value url = Detail("com.apple.contacts.URL", id, "home page");
      url.Set("value", "https://example.org/~" + std::string(first) + std::to_string(i));
      details.emplace_back(std::to_string(next_detail++), std::move(url));
    }
    if (i % 15 == 0) {
      Value related = Detail("com.apple.contacts.Related Name", id, "spouse");
      related.Set("value", Pick(kFirstNames, i + 3));
      details.emplace_back(std::to_string(next_detail++), std::move(related));
    }
    if (i % 20 == 0) {
      Value im = Detail("com.apple.contacts.IM", id, "work");
      im.Set("service", "Jabber");
      im.Set("user", std::string(first) + std::to_string(i) + "@chat.example.org");
      details.emplace_back(std::to_string(next_detail++), std::move(im));
    }
    if (i % 25 == 0) {
      Value date = Detail("com.apple.contacts.Date", id, "anniversary");
      date.Set("value", Value::Date(int64_t{1262304000} + int64_t{i % 3000} * 86400));
      details.emplace_back(std::to_string(next_detail++), std::move(date));
    }
  }
  for (auto& detail : details) records.push_back(std::move(detail));
  return *this;
}

bool ProfileBuilder::WriteSyncRecordFiles(const std::string& folder, std::string* error) const {
  if (sync_records_.empty()) return true;
  std::error_code ec;
  fs::path dir = fs::path(folder) / "sync";
  fs::create_directories(dir, ec);
  if (ec) {
    *error = "cannot create " + dir.string() + ": " + ec.message();
    return false;
  }
  for (const auto& [data_class, records] : sync_records_) {
    if (!FindSyncClass(data_class)) {
      *error = "the device syncs no data class " + data_class;
      return false;
    }
    if (!WriteSyncRecords((dir / (data_class + ".json")).string(), records, error)) return false;
  }
  return true;
}

}  // namespace devicesim
