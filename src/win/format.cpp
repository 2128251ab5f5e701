#include "win/format.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

size_t FormatInto(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args)
{
    // msvcrt's _vsnwprintf answers -1 and leaves no terminator when the text does not fit.
    int written = _vsnwprintf(buffer, capacity - 1, format, args);
    buffer[capacity - 1] = L'\0';
    return written < 0 ? wcslen(buffer) : static_cast<size_t>(written);
}

std::wstring FormatV(const wchar_t* format, va_list args)
{
    wchar_t buffer[kMaxFormatted + 1];
    const size_t length = FormatInto(buffer, kMaxFormatted + 1, format, args);
    return std::wstring(buffer, length);
}

std::wstring Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatV(format, args);
    va_end(args);
    return text;
}

std::string FormatNarrowV(const char* format, va_list args)
{
    char buffer[kMaxFormattedNarrow + 1];
    int written = _vsnprintf(buffer, kMaxFormattedNarrow, format, args);
    buffer[kMaxFormattedNarrow] = '\0';
    size_t length = written < 0 ? strlen(buffer) : static_cast<size_t>(written);
    return std::string(buffer, length);
}
