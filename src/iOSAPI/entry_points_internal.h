// The entry points of the device libraries, one typed slot each, in the order they are resolved. Internal to
// src/iOSAPI: nothing above this folder sees a libimobiledevice, libusbmuxd or libplist type.
//
// Each list is an X-macro, so that the slots, their names and the resolution order are written once. Every entry
// point is mandatory: a library that lacks any one of them is not used at all.
#pragma once

#include <libimobiledevice/afc.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/service.h>
#include <usbmuxd.h>

#include "iOSAPI/entry_point_names.h"

struct EntryPoints {
#define CORVANE_DECLARE_SLOT(name) decltype(&::name) name = nullptr;
  CORVANE_USBMUXD_ENTRY_POINTS(CORVANE_DECLARE_SLOT)
  CORVANE_MOBILEDEVICE_ENTRY_POINTS(CORVANE_DECLARE_SLOT)
#undef CORVANE_DECLARE_SLOT
};
