#include "win/exception_guard.h"

namespace exception_guard {

void* g_jump[5];

namespace {

volatile DWORD g_thread;
volatile DWORD g_escapedCode;
Filter g_filter;

LONG WINAPI ReturnToGuard(EXCEPTION_POINTERS* info)
{
    if (GetCurrentThreadId() != g_thread || (g_filter && !g_filter(*info->ExceptionRecord)))
        return EXCEPTION_CONTINUE_SEARCH;
    g_escapedCode = info->ExceptionRecord->ExceptionCode;
    __builtin_longjmp(g_jump, 1);
}

}  // namespace

LPTOP_LEVEL_EXCEPTION_FILTER Arm(Filter filter)
{
    g_filter = filter;
    g_thread = GetCurrentThreadId();
    return SetUnhandledExceptionFilter(ReturnToGuard);
}

void Disarm(LPTOP_LEVEL_EXCEPTION_FILTER previous)
{
    SetUnhandledExceptionFilter(previous);
    g_thread = 0;
    g_filter = nullptr;
}

DWORD EscapedCode()
{
    return g_escapedCode;
}

}  // namespace exception_guard
