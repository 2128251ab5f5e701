#pragma once
#include <string>
#include <vector>

#include "config/setup_ini.h"
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

// Sections format(0) … format(kPrerequisiteSections - 1) are read; conditions "RegPath"/"RegCond"
// and those numbered 0 … kNumberedRegConditions - 1.
constexpr int kPrerequisiteSections = 100;
// The section names of the setup's components: "PreReq%d" before the product, "PostReq%d" after it.
extern const wchar_t kPrerequisiteFormat[];
extern const wchar_t kPostRequisiteFormat[];
constexpr int kNumberedRegConditions = 32;

// The keys of the prerequisite sections, each name spelled once here for the readers.
namespace PrereqKey {
extern const wchar_t Name[], Url[], InstPath[], InstRegPath[], InstParams[], UpdateParams[],
    NotAssociateWithMSOfficeFiles[], IsUninstall[], AdminNeed[], RunAs[], OSbit[], OSver[], Key64[], FilePath[],
    FileVer[], FileTryLoad[], MsiProd[], RegPath[], RegCond[], ChooseDownload[], RunExeCond[],
    SkipIfFoundInPath[], Optional[];
}
// Every key of a "PreReq%d" section besides the numbered conditions, and of a "PostReq%d" one.
extern const IniKey kPrerequisiteKeys[];
extern const size_t kPrerequisiteKeyCount;
extern const IniKey kPostRequisiteKeys[];
extern const size_t kPostRequisiteKeyCount;

// What decided CheckPrerequisite's answer, in the order the tests are made.
enum class PrerequisiteDecision {
    OtherBitness,   // OSbit excludes this Windows
    OtherVersion,   // OSver excludes this Windows (or its version is unknown)
    NotSelected,
    FoundInPath,    // SkipIfFoundInPath
    File,
    Product,
    Registry,
    Tool,
    NoCondition,
};

// Told of every named section that ReadPrerequisites reads, in order.
class PrerequisiteObserver {
public:
    virtual ~PrerequisiteObserver() = default;
    // runnable: the section has something to run (else the setup drops it); then decision and act
    // are CheckPrerequisite's, act including the entries that remove something.
    virtual void Seen(const std::wstring& section, const PrerequisiteInfo& record, bool runnable,
                      PrerequisiteDecision decision, bool act) = 0;
};

// Reads one "PreReq%d" section as ReadPrerequisites does, without checking it. False when the
// section is no prerequisite: no Name, or nothing to run.
bool ReadPrerequisite(const wchar_t* section, PrerequisiteInfo& record);
// Fills the list (cleared first) with the components of the sections format(0) … format(99)
// that the setup must act on: missing ones, and every entry that removes something.
void ReadPrerequisites(const wchar_t* format, PrerequisiteList& list, PrerequisiteObserver* observer = nullptr);
// Fills the list (cleared first) with every named section format(0), format(1), … up to the
// first section without a name. Nothing is checked.
void ReadPostRequisites(const wchar_t* format, PrerequisiteList& list);
// Appends the section's RegPath/RegCond pair, then the pairs numbered 0 … 31, each only when
// both sides are non-empty.
void ReadRegConditions(const wchar_t* section, std::vector<RegCondition>& list);

// Decides from the record's conditions whether the setup must act on the component, updating
// Installed (and, through a checking tool, ConditionText and UpdateMode).
// decision (optional) tells which test decided.
bool CheckPrerequisite(PrerequisiteInfo& record, PrerequisiteDecision* decision = nullptr);
