// The library list of IBM i sessions: the libraries shown at the QSYS.LIB root, kept in a file
// beside the profile and checked against the server.

#include "client/library_list.h"
#include "client/tarn_main.h"
#include "support/text.h"

namespace tarn {

void TTarnMain::LibraryList1Click()
{
    const TOperation operation(*this);
    FView.RunLibraryListDialog(LibListFile);
    LoadLibList();
}

void TTarnMain::LoadLibList()
{
    std::optional<std::vector<std::string>> entries = ReadLibraryList(LibListFile);
    if (!entries) {
        LibList.clear();
        return;
    }
    StateOnlineBusy();
    const std::string previousDir = CurrentDir;
    // The check's commands and replies, refusals included, stay out of the log.
    LogEnabled = false;
    LibList = *entries;
    for (std::size_t i = LibList.size(); i-- > 0;) {
        const std::string &library = LibList[i];
        CurrentDir = NormalizeLibraryPath(library);
        ControlFtp.HostDirName = CurrentDir;
        // A library counts only when the server changed into it: after a refused CWD the
        // server's directory is still the previous library's, whose path may hold this name
        // too (LIB.LIB in /QSYS.LIB/MYLIB.LIB).
        const bool changed = Call(&TFtpClient::Cwd);
        Call(&TFtpClient::Pwd);
        CurrentDir = PathFromPwdReply(ControlFtp.LastResponse());
        if (!changed || UpperCaseAscii(CurrentDir).find(library) == std::string::npos)
            LibList.erase(LibList.begin() + std::ptrdiff_t(i));
    }
    // A check cut short by a lost session proves nothing: the list stays as the user kept it.
    if (ControlFtp.Connected() && !FClosing)
        WriteLibraryList(LibListFile, LibList);
    else
        LibList = std::move(*entries);
    CurrentDir = previousDir;
    ControlFtp.HostDirName = CurrentDir;
    Call(&TFtpClient::Cwd);
    StateOnlineReady();
    LogEnabled = true;
}

} // namespace tarn
