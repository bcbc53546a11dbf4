// The service start-up: everything between the process set-up and the message loop, in its fixed order.
//
// Thread safety: main thread only.
#pragma once

// Returns false when a step fails so that the helper cannot serve at all (the exit code is then 1).
bool RunServiceStartup();
