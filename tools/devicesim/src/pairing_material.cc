#include "pairing_material.h"

#include <openssl/sha.h>

#include <cstdio>
#include <random>

#include "plist_util.h"

namespace devicesim {

const std::string& DevicePublicKeyPem() {
  static const std::string pem =
    "-----BEGIN RSA PUBLIC KEY-----\n"
    "MIIBCgKCAQEAwXQI6z6227V/Bn1iB9ceazTvpp/CafXXh6nSHivsxu1IXTEXXB82\n"
    "VRLA9P10uhsurpOKA8gsaKZ4Hu0sIcu9vm76djCbIpTnL6JplJ1BI7fP4Hroe0ea\n"
    "7T2nvB4uvZhbf/q+ym6IzlQfkfolB4Lvckqe1GJXgkOx+xI2oVeGn3/lEZlhPmMH\n"
    "YEbtNOJ0Gom1gnmYe247m1NK+MOwz+rNt29FebMmZ1qr6v6K3GF9CUAm2CZvceQP\n"
    "9CChFCt8JrKlSimrELwqOUP6gHj0S5yMSY8aDsjzC5moxGC/fyTxiDsBrvS2DT9R\n"
    "qgB3WfYEsL2k9WTKYogYxfoGMU2jseLKgwIDAQAB\n"
    "-----END RSA PUBLIC KEY-----\n";
  return pem;
}

const std::string& CertificatePem() {
  static const std::string pem =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIDCzCCAfOgAwIBAgIUAvCowTLLSSBu/SL4yl1FHVCo6VowDQYJKoZIhvcNAQEL\n"
    "BQAwFDESMBAGA1UEAwwJZGV2aWNlc2ltMCAXDTI2MTIwODAxMDUxOVoYDzIxMjYx\n"
    "MTE0MDEwNTE5WjAUMRIwEAYDVQQDDAlkZXZpY2VzaW0wggEiMA0GCSqGSIb3DQEB\n"
    "AQUAA4IBDwAwggEKAoIBAQDBdAjrPrbbtX8GfWIH1x5rNO+mn8Jp9deHqdIeK+zG\n"
    "7UhdMRdcHzZVEsD0/XS6Gy6uk4oDyCxopnge7Swhy72+bvp2MJsilOcvommUnUEj\n"
    "t8/geuh7R5rtPae8Hi69mFt/+r7KbojOVB+R+iUHgu9ySp7UYleCQ7H7EjahV4af\n"
    "f+URmWE+YwdgRu004nQaibWCeZh7bjubU0r4w7DP6s23b0V5syZnWqvq/orcYX0J\n"
    "QCbYJm9x5A/0IKEUK3wmsqVKKasQvCo5Q/qAePRLnIxJjxoOyPMLmajEYL9/JPGI\n"
    "OwGu9LYNP1GqAHdZ9gSwvaT1ZMpiiBjF+gYxTaOx4sqDAgMBAAGjUzBRMB0GA1Ud\n"
    "DgQWBBRNg/B/klUf80EaQt4WXT1JqqNHljAfBgNVHSMEGDAWgBRNg/B/klUf80Ea\n"
    "Qt4WXT1JqqNHljAPBgNVHRMBAf8EBTADAQH/MA0GCSqGSIb3DQEBCwUAA4IBAQCr\n"
    "uBalOoJx5h9WrpgYL85qxrBBj7C8WrqhE4LoQOB/wPl+FG8aZwDbvQueUc4ZxzyP\n"
    "j9uP47YP68WANbVSS/VtUd7VcmnzJ0WJ9U83CYJMvWsKRZzJviU2cmytndqWc/T0\n"
    "wBYhKAS0MSiTBPQMw1JEQUzmwmgKCV4XE61Y2o7gXu0d50230bEJXoGzBYmu3RBx\n"
    "CzjYOnO+LyElYIuPaWL9P21sDn4vE3lh4v5NZL3KRIxRWpv8PuD8ZWep/KtY1+Yk\n"
    "ek6EdqEivzUqZLrV+gQSJVv8O92FIfVVGEOfhMHgwbsy1iYGB2TYuNrZLR8qUyvm\n"
    "BdYEe/3whGpkQ8YDC0CM\n"
    "-----END CERTIFICATE-----\n";
  return pem;
}

const std::string& EscrowBag() {
  static const std::string bag = "devicesim escrow bag: opaque keybag bytes 0123456789abcdef";
  return bag;
}

std::string RandomUuid() {
  std::random_device entropy;
  char text[37];
  std::snprintf(text, sizeof(text), "%08X-%04X-%04X-%04X-%08X%04X", entropy(), entropy() & 0xFFFF,
                entropy() & 0xFFFF, entropy() & 0xFFFF, entropy(), entropy() & 0xFFFF);
  return text;
}

std::string HostIdFor(const std::string& udid) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  std::string seed = "devicesim host " + udid;
  SHA1(reinterpret_cast<const unsigned char*>(seed.data()), seed.size(), digest);
  char text[37];
  std::snprintf(text, sizeof(text), "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                digest[0], digest[1], digest[2], digest[3], digest[4], digest[5], digest[6], digest[7], digest[8],
                digest[9], digest[10], digest[11], digest[12], digest[13], digest[14], digest[15]);
  return text;
}

std::string MakePairRecord(const std::string& host_id, const std::string& system_buid,
                           const std::string& wifi_address) {
  // The private-key fields hold a placeholder: without TLS no client reads them.
  static const std::string kKeyPlaceholder = "devicesim: no private key, sessions run without TLS";
  Value record = Value::Dict();
  record.Set("DeviceCertificate", Value::Data(CertificatePem()));
  record.Set("EscrowBag", Value::Data(EscrowBag()));
  record.Set("HostCertificate", Value::Data(CertificatePem()));
  record.Set("HostID", host_id);
  record.Set("HostPrivateKey", Value::Data(kKeyPlaceholder));
  record.Set("RootCertificate", Value::Data(CertificatePem()));
  record.Set("RootPrivateKey", Value::Data(kKeyPlaceholder));
  record.Set("SystemBUID", system_buid);
  record.Set("WiFiMACAddress", wifi_address);
  PlistPtr node(ToPlist(record));
  return ToBinary(node.get());
}

}  // namespace devicesim
