#include "libbasic/bas_utility_file.h"

#include "libbasic/bas_utility_string.h"

#include <openssl/evp.h>
#include <sys/stat.h>

namespace bas {

int64_t BASUtilityFile::GetFileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

std::string BASUtilityFile::CalcStringToSha1Hash(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha1(), nullptr) != 1) return std::string();
  return BASUtilityString::ToHex(digest, length);
}

}  // namespace bas
