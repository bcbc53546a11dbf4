// The file service (AFC): files, directories and the key/value lists of file and device information.
#include <cstring>
#include <vector>

#include "iOSAPI/am_device_internal.h"

int32_t AFCConnectionOpenOnService(AMDServiceConnectionRef service, afc_client_t* client);

struct AFCConnection {
  afc_client_t client = nullptr;
};

// A NULL-terminated list of strings from the library, read one entry (or pair) at a time.
struct AFCStringList {
  char** entries = nullptr;
  size_t next = 0;
  ~AFCStringList() {
    if (entries != nullptr) Lib().afc_dictionary_free(entries);
  }
};
struct AFCKeyValue : AFCStringList {};
struct AFCDirectory : AFCStringList {};

int32_t AFCConnectionOpen(AMDServiceConnectionRef service, AFCConnectionRef* afc) {
  *afc = nullptr;
  afc_client_t client = nullptr;
  int32_t status = AFCConnectionOpenOnService(service, &client);
  if (status != kAMDSuccess) return status;
  *afc = new AFCConnection{client};
  return kAMDSuccess;
}

void AFCConnectionClose(AFCConnectionRef afc) {
  if (afc == nullptr) return;
  Lib().afc_client_free(afc->client);
  delete afc;
}

int32_t AFCFileInfoOpen(AFCConnectionRef afc, const char* path, AFCKeyValueRef* info) {
  auto list = std::make_unique<AFCKeyValue>();
  int32_t status = FromAfcError(Lib().afc_get_file_info(afc->client, path, &list->entries));
  *info = status == kAMDSuccess && list->entries != nullptr ? list.release() : nullptr;
  return *info != nullptr ? kAMDSuccess : (status != kAMDSuccess ? status : kAMDUndefinedError);
}

int32_t AFCDeviceInfoOpen(AFCConnectionRef afc, AFCKeyValueRef* info) {
  auto list = std::make_unique<AFCKeyValue>();
  int32_t status = FromAfcError(Lib().afc_get_device_info(afc->client, &list->entries));
  *info = status == kAMDSuccess && list->entries != nullptr ? list.release() : nullptr;
  return *info != nullptr ? kAMDSuccess : (status != kAMDSuccess ? status : kAMDUndefinedError);
}

bool AFCKeyValueRead(AFCKeyValueRef info, const char** key, const char** value) {
  char** entries = info->entries;
  if (entries[info->next] == nullptr || entries[info->next + 1] == nullptr) return false;
  *key = entries[info->next];
  *value = entries[info->next + 1];
  info->next += 2;
  return true;
}

void AFCKeyValueClose(AFCKeyValueRef info) { delete info; }

int32_t AFCDirectoryOpen(AFCConnectionRef afc, const char* path, AFCDirectoryRef* directory) {
  auto list = std::make_unique<AFCDirectory>();
  int32_t status = FromAfcError(Lib().afc_read_directory(afc->client, path, &list->entries));
  *directory = status == kAMDSuccess && list->entries != nullptr ? list.release() : nullptr;
  return *directory != nullptr ? kAMDSuccess : (status != kAMDSuccess ? status : kAMDUndefinedError);
}

bool AFCDirectoryRead(AFCDirectoryRef directory, const char** name) {
  if (directory->entries[directory->next] == nullptr) return false;
  *name = directory->entries[directory->next++];
  return true;
}

void AFCDirectoryClose(AFCDirectoryRef directory) { delete directory; }

int32_t AFCDirectoryCreate(AFCConnectionRef afc, const char* path) {
  return FromAfcError(Lib().afc_make_directory(afc->client, path));
}

int32_t AFCRemovePath(AFCConnectionRef afc, const char* path) {
  return FromAfcError(Lib().afc_remove_path(afc->client, path));
}

int32_t AFCRenamePath(AFCConnectionRef afc, const char* from, const char* to) {
  return FromAfcError(Lib().afc_rename_path(afc->client, from, to));
}

int32_t AFCFileRefOpen(AFCConnectionRef afc, const char* path, int mode, uint64_t* file) {
  afc_file_mode_t afc_mode = mode == kAFCModeRead    ? AFC_FOPEN_RDONLY
                             : mode == kAFCModeWrite ? AFC_FOPEN_WRONLY
                                                     : AFC_FOPEN_RW;
  return FromAfcError(Lib().afc_file_open(afc->client, path, afc_mode, file));
}

int32_t AFCFileRefClose(AFCConnectionRef afc, uint64_t file) {
  return FromAfcError(Lib().afc_file_close(afc->client, file));
}

int32_t AFCFileRefRead(AFCConnectionRef afc, uint64_t file, void* buffer, uint32_t* length) {
  uint32_t read = 0;
  afc_error_t error = Lib().afc_file_read(afc->client, file, static_cast<char*>(buffer), *length, &read);
  *length = read;
  return FromAfcError(error);
}

int32_t AFCFileRefWrite(AFCConnectionRef afc, uint64_t file, const void* data, uint32_t length) {
  const char* bytes = static_cast<const char*>(data);
  while (length > 0) {
    uint32_t written = 0;
    afc_error_t error = Lib().afc_file_write(afc->client, file, bytes, length, &written);
    if (error != AFC_E_SUCCESS) return FromAfcError(error);
    if (written == 0) return kAMDUndefinedError;
    bytes += written;
    length -= written;
  }
  return kAMDSuccess;
}

int32_t AFCFileRefSeek(AFCConnectionRef afc, uint64_t file, int64_t offset, int whence) {
  return FromAfcError(Lib().afc_file_seek(afc->client, file, offset, whence));
}

int32_t AFCFileRefTell(AFCConnectionRef afc, uint64_t file, uint64_t* position) {
  return FromAfcError(Lib().afc_file_tell(afc->client, file, position));
}

int32_t AFCFileRefSetFileSize(AFCConnectionRef afc, uint64_t file, uint64_t size) {
  return FromAfcError(Lib().afc_file_truncate(afc->client, file, size));
}

int32_t AFCFileRefLock(AFCConnectionRef afc, uint64_t file) {
  return FromAfcError(Lib().afc_file_lock(afc->client, file, AFC_LOCK_EX));
}

int32_t AFCFileRefUnlock(AFCConnectionRef afc, uint64_t file) {
  return FromAfcError(Lib().afc_file_lock(afc->client, file, AFC_LOCK_UN));
}
