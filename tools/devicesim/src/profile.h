// A device profile as loaded from its folder: device.json parsed into typed fields, and the afc/ root.
//
// Plain data, filled once by LoadProfile and then copied into a Device; no shared state.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "devicesim/backup_fault.h"
#include "devicesim/faults.h"
#include "devicesim/trust_state.h"
#include "devicesim/value.h"
#include "sync_profile.h"

namespace devicesim {

struct AppRecord {
  std::string bundle_id;
  std::string icon_color;  // "#RRGGBB"
  Value attributes = Value::Dict();  // what Browse returns, iTunesMetadata already as data
};

struct Profile {
  std::string folder;    // absolute path of the profile folder
  std::string name;      // the folder's last path component
  std::string afc_root;  // absolute, symlinks resolved
  std::string backup_root;    // the backup source, <folder>/backup (may be missing)
  std::string restored_root;  // where a restore writes, <folder>/restored

  Value values = Value::Dict();   // top-level lockdown values, UniqueDeviceID included
  Value domains = Value::Dict();  // domain name -> dictionary
  TrustState trust = TrustState::kTrusted;
  bool passcode_locked = false;
  bool jailbroken = false;
  Value afc_device_info = Value::Dict();
  // "afc_storage": a small data partition. -1: unlimited; otherwise the bytes the afc/ folder may grow by.
  int64_t afc_free_bytes = -1;
  std::vector<AppRecord> apps;
  Value diagnostics = Value::Dict();    // IORegistry entry name -> dictionary (IOPMPowerSource)
  Value asset_metrics = Value::Dict();  // the AssetMetrics Params
  std::string atc_first_message;
  std::set<std::string> disabled_services;
  std::set<std::string> extra_services;

  int refuse_connects = 0;
  std::map<std::string, ServiceFault> faults;
  std::string hostile_folder;
  BackupFault backup_fault;

  SyncProfile sync;  // the synchronisation service's settings and records

  std::string udid() const;
};

// Reads `folder`/device.json. Missing optional sections get defaults; afc/ is created when absent.
bool LoadProfile(const std::string& folder, Profile* profile, std::string* error);

// Turns the JSON form of a profile (already parsed into a Value) into a Profile; `profile` keeps its folder
// fields. Exposed for the unit tests.
bool ProfileFromDocument(const Value& document, Profile* profile, std::string* error);

const char* FaultKindName(FaultKind kind);
bool ParseFaultKind(const std::string& text, FaultKind* kind);

}  // namespace devicesim
