// How an SQLite database that belongs to the host (a message database in a backup, say) is opened without changing a byte of it, of its -wal and -shm
// companions, or of its folder.
//
// SQLite's plain read-only open still writes the -shm, and creates a -wal and a -shm for a WAL database that has
// none. So the open is chosen by what lies beside the database:
//  - a -wal with content and its -shm: the URI options "mode=ro&readonly_shm=1". SQLite opens the -shm read-only
//    and, as long as no writer keeps it up to date, rebuilds the WAL index in its own memory from the -wal, so the
//    WAL's content is read and no file is written.
//  - no -wal (or an empty one) and no rollback journal with content: "immutable=1". Nothing but the database file
//    holds content, and SQLite then neither locks nor creates companions. It is never used when the -wal has
//    content, because an immutable open ignores the -wal.
//  - anything else (a -wal without its -shm, a rollback journal left by an interrupted write): the database and
//    its companions are copied into a private temporary folder, and the copy is opened read-write so that SQLite
//    can recover it the way the device would have. The folder is removed after the connection closes.
//
// Thread safety: pure apart from the file system; each plan is used by one connection.
#pragma once

#include <string>

struct ReadOnlyOpenPlan {
  enum Kind { kNone, kSharedReadOnly, kImmutable, kPrivateCopy };
  Kind kind = kNone;
  std::string uri;             // the name for sqlite3_open_v2, always a "file:" URI
  int flags = 0;               // the open flags, SQLITE_OPEN_URI included
  std::string private_folder;  // kPrivateCopy: the folder that holds the copy
};

// Chooses how to open `path`; for kPrivateCopy it makes the copy. False, with `error`, when the copy fails.
bool PlanReadOnlyOpen(const std::string& path, ReadOnlyOpenPlan* plan, std::string* error);
// Removes a private copy (nothing for the other kinds).
void RemovePrivateCopy(ReadOnlyOpenPlan* plan);

// "file:" + the path with the characters a URI reserves percent-encoded + "?" + query.
std::string SqliteFileUri(const std::string& path, const std::string& query);
