// Connection profiles: any file text read, written back and read again, and any profile
// written and read. Checks:
// - reading never fails and gives trimmed values without line ends, and a LOCALDIR of "\" as
//   "/";
// - what was read, written back into the same file, reads the same, and the file keeps its
//   other lines;
// - a profile whose values have no line ends is written, and reads back with its values
//   trimmed; a password of printable characters comes back exactly;
// - the library list file is the profile's name with ".tnl" in place of its ".tnc".
#include "fuzz/fuzz_check.h"
#include "profile/connection_profile.h"
#include "support/text.h"

#include <cstdint>
#include <fstream>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <unistd.h>

namespace tarn {
namespace {

void WriteFile(const std::string &Name, const std::string &Bytes)
{
    std::ofstream(Name, std::ios::binary | std::ios::trunc) << Bytes;
}

void CheckValues(const TConnectionProfile &Profile)
{
    for (const std::string *value :
         {&Profile.Connection, &Profile.URLOrIP, &Profile.UserName, &Profile.Port, &Profile.Timeout,
          &Profile.LocalDir, &Profile.HostDir}) {
        FUZZ_CHECK(value->find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(Trim(*value, tsBlanks) == *value);
    }
    FUZZ_CHECK(Profile.LocalDir != "\\");
}

bool Printable(const std::string &Text)
{
    return !HasControl(Text);
}

} // namespace
} // namespace tarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    using namespace tarn;
    FuzzedDataProvider provider(Data, Size);
    TConnectionProfile wanted;
    for (std::string *field :
         {&wanted.Connection, &wanted.URLOrIP, &wanted.UserName, &wanted.PassWord, &wanted.Port,
          &wanted.Timeout, &wanted.LocalDir, &wanted.HostDir})
        *field = provider.ConsumeRandomLengthString(60);
    const std::string text = provider.ConsumeRemainingBytesAsString();

    const std::string file = ScratchFolder() + "/profile.tnc";
    WriteFile(file, text);
    const TConnectionProfile read = ReadConnectionProfile(file);
    CheckValues(read);
    if (WriteConnectionProfile(file, read)) {
        FUZZ_CHECK(ReadConnectionProfile(file) == read);
        // Writing what was read again changes nothing more.
        const std::string once = ReadFile(file);
        FUZZ_CHECK(WriteConnectionProfile(file, read));
        FUZZ_CHECK(ReadFile(file) == once);
    }

    const std::string fresh = ScratchFolder() + "/fresh.tnc";
    unlink(fresh.c_str());
    const bool lineEnds = [&] {
        for (const std::string *field :
             {&wanted.Connection, &wanted.URLOrIP, &wanted.UserName, &wanted.Port, &wanted.Timeout,
              &wanted.LocalDir, &wanted.HostDir})
            if (field->find_first_of("\r\n") != std::string::npos)
                return true;
        return ScramblePassword(wanted.PassWord).find_first_of("\r\n") != std::string::npos;
    }();
    const bool written = WriteConnectionProfile(fresh, wanted);
    FUZZ_CHECK(written == !lineEnds);
    if (written) {
        const TConnectionProfile back = ReadConnectionProfile(fresh);
        FUZZ_CHECK(back.URLOrIP == Trim(wanted.URLOrIP, tsBlanks));
        FUZZ_CHECK(back.HostDir == Trim(wanted.HostDir, tsBlanks));
        if (Printable(wanted.PassWord))
            FUZZ_CHECK(back.PassWord == wanted.PassWord);
    }
    FUZZ_CHECK(UnscramblePassword(ScramblePassword(wanted.PassWord)) == wanted.PassWord);

    const std::string list = LibraryListFileName(wanted.HostDir);
    FUZZ_CHECK(list.ends_with(".tnl"));
    FUZZ_CHECK(wanted.HostDir.starts_with(list.substr(0, list.size() - 4)));
    return 0;
}
