// The command box, the log, and the frame every operation runs in: its guard against the
// client's own errors and the script lines it records.

#include "client/tarn_main.h"
#include "client/text_file.h"
#include "ftp/command_secrets.h"
#include "support/text.h"

#include <stdexcept>

namespace tarn {

void TTarnMain::SetCommandText(const std::string &Text)
{
    FCommandText = Text;
}

void TTarnMain::ExButtonClick()
{
    if (!CanStart())
        return;
    const TOperation operation(*this);
    StateOnlineBusy();
    ShowLogPage = true;
    const std::string command = FCommandText;
    // "dir", "dir /w" and "LISTX" list the current directory into the views; "  LIST" (its
    // first four characters hold only "LI") goes to the server as typed.
    const std::string key = Trim(UpperCaseAscii(command.substr(0, 4)), tsBlanks);
    if (key == "LIST" || key == "DIR" || key == "NLST") {
        DirectoryList(); // its return to Ready shows the log; the one below the fresh listing
        Record("LIST " + CurrentDir);
    } else {
        ControlFtp.LocalFileName = command;
        Call(&TFtpClient::Quote);
        Record("COMMAND " + command);
    }
    StateOnlineReady();
}

void TTarnMain::ControlFtpDisplay(const std::string &Msg)
{
    if (!LogEnabled)
        return;
    // The password never shows: neither the PASS command nor a reply that mentions it, nor a
    // password given to an IBM i command typed in the command box.
    AppendLog(Msg.find("PASS") != std::string::npos ? "> PASS ********" : MaskCommandSecrets(Msg));
}

void TTarnMain::ClearLog1Click()
{
    FLog.clear();
    FView.LogCleared();
}

void TTarnMain::SaveLog1Click()
{
    const std::optional<std::string> fileName = FDialogs.SaveFileName(
        {"Save Log", "Text Files (*.txt)|*.txt|Log Files (*.log)|*.log", "txt", ""});
    if (!fileName)
        return;
    if (const std::optional<std::string> error = WriteLines(*fileName, FLog))
        FDialogs.Error("Cannot write file \"" + *fileName + "\". " + *error);
}

void TTarnMain::AppendLog(const std::string &Line)
{
    FLog.push_back(Line);
    FView.LogAppended(Line);
}

void TTarnMain::RunGuarded(const std::function<void()> &Steps)
{
    try {
        Steps();
    } catch (const std::exception &error) {
        EndSession(error.what());
    }
}

void TTarnMain::EndSession(const std::string &Reason)
{
    // Without this line the user would only see the window go offline.
    AppendLog("! " + Reason);
    if (ControlFtp.Connected())
        Call(&TFtpClient::Quit);
    StateOffline();
    ShowPage(cpLog);
}

void TTarnMain::Record(const std::string &Line)
{
    if (Recording)
        FView.ScriptLineAppended(Line);
}

std::string TTarnMain::QuotedPair(const std::string &First, const std::string &Second)
{
    return "\"" + First + "\" \"" + Second + "\"";
}

} // namespace tarn
