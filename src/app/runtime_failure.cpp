// The program is built without exceptions. The standard library's container checks would
// otherwise pull in the whole exception and demangling machinery to report conditions that
// only an exhausted memory or a defect can cause; here they end the process at once.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "app/driver.h"

namespace {

[[noreturn]] void RuntimeFailure()
{
    ExitProcess(static_cast<UINT>(kExitRefused));
}

void* Allocate(std::size_t size)
{
    void* memory = std::malloc(size ? size : 1);
    if (!memory)
        RuntimeFailure();
    return memory;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace std {

void __throw_bad_alloc() { RuntimeFailure(); }
void __throw_bad_array_new_length() { RuntimeFailure(); }
void __throw_length_error(const char*) { RuntimeFailure(); }
void __throw_logic_error(const char*) { RuntimeFailure(); }
void __throw_out_of_range(const char*) { RuntimeFailure(); }
void __throw_out_of_range_fmt(const char*, ...) { RuntimeFailure(); }
void __throw_invalid_argument(const char*) { RuntimeFailure(); }
void __throw_bad_function_call() { RuntimeFailure(); }

}  // namespace std
