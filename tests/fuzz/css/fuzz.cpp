// The style sheet parser: declarations come out lower case and trimmed, findings inside the sheet.
#include <cassert>
#include <cstdint>

#include "css.h"
#include "html_parser.h"

using namespace hl;

namespace {

void CheckDeclarations(const std::vector<Declaration>& declarations)
{
    for (const Declaration& d : declarations) {
        assert(!d.property.empty() && d.property == Lower(d.property) && d.value == Trim(d.value));
        DeclarationProblem(d);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring text = DecodePage(data, size);
    std::vector<Rule> rules;
    SheetFindings findings;
    ParseStyleSheet(text, rules, &findings);
    for (const auto& finding : findings)
        assert(finding.first <= text.size() && !finding.second.empty());
    for (size_t i = 0; i < rules.size(); ++i) {
        assert(!rules[i].selector.compounds.empty() && rules[i].selector.compounds[0].combinator == Compound::None);
        assert(i == 0 || rules[i - 1].order <= rules[i].order);
        CheckDeclarations(rules[i].declarations);
    }
    CheckDeclarations(ParseDeclarations(text));
    for (const SourceCandidate& candidate : SrcsetCandidates(text))
        assert(!candidate.url.empty() && candidate.halves > 0 && candidate.halves <= 16);
    std::vector<Selector> selectors;
    if (!ParseSelectorList(text, selectors))
        assert(selectors.empty());
    return 0;
}
