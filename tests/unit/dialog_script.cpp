#include "dialog_script.h"

namespace {

DialogScript* g_Active = nullptr;
constexpr UINT kTickMilliseconds = 30;
constexpr DWORD kPatienceMilliseconds = 20000;

BOOL CALLBACK CollectDialogs(HWND window, LPARAM list)
{
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wstring(className) == L"#32770")
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> ThreadDialogs()
{
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialogs, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

}  // namespace

DialogScript::DialogScript()
{
    g_Active = this;
    started_ = GetTickCount();
    timer_ = SetTimer(nullptr, 0, kTickMilliseconds, &DialogScript::OnTimer);
}

DialogScript::~DialogScript()
{
    KillTimer(nullptr, timer_);
    g_Active = nullptr;
}

DialogScript& DialogScript::Then(Action action)
{
    return When([](HWND) { return true; }, std::move(action));
}

DialogScript& DialogScript::When(Condition condition, Action action)
{
    steps_.push_back({std::move(condition), std::move(action)});
    return *this;
}

void CALLBACK DialogScript::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_Active)
        g_Active->Tick();
}

void DialogScript::Tick()
{
    if (Finished())
        return;
    if (GetTickCount() - started_ > kPatienceMilliseconds) {
        timedOut_ = true;
        next_ = steps_.size();
        for (HWND dialog : ThreadDialogs())
            EndDialog(dialog, -2);
        return;
    }
    HWND dialog = TopDialog();
    if (!dialog || !steps_[next_].condition(dialog))
        return;
    // Advanced first: an action may lead into a nested message loop that ticks again.
    Action action = steps_[next_++].action;
    action(dialog);
}

HWND TopDialog()
{
    for (HWND dialog : ThreadDialogs()) {
        if (IsWindowVisible(dialog) && IsWindowEnabled(dialog))
            return dialog;
    }
    return nullptr;
}

std::wstring WindowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], length + 1)));
    return text;
}

std::wstring ItemText(HWND dialog, int id)
{
    return WindowText(GetDlgItem(dialog, id));
}

void PostClick(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

DialogScript::Condition CaptionIs(const std::wstring& caption)
{
    return [caption](HWND dialog) { return WindowText(dialog) == caption; };
}
