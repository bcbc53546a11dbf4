// Corvane: the windowless helper that does the device work of the host application.
//
// The host starts it with one JSON object of start parameters as its command line. The helper sets up its work
// folder, logging and crash reporting, watches the host process, runs the service start-up (host link, command
// table, plug-ins, device monitor, start reports) and then waits in its message loop until the host process has
// gone (or it is told to stop). Then it shuts logging down, removes its process folder and exits with 0.
#include <glog/logging.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "crash_report.h"
#include "host_watch.h"
#include "libbasic/auto_release_pool.h"
#include "libbasic/bas_dbg_report.h"
#include "libbasic/bas_utility_sys.h"
#include "logging_setup.h"
#include "message_loop.h"
#include "platform/platform.h"
#include "service_startup.h"
#include "utility/process_context.h"
#include "utility/start_params.h"

namespace {

std::string JoinArguments(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

std::string WorkFolder(const std::string& brand) {
  std::string folder = platform::TempFolder();
  if (!brand.empty()) folder += brand + "/";
  return folder + bas::BASUtilitySys::GetNowDateTime("%Y%m%d");
}

void ShutDown() {
  if (ProcessContext::Get().params().open_log) ShutDownLogging();
  ProcessContext::Get().RemoveProcessFolder();
}

}  // namespace

int main(int argc, char** argv) {
  platform::CallOnTerminationSignal(&RequestQuit);
  platform::IgnoreBrokenPipes();
  bas::BASAutoReleasePool::InitPool();
  bas::BASAutoReleasePool::StartLocalPool();

  StartParams params;
  ParseStartParams(JoinArguments(argc, argv), &params);
  std::string work_folder = WorkFolder(params.brand);
  platform::CreateDirectories(work_folder);
  ProcessContext::Get().Init(params, work_folder);

  if (!params.show_console) platform::RedirectStandardStreamsToNull();
  SetUpLogging(platform::ExecutableName(), work_folder, params.open_log, params.show_console);
  bas::BASDbgReport::RegisterCrashFilter(CrashDumpPath(work_folder), &CleanUpAfterCrash, &WriteCrashReport);
  LOG(INFO) << "Corvane started: pid " << platform::CurrentProcessId() << ", product " << params.product << " "
            << params.version << ", helper type " << params.helper_type;

  HostWatch::Get().Start(params.host_pid, &RequestQuit);
  if (!RunServiceStartup()) ::_exit(1);  // threads are running: no static destructors

  MessageLoop::Get().Run();

  ShutDown();
  bas::BASAutoReleasePool::EndLocalPool();
  bas::BASAutoReleasePool::PrintLeakObject(stderr);
  bas::BASAutoReleasePool::DestroyPool();
  std::fflush(nullptr);
  // Worker and channel threads may still be inside a task; ending here keeps them from running into destroyed
  // statics.
  ::_exit(0);
}
