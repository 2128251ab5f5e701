// Registry conditions over a registry of one value. Input: RegPath, "\n", RegCond, "\n", then the
// value's bytes, all UTF-16LE. Wherever the condition parses, "=" holding implies ">=" holding,
// and texts and versions are ordered totally: one of two values is at or after the other.
#include <windows.h>

#include <cassert>
#include <cstdint>

#include "prereq/registry_conditions.h"

namespace {

bool Holds(const std::wstring& path, const std::wstring& condition, const std::wstring& value)
{
    g_hostRegValue = reinterpret_cast<const BYTE*>(value.data());
    g_hostRegSize = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    return IsValidRegCond(path, condition, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring input(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    const size_t first = input.find(L'\n'), second = input.find(L'\n', first + 1);
    if (second == std::wstring::npos)
        return 0;
    const std::wstring path = input.substr(0, first), condition = input.substr(first + 1, second - first - 1);
    const std::wstring value = input.substr(second + 1);
    RegCondParts parts;
    const bool holds = Holds(path, condition, value);
    if (ParseRegCond(path, condition, parts) != RegCondFault::None) {
        assert(!holds);
        return 0;
    }
    assert(parts.root && parts.rootEnd < parts.valueStart && parts.valueStart <= path.size());
    assert(parts.typeWord + parts.opLength <= condition.size());
    const std::wstring type = condition.substr(0, parts.typeWord);
    const std::wstring operand = condition.substr(parts.typeWord + parts.opLength);
    assert(!Holds(path, type + L"=" + operand, value) || Holds(path, type + L">=" + operand, value));
    // A text fits the comparers' 260 characters and ends at its first zero.
    const bool texts = operand.size() < 260 && value.size() < 260 && operand.find(L'\0') == std::wstring::npos &&
                       value.find(L'\0') == std::wstring::npos && !(operand.empty() && value.empty());
    if (type.size() > 5 && texts)
        assert(Holds(path, type + L">=" + operand, value) || Holds(path, type + L">=" + value, operand));
    return 0;
}
