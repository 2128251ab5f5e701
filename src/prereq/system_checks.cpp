#include "prereq/system_checks.h"

#include "config/setup_ini.h"

void ReplaceMacro(std::wstring& text, const wchar_t* macro, const std::wstring& replacement)
{
    const size_t macroLength = wcslen(macro);
    for (size_t at = text.find(macro); at != std::wstring::npos;
         at = text.find(macro, at + replacement.size()))
        text.replace(at, macroLength, replacement);
}

std::wstring RootFolder()
{
    return GetModulePath(false, false);
}
