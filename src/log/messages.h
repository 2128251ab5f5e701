#pragma once
#include <windows.h>

#include <string>

struct SetupSettings;

// Logs the text (time-stamped) and shows it only at the full user-interface level.
// Answers the button pressed, or IDOK when nothing was shown.
int ReportMessage(const SetupSettings& settings, HWND owner, const std::wstring& text,
                  const std::wstring& caption, UINT flags);

// Shows the text only at the full user-interface level and logs nothing. An empty caption
// becomes "Installation Error". Answers the button pressed, or IDOK when nothing was shown.
int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT flags, HWND owner);

// A message box shown at every user-interface level and not logged.
int ShowAlways(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);

// The string-table text in the user's default language.
std::wstring LoadText(unsigned id);
// The text from the block of exactly that language, else by the platform's resource rules.
std::wstring LoadTextIn(unsigned id, LANGID language);
// The string-table text used as a printf format.
std::wstring FormatText(unsigned id, ...);

// "\r\nLog file:\r\n'<path>'" with the long form of the run's log path, appended to failure
// messages so the user knows where to look.
std::wstring LogFileNotice();
