// The fixed key material a simulated device uses for pairing: its RSA public key (clients build their pairing
// certificates around it), a certificate for the records the simulator hands out for trusted profiles, and the
// pair-record plist itself. Sessions never use TLS, so none of it is secret; it only has to parse.
//
// Stateless functions, safe from any thread.
#pragma once

#include <string>

namespace devicesim {

// PKCS#1 PEM ("-----BEGIN RSA PUBLIC KEY-----"), as lockdownd's DevicePublicKey carries it.
const std::string& DevicePublicKeyPem();
// A PEM certificate, used for every certificate field of a simulator-made pair record.
const std::string& CertificatePem();
// The escrow bag a device hands out on Pair and keeps in pair records.
const std::string& EscrowBag();

// A pair record as usbmuxd stores it (binary plist): HostID, SystemBUID, the certificates and keys as data,
// EscrowBag and WiFiMACAddress.
std::string MakePairRecord(const std::string& host_id, const std::string& system_buid,
                           const std::string& wifi_address);

// A random identifier in the upper-case UUID form devices and usbmuxd use (SystemBUID, SessionID).
std::string RandomUuid();

// A HostID derived from the UDID, so a trusted profile's record is the same on every run.
std::string HostIdFor(const std::string& udid);

}  // namespace devicesim
