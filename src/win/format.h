#pragma once
#include <cstdarg>
#include <string>

// The one formatter for the program's printf-style formats (string-table texts, log lines).
// It follows the Microsoft runtime's rules: "%s" takes a wide string in a wide format, "%S" a
// narrow one, "%I64u" and "%#x" work. Results are cut to kMaxFormatted characters.
constexpr size_t kMaxFormatted = 4095;

std::wstring FormatV(const wchar_t* format, va_list args);
std::wstring Format(const wchar_t* format, ...);
