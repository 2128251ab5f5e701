#include "distcheck/dry_run.h"

#include "log/version.h"
#include "prereq/prerequisite.h"
#include "prereq/process_runner.h"
#include "win/format.h"

namespace {

// A checking tool answers at once; this leaves room for a slow start on a loaded machine.
constexpr DWORD kToolSeconds = 30;

// The condition that decided, as the publisher wrote it.
std::wstring DecidingCondition(const PrerequisiteInfo& record, PrerequisiteDecision decision)
{
    switch (decision) {
    case PrerequisiteDecision::OtherBitness:
        return Format(L"OSbit=%d", record.OSbit);
    case PrerequisiteDecision::OtherVersion:
        return Format(L"OSver=%d", record.OSver);
    case PrerequisiteDecision::NotSelected:
        return L"not selected";
    case PrerequisiteDecision::FoundInPath:
        return L"SkipIfFoundInPath=" + record.SkipIfFoundInPath;
    case PrerequisiteDecision::File:
        return L"FilePath=" + record.FilePath + L" FileVer=" + VersionText(record.FileVer);
    case PrerequisiteDecision::Product:
        return L"MsiProd: the product of " + record.InstPath;
    case PrerequisiteDecision::Registry: {
        std::wstring text;
        for (const RegCondition& condition : record.RegConditions)
            text += (text.empty() ? L"" : L" or ") + condition.RegPath + L" " + condition.RegCond;
        return text;
    }
    case PrerequisiteDecision::Tool:
        return L"RunExeCond=" + record.RunExeCond +
               (record.ConditionText.empty() ? std::wstring() : L" (" + record.ConditionText + L")");
    case PrerequisiteDecision::NoCondition:
        break;
    }
    return L"no condition: counts as present";
}

class Recorder : public PrerequisiteObserver {
public:
    explicit Recorder(Report& report) : report_(report) {}

    void Seen(const std::wstring& section, const PrerequisiteInfo& record, bool runnable,
              PrerequisiteDecision decision, bool act) override
    {
        Detection seen{section, record.Name, std::wstring(), DecidingCondition(record, decision)};
        if (!runnable) {
            seen.verdict = L"skipped";
            seen.condition = L"nothing to run";
        } else if (record.IsUninstall != 0) {
            seen.verdict = L"remove";
        } else if (decision == PrerequisiteDecision::OtherBitness || decision == PrerequisiteDecision::OtherVersion) {
            seen.verdict = L"not-applicable";
        } else {
            seen.verdict = act ? L"missing" : L"present";
        }
        if (g_CheckingToolLimit.cutShort > cutShort_) {
            cutShort_ = g_CheckingToolLimit.cutShort;
            report_.findings.push_back(Finding{Severity::Error, section, PrereqKey::RunExeCond, record.RunExeCond,
                                               Format(L"the checking tool did not end within %u seconds: the setup "
                                                      L"would wait for it for ever",
                                                      static_cast<unsigned>(kToolSeconds))});
        }
        report_.detection.push_back(std::move(seen));
    }

private:
    Report& report_;
    unsigned cutShort_ = 0;
};

}  // namespace

void DryRun(Report& report)
{
    g_CheckingToolLimit.milliseconds = kToolSeconds * 1000;
    std::vector<Detection>& detection = report.detection;
    Recorder recorder(report);
    PrerequisiteList list;
    ReadPrerequisites(kPrerequisiteFormat, list, &recorder);
    ReadPostRequisites(kPostRequisiteFormat, list);
    for (size_t index = 0; index < list.size(); ++index) {
        detection.push_back(Detection{Format(kPostRequisiteFormat, static_cast<int>(index)), list[index].Name,
                                      L"runs-after", L"no condition: runs after the product"});
    }
}
