#include "harness/plugin_folder.h"

#include <filesystem>
#include <fstream>

namespace e2e {

bool AddPluginVersion(const std::string& plugin_folder, const std::string& version, bool valid_manifest,
                      bool with_library) {
  namespace fs = std::filesystem;
  fs::path folder = fs::path(plugin_folder) / version;
  std::error_code error;
  fs::create_directories(folder / "x64", error);
  if (error) return false;
  std::ofstream manifest(folder / "plugin.load");
  if (valid_manifest) {
    manifest << R"({"path":"test_plugin.so","x64":"x64","win32":"x86","type":3,"version":")" << version
             << R"(","id":"test.plugin","command-recv":["TEST_ECHO","TEST_TEXT","TEST_TEMP_DIR","TEST_SILENT",)"
                R"("TEST_SUB_COMMAND","LIBMODEL_IBACKUP_QUERY_NOTE_LIST",)"
                R"("LIBMODEL_IBACKUP_QUERY_MANIFEST_DB_SUPPORT_TYPE","LIBMODEL_IBACKUP_QUERY_WHATSAPP_MEDIAITEM"],)"
             << R"("command-send":["LIBMODEL_PLUGIN_COMMAND_RECEIVE"],"require":[],"optional":[],)"
             << R"("width":1,"height":2,"command-create":"none"})";
  } else {
    manifest << "{ this is not json";
  }
  if (with_library) fs::copy_file(CORVANE_TEST_PLUGIN, folder / "x64" / "test_plugin.so", error);
  return !error;
}

}  // namespace e2e
