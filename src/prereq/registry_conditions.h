#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "prereq/prerequisite.h"

// Reads one registry value and compares it with an operand; one object per evaluated condition.
class CRegComparer {
public:
    CRegComparer(HKEY root, std::wstring keyPath, std::wstring valueName, bool use64BitView);
    virtual ~CRegComparer() = default;
    CRegComparer(const CRegComparer&) = delete;
    CRegComparer& operator=(const CRegComparer&) = delete;

    // op is "=" or ">=".
    virtual bool Compare(const std::wstring& op, const std::wstring& operand) = 0;

protected:
    // Reads the value into the buffer; logs a failure. Answers the Windows error code.
    LONG GetRegValue(void* buffer, DWORD size);

private:
    HKEY root_;
    std::wstring keyPath_;
    std::wstring valueName_;
    bool use64BitView_;
};

class CRegComparerDword : public CRegComparer {
public:
    using CRegComparer::CRegComparer;
    bool Compare(const std::wstring& op, const std::wstring& operand) override;
};

class CRegComparerString : public CRegComparer {
public:
    using CRegComparer::CRegComparer;
    bool Compare(const std::wstring& op, const std::wstring& operand) override;
};

class CRegComparerVersion : public CRegComparer {
public:
    using CRegComparer::CRegComparer;
    bool Compare(const std::wstring& op, const std::wstring& operand) override;
};

// Why a condition cannot be evaluated, in the order the parts are looked at.
enum class RegCondFault {
    None,
    InvalidKey,        // RegPath empty or without a backslash
    UnknownRoot,       // the text before the first backslash names no root key
    NoValueName,       // nothing but the root and one more item
    UnknownType,       // RegCond begins with none of DWORD, STRING, VERSION
    UnknownOperator,   // neither "=" nor ">=" follows the type word
};
// The parts of a condition as IsValidRegCond reads them. On RegCondFault::None, typeWord is 5, 6
// or 7 (DWORD, STRING, VERSION) and op, operand what follows it.
struct RegCondParts {
    HKEY root = nullptr;
    std::wstring rootName;
    std::wstring keyPath;
    std::wstring valueName;
    size_t typeWord = 0;
    std::wstring op;
    std::wstring operand;
};
RegCondFault ParseRegCond(const std::wstring& regPath, const std::wstring& regCond, RegCondParts& parts);

// True when at least one condition of the list holds (the conditions are alternatives).
bool CheckRegConditions(const std::vector<RegCondition>& conditions, int key64);
// Parses and evaluates one condition; every refusal and every unmet condition is logged.
bool IsValidRegCond(const std::wstring& regPath, const std::wstring& regCond, int key64);

// RegOpenKeyExW (KEY_READ, plus KEY_WOW64_64KEY when asked) and RegQueryValueExW.
LONG QueryRegValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, DWORD* type,
                   void* buffer, DWORD* size, bool use64BitView);
// The text of the value a full path names ("HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Path", blanks
// around items and empty items ignored). 3 (ERROR_PATH_NOT_FOUND) for a malformed path.
LONG ReadRegistryPathValue(const std::wstring& path, bool use64BitView, std::wstring& text);
