// The texts checks are written in: lists of items and dotted versions.
#include "prereq/system_checks.h"

#include <cwchar>
#include <cwctype>

void SplitList(const std::wstring& text, wchar_t separator, bool trim, std::vector<std::wstring>& list)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::wstring::npos)
            end = text.size();
        size_t first = start;
        size_t last = end;
        if (trim) {
            while (first < last && iswspace(text[first]))
                ++first;
            while (last > first && iswspace(text[last - 1]))
                --last;
        }
        if (last > first)
            list.push_back(text.substr(first, last - first));
        start = end + 1;
    }
}

bool ParseVersion5(const std::wstring& text, long parts[5])
{
    for (int index = 0; index < 5; ++index)
        parts[index] = 0;
    if (text.empty())
        return false;
    // The non-empty items between dots, each read where it stands: reading a number stops at
    // the dot after it, so no item needs a string of its own.
    const wchar_t* const data = text.c_str();
    const size_t size = text.size();
    int index = 0;
    for (size_t start = 0; start < size && index < 5;) {
        size_t end = text.find(L'.', start);
        if (end == std::wstring::npos)
            end = size;
        if (end > start)
            parts[index++] = wcstol(data + start, nullptr, 10);
        start = end + 1;
    }
    return true;
}

bool VersionTextEquals(const std::wstring& a, const std::wstring& b)
{
    if (a.empty() && b.empty())
        return false;
    long left[5];
    long right[5];
    ParseVersion5(a, left);
    ParseVersion5(b, right);
    for (int index = 0; index < 4; ++index) {
        if (left[index] != right[index])
            return false;
    }
    return true;
}
