// The name rules for what the server names: PWD replies, library paths, remote and local file
// names. Checks:
// - a path from a PWD reply holds no control character, and is the text between the reply's
//   first two double quotes, at most 127 characters, with the library rule applied;
// - the library rule is idempotent and changes only what holds ".LIB" without "QSYS.LIB";
// - a remote file name is a tail of the name without a backslash or colon;
// - a local name from a listing stays in the download folder: no "/", no control character,
//   never "", "." or "..";
// - a bare local name goes into the folder, a path stays as written.
#include "client/local_name.h"
#include "ftp/remote_names.h"
#include "fuzz/fuzz_check.h"
#include "support/local_files.h"
#include "support/text.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    using namespace tarn;
    FuzzedDataProvider provider(Data, Size);
    const std::string folder = provider.ConsumeRandomLengthString(40);
    const std::string text = provider.ConsumeRemainingBytesAsString();

    const std::string path = PathFromPwdReply(text);
    FUZZ_CHECK(!HasControl(path));
    if (!path.empty()) {
        const std::size_t open = text.find('"');
        const std::size_t close = text.find('"', open + 1);
        FUZZ_CHECK(open != std::string::npos && close != std::string::npos);
        FUZZ_CHECK(close - open - 1 <= 127);
        FUZZ_CHECK(path == NormalizeLibraryPath(text.substr(open + 1, close - open - 1)));
    }

    const std::string library = NormalizeLibraryPath(text);
    FUZZ_CHECK(NormalizeLibraryPath(library) == library);
    const std::string upper = UpperCaseAscii(text);
    const bool rule =
        upper.find(".LIB") != std::string::npos && upper.find("QSYS.LIB") == std::string::npos;
    FUZZ_CHECK(library == (rule ? "/QSYS.LIB/" + upper : text));

    const std::string remote = RemoteFileName(text);
    FUZZ_CHECK(remote.find_first_of("\\:") == std::string::npos);
    FUZZ_CHECK(text.ends_with(remote));

    const std::string local = LocalNameOf(text);
    FUZZ_CHECK(local.find('/') == std::string::npos);
    FUZZ_CHECK(!HasControl(local));
    FUZZ_CHECK(local != "" && local != "." && local != "..");

    const std::string placed = PlaceInFolder(folder, text);
    FUZZ_CHECK(placed.ends_with(text));
    if (text.find('/') != std::string::npos || folder.empty())
        FUZZ_CHECK(placed == text);
    return 0;
}
