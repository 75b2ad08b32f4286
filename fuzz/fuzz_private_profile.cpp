// The private profile reader and writer on any file text and any names and value. Checks:
// - a write that is taken reads back (trimmed, cut to MaxValue), also from the text Save
//   writes, and the same write again changes nothing;
// - a write changes one line or adds the key (and its section), every other line keeps its
//   bytes, and only the line before an added one may gain a line end;
// - a refused write leaves the text as it was, and another key reads the same before and after
//   unless it is the same key.
#include "fuzz/fuzz_check.h"
#include "profile/private_profile.h"
#include "support/text.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace tarn {
namespace {

struct TLine
{
    std::string Text;
    std::string Ending;
    bool operator==(const TLine &) const = default;
};

// The lines of a profile text: CR LF, LF and CR each end a line.
std::vector<TLine> Lines(const std::string &Text)
{
    std::vector<TLine> lines;
    std::size_t start = 0;
    while (start < Text.size()) {
        const std::size_t end = Text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back({Text.substr(start), ""});
            break;
        }
        const std::size_t length = Text.compare(end, 2, "\r\n") == 0 ? 2 : 1;
        lines.push_back({Text.substr(start, end - start), Text.substr(end, length)});
        start = end + length;
    }
    return lines;
}

bool SameName(const std::string &A, const std::string &B)
{
    return UpperCaseAscii(A) == UpperCaseAscii(B);
}

// Before and After differ only by lines inserted at one place (Added of them), the line before
// them perhaps gaining a line end.
bool InsertedOnly(const std::vector<TLine> &Before, const std::vector<TLine> &After,
                  std::size_t Added)
{
    if (After.size() != Before.size() + Added)
        return false;
    std::size_t at = 0;
    while (at < Before.size() && Before[at] == After[at])
        ++at;
    // The first difference is the line that gained its end, or the first inserted line.
    if (at < Before.size() && Before[at].Text == After[at].Text && Before[at].Ending.empty() &&
        After[at].Ending == "\r\n")
        ++at;
    else if (at > 0 && at == Before.size() && Before[at - 1].Ending.empty())
        return false; // the lines would have run together
    for (std::size_t i = at; i < Before.size(); ++i)
        if (!(Before[i] == After[i + Added]))
            return false;
    return true;
}

} // namespace
} // namespace tarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    using namespace tarn;
    FuzzedDataProvider provider(Data, Size);
    const std::string section = provider.ConsumeRandomLengthString(40);
    const std::string key = provider.ConsumeRandomLengthString(40);
    const std::string value = provider.ConsumeRandomLengthString(TPrivateProfile::MaxValue + 20);
    const std::string otherKey = provider.ConsumeRandomLengthString(40);
    const std::string file = provider.ConsumeRemainingBytesAsString();

    TPrivateProfile ini("fuzz.tnc", file);
    FUZZ_CHECK(ini.Text() == file);
    const std::string otherBefore = ini.ReadString(section, otherKey, "\n");
    const std::string before = ini.ReadString(section, key, "\n");

    if (!ini.WriteString(section, key, value)) {
        FUZZ_CHECK(ini.Text() == file);
        return 0;
    }
    std::string expected = Trim(value, tsBlanks);
    if (expected.size() > TPrivateProfile::MaxValue)
        expected.resize(TPrivateProfile::MaxValue);
    FUZZ_CHECK(ini.ReadString(section, key, "\n") == expected);
    const std::string written = ini.Text();
    FUZZ_CHECK(TPrivateProfile("again.tnc", written).ReadString(section, key, "\n") == expected);
    if (!SameName(otherKey, key))
        FUZZ_CHECK(ini.ReadString(section, otherKey, "\n") == otherBefore);

    const std::vector<TLine> old = Lines(file);
    const std::vector<TLine> now = Lines(written);
    const TLine line{key + "=" + value, "\r\n"};
    if (before != "\n") { // the key was there: its line is replaced in place
        FUZZ_CHECK(now.size() == old.size());
        std::size_t changed = 0;
        for (std::size_t i = 0; i < old.size(); ++i) {
            if (old[i] == now[i])
                continue;
            ++changed;
            FUZZ_CHECK(now[i] == line);
        }
        FUZZ_CHECK(changed <= 1);
    } else {
        FUZZ_CHECK(InsertedOnly(old, now, 1) || InsertedOnly(old, now, 2));
    }

    FUZZ_CHECK(ini.WriteString(section, key, value));
    FUZZ_CHECK(ini.Text() == written);
    return 0;
}
