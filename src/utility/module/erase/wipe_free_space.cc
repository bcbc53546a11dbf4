#include "utility/module/erase/wipe_free_space.h"

#include <glog/logging.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int kCodeOk = 0;
constexpr int kCodeShort = 2;
constexpr int kCodeCancelled = 6;
constexpr int kCodeFileService = 17;
constexpr int kCodeNoFolder = 47;
constexpr const char* kCancelled = "Task cancelled.";
constexpr int64_t kBlocksPerPassStep = 64;  // 64 × 8 MiB = 512 MiB more per pass
constexpr int kBaseStep = 50;
constexpr int kLastBase = 50;

enum class PassEnd { kFilled, kDeviceFull, kStopped, kFailed };

struct PassResult {
  PassEnd end = PassEnd::kFilled;
  int64_t written = 0;
};

class Pass {
 public:
  Pass(WipeTarget& target, const std::vector<char>& block, int64_t free_bytes, int64_t blocks_per_file, int base,
       int64_t level, const WipeHooks& hooks)
      : target_(target), block_(block), free_(free_bytes), blocks_per_file_(blocks_per_file), base_(base),
        level_(level), hooks_(hooks) {}

  PassResult Run() {
    int counter = 0;
    while (written_ < free_) {
      if (hooks_.aborted()) return End(PassEnd::kStopped);
      std::string path = std::string(kWipeFolder) + "/" + hooks_.local_time() + "-" + std::to_string(++counter);
      int32_t status = target_.OpenFile(path);
      if (status != 0) {
        LOG(ERROR) << "Wipe: open " << path << " failed: " << status;
        return End(target_.IsDeviceFull(status) ? PassEnd::kDeviceFull : PassEnd::kFailed);
      }
      PassEnd file_end = WriteFile();
      target_.CloseFile();
      if (file_end == PassEnd::kStopped) return End(file_end);
      ReportProgress();
      if (file_end != PassEnd::kFilled) return End(file_end);
    }
    return End(PassEnd::kFilled);
  }

 private:
  PassResult End(PassEnd end) { return PassResult{end, written_}; }

  // Writes one file's blocks; kFilled when they all went (or the free space is written).
  PassEnd WriteFile() {
    for (int64_t i = 0; i < blocks_per_file_; ++i) {
      if (hooks_.aborted()) return PassEnd::kStopped;
      int32_t status = target_.Write(block_.data(), kWipeBlockBytes);
      if (status != 0) {
        if (target_.IsDeviceFull(status)) return PassEnd::kDeviceFull;
        LOG(ERROR) << "Wipe: a write failed after " << written_ << " bytes: " << status;
        return PassEnd::kFailed;
      }
      written_ += kWipeBlockBytes;
    }
    return PassEnd::kFilled;
  }

  void ReportProgress() {
    int percentage = static_cast<int>(std::min<int64_t>(100, written_ * 100 / free_));
    if (percentage <= last_percentage_) return;
    last_percentage_ = percentage;
    int64_t share = percentage / level_ + (percentage % level_ != 0 ? 1 : 0);  // rounded up, for any level
    hooks_.progress(base_ + static_cast<int>(share));
  }

  WipeTarget& target_;
  const std::vector<char>& block_;
  const int64_t free_;
  const int64_t blocks_per_file_;
  const int base_;
  const int64_t level_;
  const WipeHooks& hooks_;
  int64_t written_ = 0;
  int last_percentage_ = 0;
};

// A full device ends a pass normally once nine tenths of its free-space figure went in.
bool FilledEnough(int64_t written, int64_t free_bytes) { return written >= free_bytes - free_bytes / 10; }

}  // namespace

WipeOutcome WipeFreeSpace(WipeTarget& target, int64_t free_bytes, int64_t level, const WipeHooks& hooks) {
  WipeOutcome outcome;
  if (!target.MakeFolder(kWipeFolder)) {
    outcome.code = kCodeNoFolder;
    outcome.message = "mkdir /iostemp fail.";
    return outcome;
  }
  const std::vector<char> block(kWipeBlockBytes, 0);  // one zero block for every write of this wipe
  bool last_pass_filled = false;
  int64_t pass = 1;
  for (int base = 0; pass <= level && base <= kLastBase; ++pass, base += kBaseStep) {
    if (hooks.aborted()) {
      outcome.code = kCodeCancelled;
      break;
    }
    Pass run(target, block, std::max<int64_t>(free_bytes, 0), kBlocksPerPassStep * pass, base, level, hooks);
    PassResult result = run.Run();
    outcome.bytes_written += result.written;
    target.EmptyFolder(kWipeFolder, false);
    LOG(INFO) << "Wipe pass " << pass << ": " << result.written << " of " << free_bytes << " bytes";
    if (result.end == PassEnd::kStopped) {
      outcome.code = kCodeCancelled;
      break;
    }
    if (result.end == PassEnd::kFailed) {
      outcome.code = kCodeFileService;
      break;
    }
    last_pass_filled = result.end == PassEnd::kFilled || FilledEnough(result.written, free_bytes);
  }
  target.EmptyFolder(kWipeFolder, true);
  if (outcome.code == kCodeCancelled) {
    outcome.message = kCancelled;
  } else if (outcome.code == 0) {
    outcome.code = last_pass_filled ? kCodeOk : kCodeShort;
  }
  return outcome;
}
