#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Drives the modal dialogs of the test's own thread as a person would, from a timer that their
// message loops dispatch. Each step waits until the topmost enabled dialog of the thread meets
// its condition, then acts on it. Actions post messages rather than send them, so that a click
// that starts a long operation (or another modal loop) does not block the script.
// A script that does not finish in time ends every dialog of the thread, and says so.
class DialogScript {
public:
    using Condition = std::function<bool(HWND dialog)>;
    using Action = std::function<void(HWND dialog)>;

    DialogScript();
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    // A step on whatever dialog is on top.
    DialogScript& Then(Action action);
    DialogScript& When(Condition condition, Action action);

    bool Finished() const { return next_ == steps_.size(); }
    bool TimedOut() const { return timedOut_; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    void Tick();

    struct Step {
        Condition condition;
        Action action;
    };
    std::vector<Step> steps_;
    size_t next_ = 0;
    UINT_PTR timer_ = 0;
    DWORD started_ = 0;
    bool timedOut_ = false;
};

// The topmost visible, enabled dialog window of the calling thread, or null.
HWND TopDialog();
std::wstring WindowText(HWND window);
std::wstring ItemText(HWND dialog, int id);
// Posts a button click as the dialog receives it from the button.
void PostClick(HWND dialog, int id);
// A condition: the dialog's caption is exactly this text.
DialogScript::Condition CaptionIs(const std::wstring& caption);
