// The device reference: one attached device as the device library layer knows it.
//
// Code above src/iOSAPI holds AMDeviceRef values as opaque keys and passes them back to the entry points; only the
// layer itself looks inside.
#pragma once

struct AMDevice;
using AMDeviceRef = AMDevice*;
