// Remote operations on directories and files: change directory, parent directory, create and
// delete a directory, delete and rename files. Each asks what it needs first, sends one request
// per entry, and lists the directory again; a refusal shows in the log and in the listing.

#include "client/tarn_main.h"
#include "support/text.h"

namespace tarn {

void TTarnMain::LibraryButtonClick()
{
    if (!CanStart())
        return;
    const TOperation operation(*this);
    const std::optional<std::string> directory =
        FDialogs.InputQuery("Change Library", "Enter Library", CurrentDir);
    if (!directory || FClosing)
        return;
    CurrentDir = *directory;
    ChangeToDirectory();
}

void TTarnMain::CDUpButtonClick()
{
    if (!CanStart())
        return;
    const TOperation operation(*this);
    ChangeToParent();
}

void TTarnMain::CreateDirectory1Click()
{
    if (!CanStart())
        return;
    const TOperation operation(*this);
    if (UpperCaseAscii(CurrentDir).find(".LIB") != std::string::npos) {
        Inform("Can not create subdirectory in a library.");
        return;
    }
    const std::optional<std::string> name =
        FDialogs.InputQuery("Create Directory", "New Directory:", "");
    if (!name || FClosing)
        return;
    ControlFtp.HostFileName = *name;
    RequestThenList(acSearching, &TFtpClient::Mkd, "MKDIR " + *name);
}

void TTarnMain::DeleteDirectory1Click()
{
    if (!CanStart())
        return;
    const TOperation operation(*this);
    const int row = DirView.FirstSelectedRow();
    if (row < 0) {
        FDialogs.Error("No directory selected!");
        return;
    }
    const std::string name = ListedName(DirView, row);
    if (name == "..") {
        FDialogs.Error("Delete not allowed!");
        return;
    }
    if (!FDialogs.Confirm("Delete Directory " + name) || FClosing)
        return;
    ControlFtp.HostFileName = name;
    RequestThenList(acDeleting, &TFtpClient::Rmd, "RMDIR " + name);
}

void TTarnMain::DeleteFile1Click()
{
    if (!CanStart())
        return;
    const TOperation operation(*this);
    const int first = FileView.FirstSelectedRow();
    if (first < 0) {
        Inform("No files selected!");
        return;
    }
    const bool several = FileView.Selection.selectedRows().size() > 1;
    const std::string question =
        several ? "Delete Files?" : "Delete file " + ListedName(FileView, first) + "?";
    if (!FDialogs.Confirm(question) || FClosing)
        return;
    StateOnlineBusy();
    StartAnimation(acDeleting);
    // One DELE per selected file, in the view's order.
    for (int row = first; row >= 0; row = FileView.FirstSelectedRow()) {
        const std::string name = ListedName(FileView, row);
        ControlFtp.HostFileName = name;
        Record("DELETE " + name);
        Call(&TFtpClient::Dele);
        Deselect(FileView, row);
    }
    DirectoryList();
    StateOnlineReady();
}

void TTarnMain::DeleteButtonClick()
{
    if (FocusedView == 'D')
        DeleteDirectory1Click();
    else if (FocusedView == 'F')
        DeleteFile1Click();
}

void TTarnMain::RenameButtonClick()
{
    if (!CanStart())
        return;
    const TOperation operation(*this);
    const int row = FileView.FirstSelectedRow();
    if (row < 0) {
        Inform("No files selected!");
        return;
    }
    const std::string oldName = ListedName(FileView, row);
    const std::optional<std::string> newName =
        FDialogs.InputQuery("Rename file " + oldName, "New Filename:", "");
    if (!newName || FClosing)
        return;
    ControlFtp.HostFileName = oldName;
    ControlFtp.LocalFileName = *newName;
    RequestThenList(acSearching, &TFtpClient::Rename, "RENAME " + QuotedPair(oldName, *newName));
}

void TTarnMain::RequestThenList(TAnimationClip Clip, bool (TFtpClient::*Request)(),
                                const std::string &ScriptLine)
{
    StateOnlineBusy();
    StartAnimation(Clip);
    // The outcome is not examined: the log shows the reply, the listing what the server did.
    Call(Request);
    Record(ScriptLine);
    DirectoryList();
    StateOnlineReady();
}

std::string TTarnMain::ListedName(const TListView &List, int Row)
{
    return Trim(List.Model.Entry(Row).Caption, tsControls);
}

void TTarnMain::Deselect(TListView &List, int Row)
{
    List.Selection.select(List.Model.index(Row, 0),
                          QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
}

} // namespace tarn
