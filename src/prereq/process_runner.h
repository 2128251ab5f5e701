#pragma once
#include <windows.h>

// Waits for the process to end while dispatching the thread's window messages, so the setup's
// windows stay responsive. Answers 0 when the process ended, else the failed wait's error code.
DWORD WaitWithMessages(HANDLE process);
