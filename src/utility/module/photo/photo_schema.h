// Reading a newer photo database's own schema: which optional columns its asset table has, and which numbered
// table joins albums to assets.
//
// The join table's number changes with nearly every iOS version (Z_26ASSETS on 13 and 14, Z_27ASSETS on 15,
// Z_28ASSETS on 16 and 17, higher later), so it is never written into a query: the first table whose name
// contains Z_<digits>ASSETS is it, its album column is z_<n>albums, and its asset column is found either in its
// CREATE text (the second Z_<digits>ASSETS there, after the table's own name) or among the column names of an
// empty select (the first that is Z_<digits>ASSETS as a whole; Z_FOK_3ASSETS is not).
//
// The connection must have the regexp function registered.
//
// Thread safety: a connection belongs to one thread at a time (see sqlite_database.h).
#pragma once

#include <string>
#include <vector>

#include "utility/db/sqlite_database.h"
#include "utility/protocol_codes.h"
#include "utility/module/photo/photo_sql.h"

inline constexpr int kPhotoNoJoinTable = protocol::kResultNoPhotoDatabase;

// The upper-cased CREATE text of the table the probe asks for; *found is false when the probe gives no row.
// 0, or 20 when the probe does not prepare.
int ProbeTable(SqliteDatabase& db, const std::string& probe_sql, std::string* create_text, bool* found);

// The optional columns of the asset table (a missing table counts as having the trash column). 0 or 20.
int ProbeAssetColumns(SqliteDatabase& db, const std::string& asset_table, AssetColumns* columns);
// Whether ZGENERICALBUM has ZTRASHEDSTATE (true when the table is missing). 0 or 20.
int ProbeAlbumTrash(SqliteDatabase& db, bool* trashed_state);

enum class AssetColumnSource { kCreateText, kColumnNames };
// Finds the join table and its columns. 0; 18 when no table or no asset column is found; 20 when a statement
// does not prepare.
int FindJoinTable(SqliteDatabase& db, AssetColumnSource source, JoinTable* join);

// Every match of Z_<digits>ASSETS in `text`, in order.
std::vector<std::string> JoinTableNamesIn(const std::string& text);
