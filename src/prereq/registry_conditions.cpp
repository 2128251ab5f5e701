#include "prereq/registry_conditions.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "log/error_text.h"
#include "log/setup_log.h"
#include "prereq/system_checks.h"
#include "win/handles.h"

namespace {

// Text values are read into 260 characters; one more stays zero, so the text always ends.
constexpr DWORD kTextChars = 260;
constexpr DWORD kTextBytes = kTextChars * sizeof(wchar_t);

wchar_t Folded(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Negative, zero or positive as a sorts before, with or after b, with A–Z folded to a–z and
// every other character compared by its code.
int CompareFolded(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        const wchar_t left = Folded(*a);
        const wchar_t right = Folded(*b);
        if (left != right)
            return left < right ? -1 : 1;
        if (left == L'\0')
            return 0;
    }
}

bool StartsWithFolded(const wchar_t* text, const wchar_t* prefix)
{
    for (; *prefix != L'\0'; ++text, ++prefix) {
        if (Folded(*text) != Folded(*prefix))
            return false;
    }
    return true;
}

// The root key the first length characters of name stand for (as a text, up to a zero among
// them), searched in this order; null when they name none of them.
HKEY FindRoot(const wchar_t* name, size_t length)
{
    length = static_cast<size_t>(std::find(name, name + length, L'\0') - name);
    static const struct {
        const wchar_t* name;
        size_t length;
        HKEY key;
    } kRoots[] = {
        {L"HKEY_CLASSES_ROOT", 17, HKEY_CLASSES_ROOT},   {L"HKEY_CURRENT_USER", 17, HKEY_CURRENT_USER},
        {L"HKEY_LOCAL_MACHINE", 18, HKEY_LOCAL_MACHINE}, {L"HKEY_USERS", 10, HKEY_USERS},
        {L"HKEY_PERFORMANCE_DATA", 21, HKEY_PERFORMANCE_DATA},
    };
    for (const auto& root : kRoots) {
        if (root.length == length && StartsWithFolded(name, root.name))
            return root.key;
    }
    return nullptr;
}

HKEY FindRoot(const std::wstring& name)
{
    return FindRoot(name.c_str(), name.size());
}

// One comparer of the given kind, for one comparison.
template <class Comparer>
bool CompareValue(HKEY root, std::wstring keyPath, std::wstring valueName, bool use64BitView, const std::wstring& op,
                  const std::wstring& operand)
{
    Comparer comparer(root, std::move(keyPath), std::move(valueName), use64BitView);
    return comparer.Compare(op, operand);
}

// The type words of conditions, tested in this order, with the comparer each one makes.
const struct {
    const wchar_t* word;
    size_t length;
    bool (*compare)(HKEY, std::wstring, std::wstring, bool, const std::wstring&, const std::wstring&);
} kKinds[] = {
    {L"DWORD", 5, &CompareValue<CRegComparerDword>},
    {L"STRING", 6, &CompareValue<CRegComparerString>},
    {L"VERSION", 7, &CompareValue<CRegComparerVersion>},
};

}  // namespace

CRegComparer::CRegComparer(HKEY root, std::wstring keyPath, std::wstring valueName, bool use64BitView)
    : root_(root), keyPath_(std::move(keyPath)), valueName_(std::move(valueName)), use64BitView_(use64BitView)
{
}

LONG CRegComparer::GetRegValue(void* buffer, DWORD size)
{
    const LONG result = QueryRegValue(root_, keyPath_, valueName_, nullptr, buffer, &size, use64BitView_);
    if (result != ERROR_SUCCESS) {
        // Root keys are 32-bit handle values (0x80000002), whatever the pointer width.
        LogPrintf(L"CRegComparer.GetRegValue(%#x, '%s', '%s') failed. %s\r\n",
                  static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(root_)), keyPath_.c_str(),
                  valueName_.c_str(), ErrorText(result).c_str());
    }
    return result;
}

bool CRegComparerDword::Compare(const std::wstring& op, const std::wstring& operand)
{
    LONG value = 0;
    if (GetRegValue(&value, sizeof(value)) != ERROR_SUCCESS)
        return false;
    const LONG wanted = wcstol(operand.c_str(), nullptr, 10);
    return op == L"=" ? value == wanted : value >= wanted;
}

bool CRegComparerString::Compare(const std::wstring& op, const std::wstring& operand)
{
    wchar_t value[kTextChars + 1] = {};
    if (GetRegValue(value, kTextBytes) != ERROR_SUCCESS)
        return false;
    const int order = CompareFolded(operand.c_str(), value);
    return op == L"=" ? order == 0 : order <= 0;
}

bool CRegComparerVersion::Compare(const std::wstring& op, const std::wstring& operand)
{
    wchar_t buffer[kTextChars + 1] = {};
    if (GetRegValue(buffer, kTextBytes) != ERROR_SUCCESS)
        return false;
    const std::wstring value = buffer;
    if (op == L">=" && !(operand.empty() && value.empty())) {
        long wanted[5];
        long found[5];
        ParseVersion5(operand, wanted);
        ParseVersion5(value, found);
        for (int index = 0; index < 5; ++index) {
            if (wanted[index] != found[index]) {
                if (wanted[index] < found[index])
                    return true;
                break;
            }
        }
    }
    return VersionTextEquals(operand, value);
}

bool CheckRegConditions(const std::vector<RegCondition>& conditions, int key64)
{
    for (const RegCondition& condition : conditions) {
        if (IsValidRegCond(condition.RegPath, condition.RegCond, key64))
            return true;
    }
    return false;
}

RegCondFault ParseRegCond(const std::wstring& regPath, const std::wstring& regCond, RegCondParts& parts)
{
    // Detection evaluates thousands of conditions: the parts are found where they are, and only
    // what a comparer keeps becomes a string of its own.
    parts.rootEnd = regPath.find(L'\\');
    if (parts.rootEnd == std::wstring::npos)
        return RegCondFault::InvalidKey;
    parts.root = FindRoot(regPath.c_str(), parts.rootEnd);
    if (!parts.root)
        return RegCondFault::UnknownRoot;
    parts.valueStart = regPath.rfind(L'\\') + 1;
    if (parts.valueStart == parts.rootEnd + 1)
        return RegCondFault::NoValueName;
    const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                   [&](const auto& k) { return StartsWithFolded(regCond.c_str(), k.word); });
    if (kind == std::end(kKinds))
        return RegCondFault::UnknownType;
    parts.typeWord = kind->length;
    const wchar_t* const condition = regCond.c_str() + parts.typeWord;
    parts.opLength = StartsWithFolded(condition, L"=") ? 1 : StartsWithFolded(condition, L">=") ? 2 : 0;
    return parts.opLength ? RegCondFault::None : RegCondFault::UnknownOperator;
}

bool IsValidRegCond(const std::wstring& regPath, const std::wstring& regCond, int key64)
{
    RegCondParts parts;
    switch (ParseRegCond(regPath, regCond, parts)) {
    case RegCondFault::InvalidKey:
        LogPrintf(L"IsValidRegCond() failed. Invalid registry key '%s'.\r\n", regPath.c_str());
        return false;
    case RegCondFault::UnknownRoot:
        LogPrintf(L"IsValidRegCond() failed. Can't find root registry key '%s'.\r\n",
                  regPath.substr(0, parts.rootEnd).c_str());
        return false;
    case RegCondFault::NoValueName:
        LogPrintf(L"IsValidRegCond() failed. Invalid parameter RegPath='%s'.\r\n", regPath.c_str());
        return false;
    case RegCondFault::UnknownType:
        LogPrintf(L"IsValidRegCond() failed. Invalid variable in condition '%s'. RegPath='%s'.\r\n",
                  regCond.c_str(), regPath.c_str());
        return false;
    case RegCondFault::UnknownOperator:
        LogPrintf(L"IsValidRegCond() failed. Invalid operation in condition '%s'. RegPath='%s'.\r\n",
                  regCond.c_str(), regPath.c_str());
        return false;
    case RegCondFault::None:
        break;
    }
    const auto& kind = *std::find_if(std::begin(kKinds), std::end(kKinds),
                                     [&](const auto& k) { return k.length == parts.typeWord; });
    if (kind.compare(parts.root, regPath.substr(parts.rootEnd + 1, parts.valueStart - parts.rootEnd - 2),
                     regPath.substr(parts.valueStart), key64 != 0, regCond.substr(parts.typeWord, parts.opLength),
                     regCond.substr(parts.typeWord + parts.opLength)))
        return true;
    LogPrintf(L"IsValidRegCond() failed. Invalid condition '%s'. RegPath='%s'.\r\n", regCond.c_str(),
              regPath.c_str());
    return false;
}

LONG QueryRegValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, DWORD* type,
                   void* buffer, DWORD* size, bool use64BitView)
{
    UniqueRegKey key;
    const REGSAM access = KEY_READ | (use64BitView ? KEY_WOW64_64KEY : 0);
    const LONG result = RegOpenKeyExW(root, keyPath.c_str(), 0, access, key.Receive());
    if (result != ERROR_SUCCESS)
        return result;
    return RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, type, static_cast<BYTE*>(buffer), size);
}

LONG ReadRegistryPathValue(const std::wstring& path, bool use64BitView, std::wstring& text)
{
    std::vector<std::wstring> items;
    SplitList(path, L'\\', true, items);
    if (items.size() < 3)
        return ERROR_PATH_NOT_FOUND;
    const HKEY root = FindRoot(items.front());
    if (!root)
        return ERROR_PATH_NOT_FOUND;
    std::wstring keyPath = items[1];
    for (size_t index = 2; index + 1 < items.size(); ++index)
        keyPath += L'\\' + items[index];
    wchar_t value[kTextChars + 1] = {};
    DWORD size = kTextBytes;
    const LONG result = QueryRegValue(root, keyPath, items.back(), nullptr, value, &size, use64BitView);
    if (result == ERROR_SUCCESS)
        text = value;
    return result;
}
