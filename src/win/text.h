#pragma once
#include <windows.h>

#include <string>

// Conversions at the edges where ANSI text (the setup ini, MAPI) meets the program's UTF-16.
std::string WideToAnsi(const std::wstring& text, UINT codePage);
std::wstring AnsiToWide(const char* text, size_t length, UINT codePage);
std::wstring AnsiToWide(const std::string& text, UINT codePage);

bool EqualsNoCase(const std::wstring& a, const wchar_t* b);
