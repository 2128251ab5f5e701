#pragma once
#include <windows.h>

// Runs a call that may raise a structured exception no handler of its own catches (a fault in
// the Windows Installer engine, in a mail client behind MAPI32.DLL). Such an exception reaches
// the process's top-level filter, which jumps back here instead of ending the process. One
// guarded call runs at a time, on one thread; an exception on any other thread is left to the
// system. Answers false, with the exception's code, when an exception escaped the call.
namespace exception_guard {

// Looks at an exception where it was raised: true lets the guard take it, false leaves it to
// the system.
using Filter = bool (*)(const EXCEPTION_RECORD& record);

extern void* g_jump[5];
// Arms the top-level filter for the calling thread; answers the filter it replaced. A null
// filter takes every exception.
LPTOP_LEVEL_EXCEPTION_FILTER Arm(Filter filter);
void Disarm(LPTOP_LEVEL_EXCEPTION_FILTER previous);
DWORD EscapedCode();

}  // namespace exception_guard

template <class Call>
bool __attribute__((noinline)) RunGuarded(Call call, DWORD& exceptionCode,
                                          exception_guard::Filter filter = nullptr)
{
#if defined(__i386__)
    // The jump skips the handler frames of the code that raised: the thread's handler chain
    // (the first word of its information block) must be set back to what it was here.
    void* chain;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(chain));
    void* volatile handlers = chain;  // read again from memory after the jump
#endif
    LPTOP_LEVEL_EXCEPTION_FILTER previous = exception_guard::Arm(filter);
    volatile bool completed = false;
    if (__builtin_setjmp(exception_guard::g_jump) == 0) {
        call();
        completed = true;
    } else {
#if defined(__i386__)
        chain = handlers;
        __asm__ volatile("movl %0, %%fs:0" : : "r"(chain) : "memory");
#endif
        exceptionCode = exception_guard::EscapedCode();
    }
    exception_guard::Disarm(previous);
    return completed;
}
