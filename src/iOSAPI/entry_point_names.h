// The names of the device libraries' entry points, in resolution order, as X-macro lists. Kept free of the
// libraries' headers so that test stand-ins can be generated from the same lists.
#pragma once

// Resolved first, from libusbmuxd.
#define CORVANE_USBMUXD_ENTRY_POINTS(X) \
  X(libusbmuxd_set_use_inotify)         \
  X(usbmuxd_get_device_list)            \
  X(usbmuxd_device_list_free)           \
  X(usbmuxd_read_pair_record)

// Then from libimobiledevice.
#define CORVANE_MOBILEDEVICE_ENTRY_POINTS(X) \
  X(idevice_event_subscribe)                 \
  X(idevice_event_unsubscribe)               \
  X(idevice_new_with_options)                \
  X(idevice_free)                            \
  X(idevice_get_handle)                      \
  X(lockdownd_client_new)                    \
  X(lockdownd_client_free)                   \
  X(lockdownd_pair)                          \
  X(lockdownd_validate_pair)                 \
  X(lockdownd_start_session)                 \
  X(lockdownd_stop_session)                  \
  X(lockdownd_get_value)                     \
  X(lockdownd_set_value)                     \
  X(lockdownd_start_service)                 \
  X(lockdownd_start_service_with_escrow_bag) \
  X(lockdownd_service_descriptor_free)       \
  X(service_client_new)                      \
  X(service_client_free)                     \
  X(service_send)                            \
  X(service_receive_with_timeout)            \
  X(afc_client_new)                          \
  X(afc_client_free)                         \
  X(afc_get_device_info)                     \
  X(afc_get_file_info)                       \
  X(afc_read_directory)                      \
  X(afc_make_directory)                      \
  X(afc_remove_path)                         \
  X(afc_rename_path)                         \
  X(afc_file_open)                           \
  X(afc_file_close)                          \
  X(afc_file_read)                           \
  X(afc_file_write)                          \
  X(afc_file_seek)                           \
  X(afc_file_tell)                           \
  X(afc_file_truncate)                       \
  X(afc_file_lock)                           \
  X(afc_dictionary_free)
