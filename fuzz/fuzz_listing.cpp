// Listings from the server as the client reads them, for each kind of server. Checks:
// - a valid line has a name without blanks that ends the line (before a "->"), and "total"
//   lines and lines without a blank are never valid;
// - a listing gives entries whose captions are names of its lines (or "..", or a library of
//   the list), each directory and file once per line at most;
// - the orders are total: antisymmetric, reflexive, and size keys are ten characters long.
#include "client/list_parse.h"
#include "client/listing_entries.h"
#include "client/text_file.h"
#include "fuzz/fuzz_check.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace tarn {
namespace {

void CheckLine(TServerKind Kind, const std::string &Line)
{
    const TListLine entry = ParseListLine(Kind, Line);
    if (!entry.Valid)
        return;
    FUZZ_CHECK(!entry.Name.empty());
    FUZZ_CHECK(entry.Name.find(' ') == std::string::npos);
    FUZZ_CHECK(entry.Name.find("->") == std::string::npos);
    FUZZ_CHECK(Line.find(entry.Name) != std::string::npos);
    FUZZ_CHECK(Line.find(' ') != std::string::npos);
}

void CheckOrder(const std::string &A, const std::string &B)
{
    FUZZ_CHECK(CompareNoCase(A, B) == -CompareNoCase(B, A));
    FUZZ_CHECK(CompareNoCase(A, A) == 0);
    FUZZ_CHECK(CompareSizeText(A, B) == -CompareSizeText(B, A));
    FUZZ_CHECK(SizeSortKey(A).size() == 10);
}

} // namespace
} // namespace tarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    using namespace tarn;
    FuzzedDataProvider provider(Data, Size);
    TListingPlace place;
    place.Kind = static_cast<TServerKind>(provider.ConsumeIntegralInRange<int>(0, 2));
    place.CurrentDir = provider.ConsumeRandomLengthString(20);
    place.RootDir = provider.ConsumeRandomLengthString(20);
    place.LibList = {provider.ConsumeRandomLengthString(12), "MYLIB.LIB"};
    const std::string other = provider.ConsumeRandomLengthString(30);
    const std::string text = provider.ConsumeRemainingBytesAsString();

    std::size_t lines = 0;
    ForEachLine(text, [&](std::string_view Line) {
        const std::string line(Line);
        for (const TServerKind kind : {skOther, skWindowsNT, skOS400})
            CheckLine(kind, line);
        CheckOrder(line, other);
        ++lines;
    });
    ClassifyServer(text);

    const TListingEntries entries = ListingEntries(text, place);
    FUZZ_CHECK(entries.Directories.size() + entries.Files.size() <=
               lines + 1 + place.LibList.size());
    for (const TListEntry &entry : entries.Files) {
        FUZZ_CHECK(!entry.Caption.empty());
        FUZZ_CHECK(text.find(entry.Caption) != std::string::npos);
    }
    for (const TListEntry &entry : entries.Directories)
        FUZZ_CHECK(entry.Caption == ".." || text.find(entry.Caption) != std::string::npos ||
                   entry.Caption == place.LibList[0] || entry.Caption == place.LibList[1]);
    return 0;
}
