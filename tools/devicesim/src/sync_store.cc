#include "sync_store.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "plist_util.h"
#include "sync_classes.h"

namespace devicesim {
namespace {

std::string EntityOf(const Value& fields) {
  const Value* entity = fields.Find(kEntityNameKey);
  return entity && entity->type() == Value::Type::kString ? entity->text() : std::string();
}

// A numeric identifier's value, so new identifiers continue after the profile's own.
uint64_t NumericId(const std::string& id) {
  if (id.empty() || id.size() > 18 || !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  return std::strtoull(id.c_str(), nullptr, 10);
}

// Visits every member of a plist dictionary.
template <typename Visit>
void ForEachMember(plist_t dict, Visit visit) {
  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(dict, &iter);
  while (iter) {
    char* key = nullptr;
    plist_t item = nullptr;
    plist_dict_next_item(dict, iter, &key, &item);
    if (!key) break;
    visit(std::string(key), item);
    std::free(key);
  }
  std::free(iter);
}

// Whether a link field of `fields` names one of `ids`.
bool LinksAny(const Value& fields, const std::set<std::string>& ids) {
  for (const auto& [field, value] : fields.members()) {
    if (!IsLinkField(field) || value.type() != Value::Type::kArray) continue;
    for (const Value& target : value.items()) {
      if (target.type() == Value::Type::kString && ids.count(target.text())) return true;
    }
  }
  return false;
}

}  // namespace

SyncStore::SyncStore(const SyncProfile& profile)
    : batch_size_(std::max(1, profile.batch_size)), settings_(profile.classes), fault_(profile.fault) {
  for (const auto& [data_class, records] : profile.records) {
    ClassState& state = classes_[data_class];
    const SyncClassInfo* info = FindSyncClass(data_class);
    for (const SyncRecord& record : records) {
      std::string entity = EntityOf(*record.fields);
      Stored& stored = state.records[record.id];
      stored.fields = record.fields;
      stored.rank = info ? EntityRank(*info, entity) : 0;
      stored.order = state.next_order++;
      stored.changed = ++state.clock;
      state.next_id = std::max(state.next_id, NumericId(record.id) + 1);
    }
  }
}

SyncClassSettings SyncStore::Settings(const std::string& data_class) const {
  auto it = settings_.find(data_class);
  return it == settings_.end() ? SyncClassSettings{} : it->second;
}

SyncStore::ClassState& SyncStore::State(const std::string& data_class) { return classes_[data_class]; }

SyncStart SyncStore::Begin(const std::string& data_class, const std::string& computer_device_anchor) {
  SyncClassSettings settings = Settings(data_class);
  const SyncClassInfo* info = FindSyncClass(data_class);
  std::lock_guard<std::mutex> lock(mutex_);
  ClassState& state = State(data_class);
  SyncStart start;
  bool known = !state.confirmed_anchor.empty() && computer_device_anchor == state.confirmed_anchor;
  std::string type = settings.sync_type.empty() ? (known ? "fast" : "slow") : settings.sync_type;
  if (type == "fast") {
    start.sync_type = "SDSyncTypeFast";
    start.changes_since = known ? state.confirmed_at : 0;
  } else {
    start.sync_type = type == "reset" ? "SDSyncTypeReset" : "SDSyncTypeSlow";
  }
  start.device_anchor = std::string(info ? info->short_name : "Sync") + "-" + std::to_string(++state.anchors_given);
  return start;
}

void SyncStore::Finish(const std::string& data_class, const std::string& device_anchor) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClassState& state = State(data_class);
  state.confirmed_anchor = device_anchor;
  state.confirmed_at = state.clock;
}

std::vector<SyncRecord> SyncStore::Records(const std::string& data_class, uint64_t since,
                                           uint64_t* version) const {
  std::vector<std::pair<const std::string*, const Stored*>> chosen;
  std::vector<SyncRecord> out;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = classes_.find(data_class);
  if (version) *version = found == classes_.end() ? 0 : found->second.clock;
  if (found == classes_.end()) return out;
  for (const auto& [id, stored] : found->second.records) {
    if (stored.changed > since) chosen.emplace_back(&id, &stored);
  }
  std::sort(chosen.begin(), chosen.end(), [](const auto& a, const auto& b) {
    return a.second->rank != b.second->rank ? a.second->rank < b.second->rank : a.second->order < b.second->order;
  });
  out.reserve(chosen.size());
  for (const auto& [id, stored] : chosen) out.push_back({*id, stored->fields});
  return out;
}

void SyncStore::Put(const std::string& data_class, ClassState& state, const std::string& id, Value fields) {
  const SyncClassInfo* info = FindSyncClass(data_class);
  size_t rank = info ? EntityRank(*info, EntityOf(fields)) : 0;
  auto [it, added] = state.records.try_emplace(id);
  if (added) it->second.order = state.next_order++;
  it->second.fields = std::make_shared<const Value>(std::move(fields));
  it->second.rank = rank;
  it->second.changed = ++state.clock;
}

std::map<std::string, std::string> SyncStore::Apply(const std::string& data_class, plist_t changes,
                                                    std::map<std::string, std::string>* session_ids,
                                                    size_t* rejected) {
  const SyncClassInfo* info = FindSyncClass(data_class);
  std::map<std::string, std::string> assigned;
  std::vector<std::pair<std::string, Value>> puts;
  std::vector<std::string> deletes;
  std::lock_guard<std::mutex> lock(mutex_);
  ClassState& state = State(data_class);
  ForEachMember(changes, [&](const std::string& key, plist_t item) {
    if (plist_get_node_type(item) != PLIST_DICT) {
      auto earlier = session_ids->find(key);
      deletes.push_back(earlier == session_ids->end() ? key : earlier->second);
      return;
    }
    Value fields = FromPlist(item);
    if (!info || EntityRank(*info, EntityOf(fields)) == info->entities.size()) {
      ++*rejected;
      return;
    }
    std::string id = key;
    if (!state.records.count(key)) {
      auto earlier = session_ids->find(key);
      if (earlier != session_ids->end()) {
        id = earlier->second;  // the computer sends a record it added earlier in this session again
      } else {
        id = std::to_string(state.next_id++);
        assigned[key] = id;
        (*session_ids)[key] = id;
      }
    }
    puts.emplace_back(id, std::move(fields));
  });
  for (auto& [id, fields] : puts) {
    // Links may name records the computer added in this session under its own identifiers.
    for (const auto& [field, value] : std::vector<std::pair<std::string, Value>>(fields.members())) {
      if (!IsLinkField(field) || value.type() != Value::Type::kArray) continue;
      Value linked = Value::Array();
      for (const Value& target : value.items()) {
        auto mapped = session_ids->find(target.text());
        linked.Append(mapped == session_ids->end() || target.type() != Value::Type::kString ? target
                                                                                              : Value(mapped->second));
      }
      fields.Set(field, std::move(linked));
    }
    Put(data_class, state, id, std::move(fields));
  }
  DeleteWithDependents(state, std::move(deletes));
  return assigned;
}

void SyncStore::DeleteWithDependents(ClassState& state, std::vector<std::string> ids) {
  while (!ids.empty()) {
    std::set<std::string> gone;
    for (const std::string& id : ids) {
      if (state.records.erase(id)) gone.insert(id);
    }
    ids.clear();
    if (gone.empty()) return;
    ++state.clock;
    // Drop the deleted identifiers from every link; a record whose owner list empties goes too.
    for (auto& [id, stored] : state.records) {
      if (!LinksAny(*stored.fields, gone)) continue;
      Value updated = *stored.fields;
      bool orphan = false;
      for (const auto& [field, value] : stored.fields->members()) {
        if (!IsLinkField(field) || value.type() != Value::Type::kArray) continue;
        Value kept = Value::Array();
        for (const Value& target : value.items()) {
          if (target.type() != Value::Type::kString || !gone.count(target.text())) kept.Append(target);
        }
        if (IsOwnerField(field) && kept.items().empty() && !value.items().empty()) orphan = true;
        updated.Set(field, std::move(kept));
      }
      if (orphan) {
        ids.push_back(id);
      } else {
        stored.fields = std::make_shared<const Value>(std::move(updated));
        stored.changed = state.clock;
      }
    }
  }
}

SyncStore::EncodedBatches SyncStore::KeptBatches(const std::string& data_class) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = classes_.find(data_class);
  if (found == classes_.end() || found->second.kept_version != found->second.clock) return nullptr;
  return found->second.kept;
}

void SyncStore::KeepBatches(const std::string& data_class, uint64_t version, EncodedBatches batches) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClassState& state = State(data_class);
  if (state.clock != version) return;  // changed meanwhile: the batches are stale already
  state.kept_version = version;
  state.kept = std::move(batches);
}

void SyncStore::Clear(const std::string& data_class) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClassState& state = State(data_class);
  state.records.clear();
  ++state.clock;
}

size_t SyncStore::Count(const std::string& data_class) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = classes_.find(data_class);
  return found == classes_.end() ? 0 : found->second.records.size();
}

bool SyncStore::TakeFault(SyncFault* fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fault_.times == 0) return false;
  *fault = fault_;
  if (fault_.times > 0) --fault_.times;
  return true;
}

}  // namespace devicesim
