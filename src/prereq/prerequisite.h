#pragma once
#include <string>
#include <vector>

#include "log/version.h"

// One registry condition of a component: the full path of a value and the comparison, both
// non-empty ("HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Tool\Version", "VERSION>=2.1").
struct RegCondition {
    std::wstring RegPath;
    std::wstring RegCond;
};

// One component of a "PreReq%d" or "PostReq%d" section of the setup ini. A value type: the
// list holds copies.
struct PrerequisiteInfo {
    std::wstring Name;
    std::wstring Url;
    std::wstring InstPath;
    std::wstring InstParams;
    std::wstring UpdateParams;
    int IsUninstall = 0;
    int AdminNeed = 1;
    int RunAs = 0;
    int OSbit = 0;
    int OSver = 0;
    std::wstring FilePath;
    Version FileVer;
    int FileTryLoad = 0;
    std::wstring MsiProd;
    std::vector<RegCondition> RegConditions;
    std::wstring ChooseDownload;
    std::wstring RunExeCond;
    int Key64 = 0;
    bool Installed = false;
    // 2: no "Optional" key (mandatory, no check box); 1: optional, not pre-selected;
    // 0: optional, pre-selected.
    int OptionalState = 2;
    std::wstring ConditionText;
    std::wstring SkipIfFoundInPath;
    bool Selected = true;
    int UpdateMode = 0;
};

using PrerequisiteList = std::vector<PrerequisiteInfo>;

// Fills the list (cleared first) with the components of the sections format(0) … format(99)
// that the setup must act on: missing ones, and every entry that removes something.
void ReadPrerequisites(const wchar_t* format, PrerequisiteList& list);
// Fills the list (cleared first) with every named section format(0), format(1), … up to the
// first section without a name. Nothing is checked.
void ReadPostRequisites(const wchar_t* format, PrerequisiteList& list);
// Appends the section's RegPath/RegCond pair, then the pairs numbered 0 … 31, each only when
// both sides are non-empty.
void ReadRegConditions(const wchar_t* section, std::vector<RegCondition>& list);

// Decides from the record's conditions whether the setup must act on the component, updating
// Installed (and, through a checking tool, ConditionText and UpdateMode).
bool CheckPrerequisite(PrerequisiteInfo& record);
