#include "fake_platform.h"

#include "platform/platform.h"

FakePlatform& Fake()
{
    static FakePlatform fake;
    return fake;
}

namespace platform {

LANGID UserDefaultLangId()
{
    return Fake().userLanguage;
}

SYSTEMTIME LocalTime()
{
    return Fake().localTime;
}

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags)
{
    FakePlatform& fake = Fake();
    fake.boxes.push_back({owner, text ? text : L"", caption ? caption : L"", flags});
    if (fake.answers.empty())
        return IDOK;
    int answer = fake.answers.front();
    fake.answers.pop_front();
    return answer;
}

}  // namespace platform
