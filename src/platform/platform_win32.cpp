#include "platform/platform.h"

namespace platform {

LANGID UserDefaultLangId()
{
    return GetUserDefaultLangID();
}

SYSTEMTIME LocalTime()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now;
}

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags)
{
    return MessageBoxW(owner, text, caption, flags);
}

}  // namespace platform
