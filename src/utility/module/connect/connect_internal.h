// The connect module's commands, one per file.
//
// Thread safety: each runs on the task thread of its command.
#pragma once

#include "utility/child_link.h"
#include "utility/module/zeb_command.h"
#include "utility/protocol_codes.h"

inline constexpr int kConnectForwardBadJson = 51;
inline constexpr int kConnectInstallFailed = 51;
inline constexpr int kConnectNoListener = 52;
inline constexpr int kConnectLaunchFailed = 53;
inline constexpr int kConnectNoStoreEdition = 54;

int RunStartMonitor(ZEBCommand& command);
int RunDriverDownload(ZEBCommand& command);
// 17 and 18 in a normal instance: to the elevated copy.
int ForwardToElevatedCopy(ZEBCommand& command, ZEBChildLink& link);
// 17 and 18 in the elevated copy.
int RunDriverInstall(ZEBCommand& command);
int RunStoreEditionCheck(ZEBCommand& command);
