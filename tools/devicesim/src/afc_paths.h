// Confines AFC paths to a profile's afc/ folder: a path given by a client never names anything outside it,
// whether through "..", an absolute path or a symbolic link that points out.
//
// Stateless functions, safe from any thread. Resolution looks at the file system at the time of the call.
#pragma once

#include <cstdint>
#include <string>

namespace devicesim {

// Lexical normal form of an AFC path: "/" plus the components joined by "/", with empty and "." components
// dropped and ".." removing the one before. False when ".." would climb above the root. The AFC root is both
// "" and "/".
bool NormalizeAfcPath(const std::string& path, std::string* normalized);

// Maps `path` to a host path below `root` (an absolute, canonical folder). With `follow_last` a symbolic link as
// the last component must stay inside too (the operation opens it); without, the link itself is the object (info,
// remove, rename). Returns an AFC status: success, or permission denied for an escape.
uint64_t ResolveAfcPath(const std::string& root, const std::string& path, bool follow_last, std::string* host_path);

// The apparent size (holes included) of every regular file below `root`.
int64_t ApparentTreeBytes(const std::string& root);

}  // namespace devicesim
