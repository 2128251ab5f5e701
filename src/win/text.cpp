#include "win/text.h"

std::string WideToAnsi(const std::wstring& text, UINT codePage)
{
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &result[0], size,
                        nullptr, nullptr);
    return result;
}

std::wstring AnsiToWide(const char* text, size_t length, UINT codePage)
{
    if (length == 0)
        return std::wstring();
    int size = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
    if (size <= 0)
        return std::wstring();
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), &result[0], size);
    return result;
}

std::wstring AnsiToWide(const std::string& text, UINT codePage)
{
    return AnsiToWide(text.data(), text.size(), codePage);
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b)
{
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b, -1) == CSTR_EQUAL;
}

bool EqualsAsciiNoCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAsciiLetter(a[i]) != FoldAsciiLetter(b[i]))
            return false;
    }
    return true;
}

void WriteStandard(DWORD stream, const std::wstring& text)
{
    // A console shows bytes in its own code page (437, 850, 866...), so it gets the characters
    // themselves; a pipe or a file gets UTF-8.
    const HANDLE handle = GetStdHandle(stream);
    DWORD written = 0, mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = WideToAnsi(text, CP_UTF8);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
