#pragma once
#include <string>

// The installer object the driver takes through its stages: a product (.msi) or a patch (.msp).
class CInstaller {
public:
    virtual ~CInstaller() = default;
    // Runs the installation; may set restartNeeded. False after a reported failure.
    virtual bool Install(bool& restartNeeded) = 0;
    // Reads what the run needs to know about the package. False after a shown message.
    virtual bool Prepare() = 0;
    virtual std::wstring GetProductName() = 0;
    virtual std::wstring GetProductNameLangNeutral() = 0;
    virtual std::wstring GetProductVersion() = 0;
    virtual std::wstring GetTitle() = 0;
    // Whether the ini key MsiType holds a value this installer accepts.
    virtual bool CheckOperationType() = 0;

    std::wstring Title;
};

// Installation results the installers produce or tell apart.
constexpr unsigned kNewerVersionInstalled = 1638;  // ERROR_PRODUCT_VERSION
constexpr unsigned kPatchTargetNotFound = 1642;    // ERROR_PATCH_TARGET_NOT_FOUND
constexpr unsigned kUpdatesDisabled = 7086;        // the program's own: older version, no updates

// Results of EvaluateInstallResult.
constexpr int kInstallSucceeded = 0;
constexpr int kInstallFailed = 1;
constexpr int kInstallCancelled = 1602;

// Turns a Windows Installer result into success, cancellation or a failure that it reports
// (log lines, and a message box with the log file's path at the full user-interface level).
int EvaluateInstallResult(const std::wstring& title, unsigned code);

// The end of an installer's Install: evaluates the result and, after a reported failure, offers
// to mail the setup log. A cancelled installation changed nothing and the user knows it: it
// counts as not done (exit code 3), without the report. True only on success.
bool ConcludeInstallation(CInstaller& installer, unsigned code);

// The default ANSI code page of a language, 0 when it cannot be had.
unsigned AnsiCodePageOf(unsigned long languageId);
