// Force-included into the host build. wchar_t is 16 bits here (-fshort-wchar), as on Windows, but
// the C library's wide functions were built for 32 bits: every one that our sources or the
// standard library's templates call is renamed to a 16-bit one of ours (host.cpp), after the C
// library's own declarations.
#pragma once
#include "win/slim_runtime.h"

#include <cstddef>
#include <cwchar>

extern "C" {
size_t host_wcslen(const wchar_t* s);
int host_wmemcmp(const wchar_t* a, const wchar_t* b, size_t n);
wchar_t* host_wmemchr(const wchar_t* s, wchar_t c, size_t n);
wchar_t* host_wmemcpy(wchar_t* to, const wchar_t* from, size_t n);
wchar_t* host_wmemmove(wchar_t* to, const wchar_t* from, size_t n);
wchar_t* host_wmemset(wchar_t* s, wchar_t c, size_t n);
wchar_t* host_wcschr(const wchar_t* s, wchar_t c);
long host_wcstol(const wchar_t* s, wchar_t** end, int base);
unsigned long host_wcstoul(const wchar_t* s, wchar_t** end, int base);
int _wcsicmp(const wchar_t* a, const wchar_t* b);
int _wtoi(const wchar_t* s);
}
namespace std {
using ::host_wcslen, ::host_wmemcmp, ::host_wmemchr, ::host_wmemcpy, ::host_wmemmove, ::host_wmemset, ::host_wcschr,
    ::host_wcstol, ::host_wcstoul;
}
#define wcslen host_wcslen
#define wmemcmp host_wmemcmp
#define wmemchr host_wmemchr
#define wmemcpy host_wmemcpy
#define wmemmove host_wmemmove
#define wmemset host_wmemset
#define wcschr host_wcschr
#define wcstol host_wcstol
#define wcstoul host_wcstoul
