#pragma once
#include "htmlui/htmlayout_host.h"

// Results of the start screen.
constexpr int kStartInstall = 1000;
constexpr int kStartDeploy = 1001;
constexpr int kStartCancel = 2;
constexpr int kStartPageMissing = 0;

// The start page: resource 101 of type 23 (HTML) in the program.
constexpr int kStartPageId = 101;
constexpr unsigned short kHtmlResourceType = 23;

// The start page shown from the program's resources: each link sets the result by its href and
// closes the window.
class StartDlg : public htmlayout::dialog {
public:
    StartDlg() : dialog(nullptr, 0) {}

protected:
    bool OnBehaviorEvent(HELEMENT element, HlBehaviorRecord& record) override;
};

// Offers the start screen when the HTML engine lies beside the program, loads, and the ini does
// not switch the screen off; answers kStartInstall without showing anything otherwise.
int ShowStartScreen();

// The result a link of the start page stands for ("install", "deployment", "cancel", case
// ignored); -1 for any other href.
int StartResultForHref(const wchar_t* href);
