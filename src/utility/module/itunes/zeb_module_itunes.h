// ZEBModuleiTunes: backups of a device (packet types 1600 to 1608).
//
// Every command's payload is the marker "1", NUL, a JSON object, NUL. Steps common to all, taken by the front
// door as the command table says: a marker other than 1 ends the command with code 0 and no work; unreadable
// JSON ends it with 8; commands on a device find it by "uuid" and end with 7 when there is none. Every final
// report carries the info object {"error":text}, text being empty on success.
//
//  1600 back up: {"uuid","path"} ("path" is the backup root; empty for the default root, <data home>/Apple
//       Computer/MobileSync/Backup/). The backup goes into a new folder "<udid>-YYYYMMDDhhmmss" under the root,
//       reported first as an event (stage 0, data part {"BackupDir":folder}); progress events follow (stage 1,
//       the device's uuid, code 0..10,000, sent only when it grew). An earlier complete backup of the device in
//       the same root is hard-linked into the new folder first, so the device sends only what changed. Result 0,
//       or the failure's code: the device's own (208 locked, 105 disk full, ...), 45 the device left before the
//       end, 46 the device named a path outside the folder, 13 a file could not be written, 2 the device could
//       not be read, 6 stopped, 48 or 14 with "DeviceOpenAFCServiceFail" when the backup service cannot be
//       started. A failed backup leaves no folder behind.
//  1601 restore: {"uuid","path","sourceDeviceId","password"}: the backup folder <path>/<sourceDeviceId> (a folder
//       name as 1602 lists it in "Path", or a device identifier: then that device's newest backup under the root)
//       goes to the device; the password is sent when its Manifest.plist says IsEncrypted. 8
//       "ParameterError" for missing or unsafe parameters, 13 "BackupManifestPlistError" without a readable
//       Manifest.plist; otherwise as 1600 (the device answers a wrong password with its own code).
//  1602 list: {"paths":[root, ...]} ("" = the default root). One event per backup folder (stage 0, data part the
//       summary: "Product Version", "Build Version", "Serial Number", "Device Name", "Unique Identifier", "Last
//       Backup Date" as local time text, "Product Type", "Path", "IsEncrypted" 0/1), then each again with "Size"
//       (stage 1). A folder counts when it holds Info.plist, Manifest.plist and Status.plist. 21 without "paths".
//  1603 0 when the device is associated with the device-location service (com.apple.fmip IsAssociated), else 1.
//  1604 0 when the device's backups will be encrypted (com.apple.mobile.backup WillEncrypt), else 1.
//  1605 {"uuid","password"}: runs the backup password tool (CORVANE_BACKUP_PASSWORD_TOOL, through the elevation
//       launcher) with "--change", the password, "--target", the uuid; then answers as 1604.
//  1606 0 when a process named iTunes.exe (any letter case) runs, else 1.
//  1607 the exit code of "taskkill /f /im iTunes.exe" (1 when it cannot be run).
//  1608 backup extraction: {"uuid","info":{"types":[...]}} (1 messages, 2 contacts, 3 notes, 4 voice recordings,
//       5 and 6 WhatsApp). One job per type (utility/backup/extract); on iOS 10 and later also the manifest job.
//       A work backup runs into the process folder's Backup0/ (no folder report, no Info.plist) and writes only
//       the files a job waits for; each job sends one item report (stage 2, the device's uuid, its result text
//       as data) as soon as its files are in, before the backup ends; the backup under way reports its progress
//       as 1600 does (stage 1, code 0..10,000; a further run starts again from 0). On iOS 10 and later, files that did not
//       come under their expected names are looked up in Manifest.db by the plug-ins and fetched by a second
//       run. Result: the backup's code (0, or as 1600); 8 "ParameterError" without "types" or with no known
//       type; 6 when stopped.
//       Decisions where the protocol leaves room:
//        - A run ends early (the session is cancelled) once every job is complete or waits only for files the
//          run already passed; the manifest job does not hold it up. This saves the rest of the backup.
//        - Jobs that are not finished when the backup ends each get one report: status 0 (not found; the
//          array lists what did arrive), 2 when the manifest lookup says the backup is encrypted (its files
//          cannot be read without the password, so nothing more is fetched), 6 when the host stopped the command
//          (a stop mid-backup ends every job with a report, then the final report 6).
//        - A device whose backups are encrypted (com.apple.mobile.backup WillEncrypt) runs no backup at all: every
//          job reports status 2 with no file, and the result is 0. Its files would arrive encrypted, and a job
//          reporting them as found would hand the host databases it cannot open.
//        - Files a job adds while the run goes on (recording audio files, WhatsApp attachments) may already have
//          gone by; another run fetches them (at most three runs in all), ending as soon as they are in.
//        - The recording job finishes after a complete backup with the recording databases the backup holds
//          (no device has all three).
//       Every path reported lies in the process folder's Backup0/Extract/<udid>-<time>/, named by backup name.
//
// The backup protocol itself is utility/backup (shared with the backup extraction, which runs the work backup).
//
// Thread safety: stateless; commands run on any number of pool workers at once.
#pragma once

#include "utility/module/zeb_module.h"

class ZEBModuleiTunes : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;
};
