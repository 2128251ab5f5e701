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
// Where IsValidRegCond finds the parts of a condition: the root is named by regPath up to
// rootEnd, the key path lies between that backslash and the last one, the value name follows at
// valueStart. On RegCondFault::None, the type word (DWORD, STRING, VERSION) is the first typeWord
// characters of regCond, the operator ("=" or ">=") the next opLength, the operand the rest.
struct RegCondParts {
    HKEY root = nullptr;
    size_t rootEnd = 0;
    size_t valueStart = 0;
    size_t typeWord = 0;
    size_t opLength = 0;
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
