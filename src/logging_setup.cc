#include "logging_setup.h"

#include <glog/logging.h>

#include "utility/process_context.h"

void SetUpLogging(const std::string& program_name, const std::string& folder, bool to_files, bool to_stderr) {
  static std::string name;  // glog keeps the pointer
  name = program_name;
  FLAGS_logtostderr = false;
  FLAGS_logbufsecs = 0;
  FLAGS_max_log_size = 20;
  FLAGS_stderrthreshold = to_files && to_stderr ? google::GLOG_INFO : google::NUM_SEVERITIES;
  FLAGS_alsologtostderr = to_files && to_stderr;
  if (to_files) FLAGS_log_dir = folder;
  google::InitGoogleLogging(name.c_str());
  if (!to_files) {
    for (int severity = 0; severity < google::NUM_SEVERITIES; ++severity) google::SetLogDestination(severity, "");
  }
}

void ShutDownLogging() {
  // Other threads may still be logging, and glog's shutdown frees what they write to: flush the files and leave
  // them open for the process's last moments.
  if (ProcessContext::Get().SetLoggingShutDown()) google::FlushLogFiles(google::GLOG_INFO);
}
