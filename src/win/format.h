#pragma once
#include <cstdarg>
#include <string>

// The one formatter for the program's printf-style formats (string-table texts, log lines).
// It follows the Microsoft runtime's rules: "%s" takes a wide string in a wide format, "%S" a
// narrow one, "%I64u" and "%#x" work. Results are cut to kMaxFormatted characters.
constexpr size_t kMaxFormatted = 4095;

std::wstring FormatV(const wchar_t* format, va_list args);
// FormatV into the caller's buffer of `capacity` characters (its terminating zero included),
// without a string of its own; answers the length written.
size_t FormatInto(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args);
std::wstring Format(const wchar_t* format, ...);

// The same rules for an 8-bit format (the start screen's CSS selectors): "%S" takes a wide
// string there. Results are cut to kMaxFormattedNarrow bytes.
constexpr size_t kMaxFormattedNarrow = 2047;
std::string FormatNarrowV(const char* format, va_list args);
