#include "log/error_text.h"

#include <windows.h>

#include "log/messages.h"
#include "resources/string_ids.h"
#include "win/format.h"
#include "win/handles.h"

std::wstring SystemErrorText(unsigned long code)
{
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, code, LANG_USER_DEFAULT, reinterpret_cast<LPWSTR>(&buffer),
                                  0, nullptr);
    UniqueLocalMemory owner(buffer);
    if (length == 0 || !buffer)
        return Format(L"Unknown error 0x%08X", static_cast<unsigned>(code));
    std::wstring text(buffer, length);
    if (text.size() > 1 && text.back() == L'\n') {
        text.pop_back();
        if (!text.empty() && text.back() == L'\r')
            text.pop_back();
    }
    return text;
}

std::wstring ErrorText(unsigned long code)
{
    return Format(L"Error(%d) '%s'", static_cast<int>(code), SystemErrorText(code).c_str());
}

std::wstring ErrorTextCaptioned(unsigned long code)
{
    return Format(L"%s(%d) '%s'", LoadText(IDS_ERROR).c_str(), static_cast<int>(code),
                  SystemErrorText(code).c_str());
}
