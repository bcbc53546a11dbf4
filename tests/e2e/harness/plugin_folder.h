// Builds a plug-in folder for tests: version subfolders, each with a "plugin.load" manifest and the test plug-in
// library in its "x64" subfolder.
#pragma once

#include <string>

namespace e2e {

// Adds version folder `version` under `plugin_folder`. With `valid_manifest` false the manifest is not JSON;
// with `with_library` false the library is missing.
bool AddPluginVersion(const std::string& plugin_folder, const std::string& version, bool valid_manifest = true,
                      bool with_library = true);

}  // namespace e2e
