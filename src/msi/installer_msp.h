#pragma once
#include "msi/installer.h"

// Applies the .msp patch named by the ini to the installed product. Name, version and language
// come from the ini (a patch run reads no package); the user is asked once.
// "Minor" or "Major", without regard to case: the operation types of a patch.
bool IsPatchOperationType(const std::wstring& type);

// The code page a patch run reads the ini in: that of the ini's ProductLangID.
unsigned PatchCodePage();

class CInstallerMsp : public CInstaller {
public:
    bool Install(bool& restartNeeded) override;
    bool Prepare() override;
    std::wstring GetProductName() override;
    std::wstring GetProductNameLangNeutral() override;
    std::wstring GetProductVersion() override;
    std::wstring GetTitle() override;
    bool CheckOperationType() override;

private:
    unsigned RunPatchInstall();
};
