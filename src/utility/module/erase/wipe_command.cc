// 1701: the wipe of free space on the device's file service.
#include <memory>

#include "libbasic/bas_utility_sys.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_afc_file.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/erase/erase_internal.h"
#include "utility/module/erase/wipe_free_space.h"
#include "utility/zeb_utility.h"

namespace {

constexpr int kCodeNoFileService = 17;
constexpr int kCodeTaskGone = 1;

class AfcWipeTarget : public WipeTarget {
 public:
  explicit AfcWipeTarget(const ZEBDeviceService& afc) : afc_(afc) {}

  bool MakeFolder(const std::string& path) override { return MakeDirectory(afc_, path) == 1; }
  int32_t OpenFile(const std::string& path) override {
    int32_t status = 0;
    file_ = ZEBAfcFile::Open(afc_, path, ZEBAfcFile::Mode::kWrite, &status);
    return status;
  }
  int32_t Write(const char* data, uint32_t length) override {
    if (file_->Write(std::string_view(data, length))) return 0;
    return file_->last_status() != 0 ? file_->last_status() : kAMDUndefinedError;
  }
  void CloseFile() override { file_.reset(); }
  void EmptyFolder(const std::string& path, bool remove_folder) override { RemoveTree(afc_, path, remove_folder); }
  bool IsDeviceFull(int32_t status) const override { return IsDeviceFullStatus(status); }

 private:
  const ZEBDeviceService& afc_;
  std::unique_ptr<ZEBAfcFile> file_;
};

int64_t Level(const rapidjson::Value& parameters) {
  auto level = parameters.FindMember("level");
  return level != parameters.MemberEnd() && level->value.IsInt64() ? level->value.GetInt64() : 0;
}

}  // namespace

int FinishErase(ZEBCommand& command, const EraseResult& result) {
  command.result_info = "{\"error\":" + JsonQuote(result.message) + "}";
  return result.code;
}

void SendPercent(const ZEBCommand& command, int stage, int percent) {
  TaskReport report;
  report.stage = stage;
  report.info = "{\"percent\":" + std::to_string(percent) + "}";
  command.SendProgress(report);
}

EraseResult RunWipeFreeSpace(ZEBCommand& command, const rapidjson::Value& parameters) {
  int64_t level = Level(parameters);
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(*command.device(), kServiceAfc, &error, {}, true);
  if (!afc) return {kCodeNoFileService, "open afc error"};
  if (!command.task()) return {kCodeTaskGone, "Task Abort"};
  AfcWipeTarget target(*afc);
  WipeHooks hooks{.aborted = [&command] { return command.Aborted(); },
                  .progress = [&command](int percent) { SendPercent(command, 0, percent); },
                  .local_time = [] { return bas::BASUtilitySys::GetNowDateTime("%Y%m%d%H%M%S"); }};
  WipeOutcome outcome = WipeFreeSpace(target, command.device()->Identity().freeBytes, level, hooks);
  return {outcome.code, outcome.message};
}
