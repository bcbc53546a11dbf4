// The property lists and the pre-iOS 10 index a backup holds besides the files: Status.plist (the snapshot's
// state, checked by the computer before it trusts a backup), Manifest.plist (encryption, the device's identity)
// and Manifest.mbdb (the binary index of older devices), and the simulator's stand-in for the backup keybag.
//
// The keybag here is not the device's real one: it only lets the simulated device tell the right backup password
// from a wrong one (a salted SHA-256 of the password). File contents are never encrypted.
//
// Stateless functions; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backup_manifest_db.h"
#include "devicesim/value.h"

namespace devicesim {

// Status.plist: BackupState "new", Date, IsFullBackup, SnapshotState, UUID, Version "3.3".
std::string MakeStatusPlist(const std::string& snapshot_state, bool full_backup, const std::string& uuid,
                            int64_t unix_time);

// Manifest.plist from the device's lockdown values. `modern` (iOS 10 and later) says Version "10.0", else "9.1".
// An encrypted manifest carries the keybag made from `password`.
std::string MakeManifestPlist(const Value& lockdown_values, bool modern, bool encrypted, const std::string& password,
                              int64_t unix_time);

// What a Manifest.plist says: whether it is encrypted and whether `password` opens its keybag. False when the
// bytes are no property list dictionary.
bool ReadManifestPlist(const std::string& bytes, bool* encrypted, std::string* keybag);
std::string MakeKeybag(const std::string& password);
bool KeybagAccepts(const std::string& keybag, const std::string& password);

// Manifest.mbdb ("mbdb" 5 0, then one record per item) and its reading back into manifest entries.
std::string BuildManifestMbdb(const std::vector<BackupItem>& items);
bool ReadManifestMbdb(const std::string& bytes, std::vector<ManifestEntry>* entries);

}  // namespace devicesim
