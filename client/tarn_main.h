#pragma once

#include "client/client_settings.h"
#include "client/client_view.h"
#include "client/list_parse.h"
#include "client/listing_model.h"
#include "client/state_table.h"
#include "dialup/dial_up.h"
#include "ftp/ftp_client.h"
#include "support/process.h"
#include "support/temp_generator.h"
#include "support/user_dialogs.h"

#include <QItemSelectionModel>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarn {

// One of the two list views as the logic sees it: its entries and which of them are selected.
// The window shows the model and shares the selection.
struct TListView
{
    explicit TListView(TListKind Kind) : Model(Kind), Selection(&Model) {}

    TListingModel Model;
    QItemSelectionModel Selection;

    // The first selected row in the view's order, -1 when nothing is selected.
    int FirstSelectedRow() const;
};

// The interactive client without its window: one FTP session at a time, its three states
// (Offline, Busy, Ready) and the controls each allows, the connect and disconnect flows, the
// listing of the current remote directory in the two list views, and the library list of IBM i
// sessions. It owns the FTP engine (ControlFtp), the dial-up component (RasDial) and the
// temporary names of the listings (TempFile), and shows everything through a TClientView;
// message boxes go through TUserDialogs.
//
// Every operation runs on the caller's thread: engine calls wait on the Qt event loop, so
// window events (and the handlers here) run inside them. The Busy state disables every control
// that could start a second operation; File > Exit stays usable, and a close asked for while
// an operation waits aborts the engine's request, lets the operation unwind, and then closes
// the window (FormCloseQuery).
//
// An operation that ends after the session was lost (the server closed the connection while
// it ran) ends Offline, not Ready. A user operation asked for while another one runs, or
// outside the Ready state, is not started (a pop-up menu or a key of a list view can still
// reach it then).
class TTarnMain
{
public:
    TTarnMain(TClientView &View, TUserDialogs &Dialogs,
              std::unique_ptr<TDialUpBackend> DialUpBackend = CreateDialUpBackend());
    ~TTarnMain();
    TTarnMain(const TTarnMain &) = delete;
    TTarnMain &operator=(const TTarnMain &) = delete;

    // Components.
    TFtpClient ControlFtp;
    TDialUp RasDial;
    TTempGenerator TempFile;
    TProcess Process1; // starts the player
    TListView DirView{lkDirectories};
    TListView FileView{lkFiles};

    // Session state.
    std::string CurrentDir;
    std::string RootDir; // the server's path for "/": no ".." entry there
    std::string DownloadDir;
    std::string LibListFile;
    TServerKind ServerKind = skOther;
    bool Recording = false;
    bool Dialed = false; // a dial-up line counts as this session's, hung up at logout
    bool LogEnabled = true;
    bool ShowLogPage = false;
    bool AbortRequested = false;
    char FocusedView = 'F'; // 'D' or 'F': the list view that had the focus last
    bool StartedWithProfile = false;
    std::string CommandLineProfile;   // the first argument, when there was one
    std::vector<std::string> LibList; // the libraries shown at the QSYS.LIB root
    bool Ascii1Checked = false;       // Settings > Ascii
    bool Binary1Checked = false;      // Settings > Binary
    bool ToolBar1ShowHint = true;     // the tool buttons show their hints
    // The folder of the client's own program, where the player is looked for and started:
    // the running program's folder, unless set otherwise.
    std::string ProgramDir;

    // Window start and end. FormCreate takes the program's arguments (without its name); with
    // one, it connects at once from the profile it names.
    void FormCreate(const std::vector<std::string> &Arguments);
    // Whether the window may close now. While an operation waits it aborts the engine's
    // request and answers false; the view's CloseWindow follows once the operation is over.
    bool FormCloseQuery();
    void FormClose();
    void FileExit();

    // Connect and disconnect.
    void LoginButtonClick();
    void LogoutButtonClick();
    void AbortButtonClick();

    // Session states.
    void StateOffline();
    void StateOnlineBusy();
    void StateOnlineReady();
    void StartAnimation(TAnimationClip Clip);
    void StartProgress(int64_t Count);

    // Engine and dial-up events.
    void ControlFtpDisplay(const std::string &Msg);
    // A certificate that neither verifies nor matches the profile's pin
    // (client/tarn_main_security.cpp): accepted at once when the user's trusted-certificates
    // file holds it, else the user is asked: Trust once accepts it for this connection, Always
    // trust also writes it to the file, Cancel refuses it (the connect fails).
    void ControlFtpCertificateCheck(const TTlsCertificateInfo &Info, bool &Accept);
    // The question's text: server, subject, issuer, validity, fingerprint and the problem.
    static std::string CertificateQuestionText(const TTlsCertificateInfo &Info);
    void ControlFtpStateChange();
    void ControlFtpSessionClosed();
    void ControlFtpProgress(int64_t Count, bool &Abort);
    void RasDialDialing();
    void RasDialConnect();
    void RasDialNotConnected(int ErrorCode, const std::string &ErrorMessage);
    void RasDialActiveConnection();

    // The listing (client/tarn_main_listing.cpp).
    void DirectoryList();
    void ChangeToDirectory();
    // CDUP, then the listing.
    void ChangeToParent();
    void DirViewDblClick();
    void FileViewDblClick();
    void DirViewColumnClick(int Column);
    void FileViewColumnClick(int Column);
    void DirViewEnter();
    void FileViewEnter();
    void PCFileEnter();

    // Remote paths as the client forms them: the library rule of the engine's name rules, then
    // the first "//" collapsed. "mylib.lib" gives "/QSYS.LIB/MYLIB.LIB".
    static std::string NormalizeLibraryPath(const std::string &Path);
    // The directory of a PWD reply, normalised as above.
    static std::string PathFromPwdReply(const std::string &Reply);

    // The library list (client/tarn_main_libraries.cpp).
    void LibraryList1Click();
    void LoadLibList();

    // Transfers (client/tarn_main_transfers.cpp). Receive takes the files selected in FileView
    // in view order, or the two name fields when none is; Send the two name fields; a drop the
    // dropped files, last to first. Each file gets up to three attempts; Abort ends the
    // operation (no later attempt or file is started); one message tells of the failures.
    void ReceiveClick();
    void SendClick();
    void FileDrag1Drop(const std::vector<std::string> &Files);
    // The size of a local file; throws std::runtime_error with the file's name and the reason
    // when it cannot be opened or is not a regular file.
    static int64_t FileSizeOf(const std::string &Path);
    // The remote name a dropped file is tried under after its own name was refused: in a
    // library (the dropped file's folder or the current remote directory holds ".LIB") an
    // object name of at most 10 upper-case characters with ".FILE" ("orderlist2001.txt" gives
    // "ORDERLIST2.FILE"); elsewhere the file's own name (Linux names have no short form).
    std::string RetryRemoteName(const std::string &Path) const;

    // Remote operations (client/tarn_main_operations.cpp); each asks what it needs through
    // TUserDialogs, then lists the directory again.
    void LibraryButtonClick();
    void CDUpButtonClick();
    void CreateDirectory1Click();
    void DeleteDirectory1Click();
    void DeleteFile1Click();
    void DeleteButtonClick(); // the directory or the files, by FocusedView
    void RenameButtonClick();

    // The command box and the log (client/tarn_main_commands.cpp).
    void SetCommandText(const std::string &Text);
    void ExButtonClick();
    void SaveLog1Click();
    void ClearLog1Click();
    // The log's lines, as shown.
    const std::vector<std::string> &LogLines() const { return FLog; }

    // The script page (client/tarn_main_script.cpp). While Recording, the operations append
    // their script lines at the end of the script; Stop lays every line out.
    void RecordButtonClick();
    void StopButtonClick();
    void ClearButtonClick();
    void OpenButtonClick();
    void SaveButtonClick();
    // The script's text changed; HasLines: it holds at least one line.
    void ScriptChange(bool HasLines);
    // Writes the script to a new temporary file and starts the player on it, without waiting.
    void PlayButtonClick();

    // Menus and stored settings (client/tarn_main_settings.cpp).
    void Ascii1Click();
    void Binary1Click();
    void Preferences1Click();
    // Takes the stored values of the main window (after FormCreate, when the window is first
    // shown), then FormStorage1RestorePlacement; ClientSettings gives the values to store.
    void RestoreSettings(const TClientSettings &Settings);
    void FormStorage1RestorePlacement();
    // The logic's own stored values in Settings (the window adds its colours, fonts, place).
    void StoreSettings(TClientSettings &Settings) const;

    // The name fields as the user typed them.
    void SetField(TClientField Field, const std::string &Text);
    const std::string &Field(TClientField Field) const { return FFields[Field]; }

    // The window as the logic left it.
    bool Enabled(TClientControl Control) const { return FEnabled[Control]; }
    bool Shown(TClientControl Control) const { return FShown[Control]; }
    const std::string &Caption() const { return FCaption; }
    const std::string &Panel(int Index) const { return FPanels[std::size_t(Index)]; }
    TClientPage Page() const { return FPage; }
    bool BusyCursor() const { return FBusyCursor; }
    TAnimationClip Animation() const { return FAnimation; }
    const TProgress &Progress() const { return FProgress; }
    const std::vector<std::string> &CommandItems() const { return FCommandItems; }
    const std::string &CommandText() const { return FCommandText; }
    // An operation is running (its engine calls may be waiting).
    bool OperationRunning() const { return FOperations > 0; }

private:
    // Marks a user operation from its start to its end, so that a close waits for it.
    class TOperation
    {
    public:
        explicit TOperation(TTarnMain &Main);
        ~TOperation();
        TOperation(const TOperation &) = delete;
        TOperation &operator=(const TOperation &) = delete;

    private:
        TTarnMain &FMain;
    };

    // Runs one engine request; false without asking the server once the window is closing.
    bool Call(bool (TFtpClient::*Request)());
    // A user operation may start: Ready, and no other operation running.
    bool CanStart() const { return FState == ssReady && FOperations == 0; }
    // Runs the steps of an operation. An error of the client's own (a local file that cannot
    // be opened) ends the session: the log tells why in one "! " line, the engine quits, and
    // the window goes Offline.
    void RunGuarded(const std::function<void()> &Steps);
    void EndSession(const std::string &Reason);
    // Appends a script line while recording.
    void Record(const std::string &Line);
    // Two names as a script line gives them: each in double quotes, one blank between.
    static std::string QuotedPair(const std::string &First, const std::string &Second);
    // A remote operation's request with the engine's names set: Busy with its animation, the
    // request, its script line, then the listing and Ready.
    void RequestThenList(TAnimationClip Clip, bool (TFtpClient::*Request)(),
                         const std::string &ScriptLine);
    // The name of a listed entry, as the engine is given it.
    static std::string ListedName(const TListView &List, int Row);
    static void Deselect(TListView &List, int Row);
    void SetTransferType();
    // One file in up to three attempts, stopping at the first success; Prepare(attempt, 1 to 3)
    // sets the engine's names before each. An attempt is made only while the engine is
    // connected, Abort was not asked for and the window is not closing.
    bool TryThreeTimes(const std::function<void(int Attempt)> &Prepare,
                       bool (TFtpClient::*Request)());
    void Inform(const std::string &Text);
    void ApplyState(TSessionState State);
    std::vector<std::string> ScriptLines() const;
    void SetEnabled(TClientControl Control, bool Enabled);
    void SetShown(TClientControl Control, bool Shown);
    void SetCaption(const std::string &Caption);
    void SetPanel(int Index, const std::string &Text);
    void ShowPage(TClientPage Page);
    void SetBusyCursor(bool Busy);
    void StopAnimation();
    void SetProgress(const TProgress &Progress);
    void SetCommandBox(std::vector<std::string> Items, std::string Text);
    void AppendLog(const std::string &Line);
    bool Connect(const TLoginChoice &Login);
    bool DialUp(const std::string &Connection);
    void ShowListing(std::string Text);

    TClientView &FView;
    TUserDialogs &FDialogs;
    TSessionState FState = ssOffline;
    std::vector<std::string> FLog;
    std::array<bool, ccControlCount> FEnabled{};
    std::array<bool, ccControlCount> FShown{};
    std::array<std::string, cfPCFile + 1> FFields;
    std::string FCaption;
    std::array<std::string, 5> FPanels;
    TClientPage FPage = cpFTP;
    bool FBusyCursor = false;
    TAnimationClip FAnimation = acNone;
    TProgress FProgress;
    std::vector<std::string> FCommandItems;
    std::string FCommandText;
    bool FScriptHasLines = false;
    int FOperations = 0;
    bool FClosing = false;     // the window is closing: engine requests are not started
    bool FCloseWanted = false; // close the window when the running operation has ended
};

} // namespace tarn
