// Local names for exported device items.
#include "utility/module/file/file_internal.h"

namespace file {

std::string ItemName(std::string_view device_path) {
  while (!device_path.empty() && device_path.back() == '/') device_path.remove_suffix(1);
  size_t slash = device_path.rfind('/');
  return std::string(slash == std::string_view::npos ? device_path : device_path.substr(slash + 1));
}

std::string LocalFileName(std::string_view device_name) {
  std::string name(device_name);
  for (char& c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    // Control bytes and the characters Windows refuses in a file name; ">" is kept, as the host expects.
    if (byte < 32 || byte == 127 || std::string_view("\\/:*?\"<|").find(c) != std::string_view::npos) c = '_';
  }
  return name;
}

bool IsBookFolder(std::string_view name) { return name.size() >= 5 && name.substr(name.size() - 5) == ".EPUB"; }

}  // namespace file
