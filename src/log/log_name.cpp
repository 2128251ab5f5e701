// What the log file may be called: the product's name as a file name can hold it.
#include "log/setup_log.h"

#include <algorithm>
#include <cwchar>

const wchar_t kDefaultLogName[] = L"BootStrapper";

bool IsForbiddenInFileName(wchar_t c)
{
    return c < 0x20 || (c != 0 && wcschr(L"\\/:*\"<>|", c));
}

bool CanNameLogFile(const std::wstring& name)
{
    return name.find(L'?') == std::wstring::npos && std::none_of(name.begin(), name.end(), IsForbiddenInFileName);
}

std::wstring LogFileNamePart(std::wstring name)
{
    std::replace(name.begin(), name.end(), L'?', L'$');
    std::replace_if(name.begin(), name.end(), IsForbiddenInFileName, L'_');
    // A name of nothing but blanks, dots and the marks put in for others is no name.
    if (name.find_first_not_of(L" ._") == std::wstring::npos)
        return kDefaultLogName;
    return name;
}
