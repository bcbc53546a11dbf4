// DeviceHandles: the device library's handles behind the device layer's objects, for the device layer alone.
//
// Modules hold the device record (ZEBDeviceConnection) and started services (ZEBDeviceService) and hand them to
// the device layer's functions; the library's handles inside them are private, so a module cannot reach the
// device except through the layer. The layer's own code (src/utility/ios) opens the objects up here. A test
// (module_layering) fails when a file under src/utility/module includes this header, names DeviceHandles or names
// a handle type.
//
// Thread safety: the handles are constant for the life of their object.
#pragma once

#include "iOSAPI/mobile_device.h"
#include "utility/ios/zeb_device_connection.h"
#include "utility/ios/zeb_device_service.h"

struct DeviceHandles {
  static AMDeviceRef Device(const ZEBDeviceConnection& record) { return record.device_.get(); }
  static AMDServiceConnectionRef Connection(const ZEBDeviceService& service) { return service.connection_; }
  // Null for a service started without its AFC connection.
  static AFCConnectionRef Afc(const ZEBDeviceService& service) { return service.afc_; }
};
