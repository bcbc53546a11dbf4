// The two plug-in bus sub-commands that need nothing of a module: inflating a zlib stream and the process folder.
#include <cstdlib>
#include <cstring>

#include "corvane/plugin.h"
#include "libbasic/bas_utility_string.h"
#include "utility/module/plugins/zeb_module_plugins.h"
#include "utility/process_context.h"
#include "utility/zeb_utility.h"

void ZEBModulePlugins::DecompressZipStream(BASObserveData* message) {
  message->result = 0;
  if (message->payload == nullptr) return;
  std::string text;
  if (!ZlibDecompress(std::string_view(static_cast<const char*>(message->payload), message->payload_length), &text)) {
    return;
  }
  char* output = static_cast<char*>(std::malloc(text.size() + 1));
  if (output == nullptr) return;
  std::memcpy(output, text.data(), text.size());
  output[text.size()] = '\0';
  message->output = output;
  message->result = 1;
}

void ZEBModulePlugins::GetProjectTempDir(BASObserveData* message) {
  std::u16string path = bas::BASUtilityString::ConvertUtf8ToUnicode(ProcessContext::Get().ProcessFolder(true));
  auto* output = static_cast<char16_t*>(std::malloc((path.size() + 1) * sizeof(char16_t)));
  if (output == nullptr) return;
  std::memcpy(output, path.data(), path.size() * sizeof(char16_t));
  output[path.size()] = u'\0';
  message->output = output;
  message->result = 1;
}
