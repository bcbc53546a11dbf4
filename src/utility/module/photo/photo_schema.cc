#include "utility/module/photo/photo_schema.h"

#include <glog/logging.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <regex>

namespace {

const std::regex& JoinNamePattern() {
  static const std::regex pattern("Z_[0-9]+ASSETS");
  return pattern;
}

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

int AssetColumnFromCreateText(SqliteDatabase& db, JoinTable* join) {
  std::string create_text;
  bool found = false;
  if (int result = ProbeTable(db, TableProbeSql(join->name), &create_text, &found); result != kDbOk) return result;
  std::vector<std::string> names = JoinTableNamesIn(create_text);
  if (names.size() < 2) return kPhotoNoJoinTable;
  join->asset_column = names[1];
  return kDbOk;
}

int AssetColumnFromColumnNames(SqliteDatabase& db, JoinTable* join) {
  SqliteStatement statement;
  if (int result = db.Prepare(JoinTableColumnsSql(join->name), &statement); result != kDbOk) return result;
  int columns = sqlite3_column_count(statement.get());
  for (int i = 0; i < columns; ++i) {
    const char* name = sqlite3_column_name(statement.get(), i);
    if (name != nullptr && std::regex_match(name, JoinNamePattern())) {
      join->asset_column = name;
      return kDbOk;
    }
  }
  return kPhotoNoJoinTable;
}

}  // namespace

std::vector<std::string> JoinTableNamesIn(const std::string& text) {
  std::vector<std::string> names;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), JoinNamePattern()); it != std::sregex_iterator(); ++it) {
    names.push_back(it->str());
  }
  return names;
}

int ProbeTable(SqliteDatabase& db, const std::string& probe_sql, std::string* create_text, bool* found) {
  SqliteStatement statement;
  if (int result = db.Prepare(probe_sql, &statement); result != kDbOk) return result;
  *found = statement.Step();
  *create_text = *found ? UpperCase(statement.Text(0)) : std::string();
  return kDbOk;
}

int ProbeAssetColumns(SqliteDatabase& db, const std::string& asset_table, AssetColumns* columns) {
  std::string create_text;
  bool found = false;
  if (int result = ProbeTable(db, AssetTableProbeSql(asset_table), &create_text, &found); result != kDbOk) {
    return result;
  }
  columns->trashed_state = !found || Contains(create_text, "ZTRASHEDSTATE");
  columns->favorite = Contains(create_text, "ZFAVORITE");
  columns->kind_subtype = Contains(create_text, "ZKINDSUBTYPE");
  return kDbOk;
}

int ProbeAlbumTrash(SqliteDatabase& db, bool* trashed_state) {
  std::string create_text;
  bool found = false;
  if (int result = ProbeTable(db, TableProbeSql("ZGENERICALBUM"), &create_text, &found); result != kDbOk) {
    return result;
  }
  *trashed_state = !found || Contains(create_text, "ZTRASHEDSTATE");
  return kDbOk;
}

int FindJoinTable(SqliteDatabase& db, AssetColumnSource source, JoinTable* join) {
  SqliteStatement statement;
  if (int result = db.Prepare(JoinTableSearchSql(), &statement); result != kDbOk) return result;
  if (!statement.Step()) {
    LOG(ERROR) << "No album join table in " << db.path();
    return kPhotoNoJoinTable;
  }
  join->name = statement.Text(0);
  // The regexp ignores case and matches anywhere in the name; the number is what follows the name's "Z_".
  long number = std::strtol(join->name.c_str() + std::min<size_t>(2, join->name.size()), nullptr, 10);
  join->album_column = "z_" + std::to_string(number) + "albums";
  int result = source == AssetColumnSource::kCreateText ? AssetColumnFromCreateText(db, join)
                                                        : AssetColumnFromColumnNames(db, join);
  if (result == kPhotoNoJoinTable) LOG(ERROR) << "No asset column in " << join->name << " of " << db.path();
  return result;
}
