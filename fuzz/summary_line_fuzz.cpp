// Summary lines: the tag decides the term, "END" closes a block, and the term's value and
// error are what the C scan reads from the line. The first byte picks the size of the pieces the
// lines are fed in, as lines that span blocks arrive.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reference_readers.h"
#include "summary_line.h"

namespace {

using namespace barwright;
using namespace barwright::detail;

[[noreturn]] void fail(const char* what, std::string_view line) {
    std::fprintf(stderr, "%s: \"%.*s\"\n", what, static_cast<int>(line.size()), line.data());
    std::abort();
}

void checkLine(std::string_view line, std::size_t width) {
    // Every term starts from a distinct value, so that any write to the wrong one shows.
    EnergySummary before;
    double seed = -1.25;
    for (const TermTag& t : kTermTags) before.*(t.term) = {seed, seed - 0.5}, seed -= 1.0;
    EnergySummary after = before;
    SummaryLine reader;
    for (std::size_t at = 0; at < line.size(); at += width) reader.add(line.substr(at, width));
    const LineRole role = reader.finish(after);

    const auto tagged = std::find_if(kTermTags.begin(), kTermTags.end(),
                                     [line](const TermTag& t) { return line.find(t.tag) != std::string_view::npos; });
    const LineRole expectedRole = tagged != kTermTags.end()                   ? LineRole::kTerm
                                  : line.find("END") != std::string_view::npos ? LineRole::kBlockEnd
                                                                               : LineRole::kOther;
    if (role != expectedRole) fail("wrong line role", line);
    for (const TermTag& t : kTermTags) {
        if (role == LineRole::kTerm && t.term == tagged->term) continue;
        if (!sameTerm(after.*(t.term), before.*(t.term))) fail("an untagged term changed", line);
    }
    if (role != LineRole::kTerm) return;
    // The C scan reads hexadecimal floats; the program does not.
    const std::string text(line);
    if (text.find("0x") != std::string::npos || text.find("0X") != std::string::npos) return;
    TermEstimate expected = before.*(tagged->term);
    referenceScan(text, expected);
    if (!sameTerm(after.*(tagged->term), expected)) fail("scan differs from the C scan", line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t width = data[0] < 128 ? data[0] % 16 + 1 : std::string_view::npos;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    for (;;) {  // line by line, as the summary file is read
        const std::size_t end = rest.find('\n');
        checkLine(rest.substr(0, end), width);
        if (end == std::string_view::npos) return 0;
        rest.remove_prefix(end + 1);
    }
}
