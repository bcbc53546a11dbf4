// The jobs a backup extraction request asks for, registered with the registry.
//
// Types (the request's "types"): 1 messages ("sms"), 2 contacts ("contact"), 3 notes ("note", two databases),
// 4 voice recordings (ZEBBackupExtractRecordingWork), 5 and 6 WhatsApp (ZEBBackupExtractWhatsAppWork; both name
// the same database, so together they make one job). A type whose databases already have a job adds none, so a
// repeated type is reported once; an unknown type is skipped. With `with_manifest` (devices with iOS 10 or later)
// the manifest job comes first.
//
// Thread safety: the registry's thread.
#pragma once

#include <cstddef>
#include <vector>

#include "utility/backup/extract/extract_registry.h"

namespace backup_extract {

// The number of jobs registered for `types` (the manifest job not counted).
size_t RegisterRequestedJobs(ZEBBackupExtractRegistry& registry, const std::vector<int>& types, bool with_manifest);

}  // namespace backup_extract
