#pragma once
#include <windows.h>

#include <string>

// Conversions at the edges where ANSI text (the setup ini, MAPI) meets the program's UTF-16.
std::string WideToAnsi(const std::wstring& text, UINT codePage);
std::wstring AnsiToWide(const char* text, size_t length, UINT codePage);
std::wstring AnsiToWide(const std::string& text, UINT codePage);

bool EqualsNoCase(const std::wstring& a, const wchar_t* b);

// Writes text to a standard handle (the console tools' output): to a console as characters, to
// a pipe or a file as UTF-8.
void WriteStandard(DWORD stream, const std::wstring& text);

// The letters A to Z as a to z; every other character as it is.
inline wchar_t FoldAsciiLetter(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}
// Equal texts when only the letters A to Z may differ in case, as _wcsicmp compares in the "C"
// locale.
bool EqualsAsciiNoCase(const std::wstring& a, const std::wstring& b);
