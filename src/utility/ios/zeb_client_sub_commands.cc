// The two plug-in bus sub-commands the client answers itself.
#include <cstdlib>
#include <cstring>

#include "corvane/plugin.h"
#include "libbasic/bas_utility_string.h"
#include "utility/ios/zeb_client.h"
#include "utility/process_context.h"
#include "utility/zeb_utility.h"

// Inflates the message's payload (a zlib stream) into a NUL-terminated buffer allocated with malloc, which the
// caller frees; result 1 on success, 0 otherwise.
void ZEBClient::DecompressZipStream(BASObserveData* message) {
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

// Creates the process folder and hands out its path as a NUL-terminated UTF-16 string allocated with malloc.
void ZEBClient::GetProjectTempDir(BASObserveData* message) {
  std::u16string path = bas::BASUtilityString::ConvertUtf8ToUnicode(ProcessContext::Get().ProcessFolder(true));
  auto* output = static_cast<char16_t*>(std::malloc((path.size() + 1) * sizeof(char16_t)));
  if (output == nullptr) return;
  std::memcpy(output, path.data(), path.size() * sizeof(char16_t));
  output[path.size()] = u'\0';
  message->output = output;
  message->result = 1;
}
