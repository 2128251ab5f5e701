#pragma once
#include "msi/installer.h"

// Installs the .msi product named by the ini: first installation, maintenance of the same
// version, upgrade of an older one, refusal of a newer one, administrative image.
// "Install" or "InstallUpgrade", without regard to case: the operation types of a product.
bool IsProductOperationType(const std::wstring& type);

// The code page a product run reads the ini in: that of the package's ProductLanguage (read by
// ReadPackageInfo).
unsigned ProductCodePage();

class CInstallerMsi : public CInstaller {
public:
    bool Install(bool& restartNeeded) override;
    bool Prepare() override;
    std::wstring GetProductName() override;
    std::wstring GetProductNameLangNeutral() override;
    std::wstring GetProductVersion() override;
    std::wstring GetTitle() override;
    bool CheckOperationType() override;

private:
    // The upgrade decision and the engine call; an upgrade brings up the prerequisites first.
    unsigned RunProductInstall(bool& restartNeeded);
};
