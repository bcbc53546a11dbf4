#include "utility/start_params.h"

#include <rapidjson/document.h>

#include <charconv>

namespace {

int64_t IntegerMember(const rapidjson::Value& object, const char* key) {
  auto it = object.FindMember(key);
  if (it == object.MemberEnd()) return 0;
  if (it->value.IsInt64()) return it->value.GetInt64();
  if (it->value.IsUint64()) return static_cast<int64_t>(it->value.GetUint64());
  return 0;
}

std::string TextMember(const rapidjson::Value& object, const char* key) {
  auto it = object.FindMember(key);
  if (it == object.MemberEnd() || !it->value.IsString()) return std::string();
  return std::string(it->value.GetString(), it->value.GetStringLength());
}

}  // namespace

bool ParseStartParams(std::string_view command_line, StartParams* params) {
  *params = StartParams();
  rapidjson::Document doc;
  doc.Parse(command_line.data(), command_line.size());
  if (doc.HasParseError() || !doc.IsObject()) return false;
  params->port = static_cast<int>(IntegerMember(doc, "kZEBServerStartParamPort"));
  params->host_pid = IntegerMember(doc, "kZEBServerStartParamPid");
  params->show_console = IntegerMember(doc, "kZEBServerStartParamShowConsole") != 0;
  params->test_self = IntegerMember(doc, "kZEBServerStartParamTestSelf") != 0;
  params->open_log = IntegerMember(doc, "kZEBServerStartParamOpenLog") != 0;
  params->helper_type = static_cast<int>(IntegerMember(doc, "kZEBServerStartParamType"));
  params->version = TextMember(doc, "kZEBServerStartParamVersion");
  params->brand = TextMember(doc, "kZEBServerStartParamBrand");
  params->product = TextMember(doc, "kZEBServerStartParamProduct");
  params->task_id = TextMember(doc, "kZEBServerStartParamTaskId");
  auto modules = doc.FindMember("kZEBServerStartParamLoadModules");
  if (modules != doc.MemberEnd() && modules->value.IsArray()) {
    for (const rapidjson::Value& folder : modules->value.GetArray()) {
      if (folder.IsString()) params->load_modules.emplace_back(folder.GetString(), folder.GetStringLength());
    }
  }
  return true;
}

uint64_t TaskIdNumber(std::string_view task_id) {
  uint64_t value = 0;
  auto [end, error] = std::from_chars(task_id.data(), task_id.data() + task_id.size(), value);
  return error == std::errc() ? value : 0;
}
