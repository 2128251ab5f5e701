#include "prereq/process_runner.h"

DWORD WaitWithMessages(HANDLE process)
{
    for (;;) {
        const DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0)
            return 0;
        if (result != WAIT_OBJECT_0 + 1)
            return GetLastError();
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}
