#pragma once
#include <string>
#include <vector>

// One thing the checker found in a distribution: where, what was written, and why it matters.
// A note changes nothing the setup does wrong: it says how a design the setup accepts behaves.
enum class Severity { Note, Warning, Error };

struct Finding {
    Severity severity = Severity::Warning;
    std::wstring section;
    std::wstring key;
    std::wstring value;
    std::wstring reason;
};

// How one prerequisite or post-requisite section fares on this machine, as the setup decides it.
struct Detection {
    std::wstring section;
    std::wstring name;
    std::wstring verdict;    // present, missing, remove, not-applicable, skipped, runs-after
    std::wstring condition;  // the condition that decided, as written in the ini
};

struct Report {
    std::wstring distribution;  // the setup program the checks stand for
    std::vector<Finding> findings;
    bool dryRun = false;
    std::vector<Detection> detection;
};

// 0 clean (notes only), 1 warnings only, 2 errors.
int ExitCodeOf(const Report& report);
// The report as aligned text for people.
std::wstring ReportTable(const Report& report);
// The report as one JSON document.
std::wstring ReportJson(const Report& report);
