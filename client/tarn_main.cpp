#include "client/tarn_main.h"

#include "support/text.h"

#include <QCoreApplication>
#include <QTimer>

namespace tarn {

namespace {

// The IBM i command templates of the command box; the lower-case words and "#" are for the
// user to replace. The first one is an empty line.
const std::vector<std::string> AS400Cmds = {
    "",
    // One template, too long for one line of source:
    // NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
    "RCMD CRTPF FILE(lib/file) SRCFILE(lib/file) SRCMBR(mbr) RCDLEN(#) MBR(*FILE) MAXMBRS(1) "
    "SIZE(*NOMAX) REUSEDLT(*YES)",
    "RCMD CRTSRCPF FILE(lib/file) RCDLEN(#) MBR(*NONE) TEXT('Member created with Tarn')",
    "RCMD ADDPFM FILE(lib/file) MBR(mbr)",
    "TIME transfer-timeout inactivity-timeout",
    "RCMD AS400-Command",
    "HELP",
};

const char *const OfflineCaption = "Tarn Client";

std::string StateText(TFtpState State)
{
    switch (State) {
    case fsOffline:
        return "Offline";
    case fsReady:
        return "Ready";
    case fsLookup:
        return "DNS Lookup";
    case fsConnected:
        return "Connected";
    case fsAborting:
        return "Aborting";
    case fsAwaitReply:
        return "Waiting";
    default:
        return {};
    }
}

} // namespace

int TListView::FirstSelectedRow() const
{
    int first = -1;
    for (const QItemSelectionRange &range : Selection.selection()) {
        if (first < 0 || range.top() < first)
            first = range.top();
    }
    return first;
}

TTarnMain::TOperation::TOperation(TTarnMain &Main) : FMain(Main)
{
    ++FMain.FOperations;
}

TTarnMain::TOperation::~TOperation()
{
    if (--FMain.FOperations == 0 && FMain.FCloseWanted) {
        FMain.FCloseWanted = false;
        FMain.FView.CloseWindow();
    }
}

TTarnMain::TTarnMain(TClientView &View, TUserDialogs &Dialogs,
                     std::unique_ptr<TDialUpBackend> DialUpBackend)
    : RasDial(std::move(DialUpBackend)), FView(View), FDialogs(Dialogs)
{
    ControlFtp.Port = "ftp";
    ControlFtp.SetBinary(true);
    ControlFtp.DisplayFlag = false;
    ControlFtp.MultiThreaded = false;
    ControlFtp.OnDisplay = [this](TCustomFtpCli *, std::string &Msg) { ControlFtpDisplay(Msg); };
    ControlFtp.OnProgress = [this](TCustomFtpCli *, int64_t Count, bool &Abort) {
        ControlFtpProgress(Count, Abort);
    };
    ControlFtp.OnSessionClosed = [this](TCustomFtpCli *, uint16_t) { ControlFtpSessionClosed(); };
    ControlFtp.OnStateChange = [this](TCustomFtpCli *) { ControlFtpStateChange(); };
    ControlFtp.OnCertificateCheck = [this](TCustomFtpCli *, const TTlsCertificateInfo &Info,
                                           bool &Accept) {
        ControlFtpCertificateCheck(Info, Accept);
    };

    RasDial.DialMode = dmSync;
    RasDial.Language = English;
    RasDial.OnDialing = [this](TDialUp *) { RasDialDialing(); };
    RasDial.OnConnect = [this](TDialUp *) { RasDialConnect(); };
    RasDial.OnNotConnected = [this](TDialUp *, int Code, const std::string &Text) {
        RasDialNotConnected(Code, Text);
    };
    RasDial.OnActiveConnection = [this](TDialUp *, THRasConn, const TRasConnStatusA &,
                                        const std::string &, const std::string &,
                                        const std::string &,
                                        const std::string &) { RasDialActiveConnection(); };

    // Each listing gives its name back when it is done (DirectoryList), so the generator never
    // runs out however many listings a session makes.
    TempFile.AutoDelete = false;
    if (QCoreApplication::instance())
        ProgramDir = QCoreApplication::applicationDirPath().toLocal8Bit().toStdString();
    FShown.fill(true);
}

TTarnMain::~TTarnMain()
{
    // The engine's events must not reach a half-destroyed window logic.
    ControlFtp.OnDisplay = nullptr;
    ControlFtp.OnProgress = nullptr;
    ControlFtp.OnSessionClosed = nullptr;
    ControlFtp.OnStateChange = nullptr;
}

void TTarnMain::FormCreate(const std::vector<std::string> &Arguments)
{
    if (!Ascii1Checked && !Binary1Checked)
        Ascii1Checked = true;
    SetPanel(0, Ascii1Checked ? "ASCII" : "BINARY");
    FView.TransferTypeShown(Binary1Checked);
    FView.ScriptCleared();
    Recording = false;
    SetEnabled(ccRecordButton, true);
    SetEnabled(ccRecordScript1, true);
    SetEnabled(ccStopButton, false);
    SetEnabled(ccStopRecording1, false);
    ScriptChange(false);               // Save and Play: nothing to save or play yet
    SetEnabled(ccLibraryList1, false); // IBM i sessions only
    SetShown(ccLibraryList1, false);
    LogEnabled = true;
    StateOffline();
    Dialed = false;
    LibList.clear();
    StartedWithProfile = !Arguments.empty();
    if (StartedWithProfile) {
        CommandLineProfile = Arguments.front();
        // The window shows first; the login dialog opens over it from the event loop. (RasDial
        // as the context: the queued call goes with this object.)
        QTimer::singleShot(0, &RasDial, [this] { LoginButtonClick(); });
    }
}

bool TTarnMain::FormCloseQuery()
{
    if (FOperations > 0) {
        FCloseWanted = true;
        if (!FClosing) {
            FClosing = true;
            ControlFtp.Abort(); // the waiting request returns, the operation unwinds
        }
        return false;
    }
    FormClose();
    return true;
}

void TTarnMain::FormClose()
{
    // A line is hung up only with a session still open: one whose session already ended was
    // left up on purpose (the next Connect finds it and uses it).
    if (ControlFtp.Connected()) {
        Call(&TFtpClient::Quit);
        if (Dialed)
            RasDial.HangUp();
    }
}

void TTarnMain::FileExit()
{
    FView.CloseWindow();
}

void TTarnMain::LoginButtonClick()
{
    const TOperation operation(*this);
    StateOffline();
    Dialed = false;
    ShowPage(cpFTP);
    RasDial.GetEntries();
    const std::optional<TLoginChoice> login =
        FView.RunLoginDialog({RasDial.Entries, StartedWithProfile, CommandLineProfile});
    if (!login || FClosing)
        return;

    ClearLog1Click();
    StateOnlineBusy();
    SetPanel(4, "Connecting");
    const bool dialed = DialUp(login->Values.Connection);

    DownloadDir = login->Values.LocalDir;
    ControlFtp.UserName = login->Values.UserName;
    ControlFtp.PassWord = login->Values.PassWord;
    ControlFtp.HostName = login->Values.URLOrIP;
    ControlFtp.Port = login->Values.Port;
    const TConnectionSecurity transport = ConnectionSecurity(login->Values);
    ControlFtp.Passive = transport.Passive;
    ControlFtp.Security = transport.Security;
    ControlFtp.TlsFingerprint = transport.TlsFingerprint;
    const std::optional<int> timeout = ParseWholeNumber(Trim(login->Values.Timeout, tsBlanks));
    if (timeout)
        ControlFtp.Timeout = *timeout;

    // Before the connect is tried, so that a script of a session that failed still shows it.
    // The profile carries the password: the script only names it.
    Record("PROFILE " + login->ProfileLabel);
    Record("TIMEOUT " + login->Values.Timeout);
    if (!dialed) {
        Inform("Error during RAS connect.");
        StateOffline();
        return;
    }
    if (!transport.Problem.empty()) {
        // The login dialog lets no such profile through; a session it did not ask for (clear
        // text instead of TLS) is never opened.
        AppendLog(transport.Problem);
        Inform("Error connecting to FTP server.");
        StateOffline();
        return;
    }
    if (!timeout) {
        // Nothing can wait a time-out that is not a number of seconds: the session is not
        // tried, rather than waited on without a limit.
        AppendLog("Timeout \"" + login->Values.Timeout + "\" is not a whole number of seconds.");
        Inform("Error connecting to FTP server.");
        StateOffline();
        return;
    }
    Connect(*login);
}

bool TTarnMain::DialUp(const std::string &Connection)
{
    RasDial.Entry = Connection;
    if (Connection == "LAN")
        return true;
    RasDial.GetConnections(); // an active line sets Dialed (RasDialActiveConnection)
    if (Dialed)
        return true;
    StartAnimation(acDialing);
    FView.Repaint();
    SetPanel(4, "Dialing");
    AppendLog("Initiating RAS Connection.");
    if (RasDial.Dial() != 0)
        return false;
    Dialed = true;
    return true;
}

bool TTarnMain::Connect(const TLoginChoice &Login)
{
    if (!Call(&TFtpClient::Connect)) {
        Call(&TFtpClient::Quit);
        Inform("Error connecting to FTP server.");
        StateOffline();
        return false;
    }
    Record("CONNECT");
    Call(&TFtpClient::Syst);
    ServerKind = ClassifyServer(ControlFtp.LastResponse());
    if (ServerKind == skOS400) {
        SetEnabled(ccLibraryList1, true);
        SetShown(ccLibraryList1, true);
        SetCommandBox(AS400Cmds, FCommandText);
        ControlFtp.LocalFileName = "SITE NAMEFMT 1";
        Call(&TFtpClient::Quote);
        Record("COMMAND " + ControlFtp.LocalFileName);
    } else {
        SetEnabled(ccLibraryList1, false);
        SetShown(ccLibraryList1, false);
    }
    ControlFtp.HostDirName = "/";
    Call(&TFtpClient::Cwd);
    Call(&TFtpClient::Pwd);
    RootDir = PathFromPwdReply(ControlFtp.LastResponse());
    SetField(cfPCFile, DownloadDir);
    SetCaption(std::string(OfflineCaption) + " (" + ControlFtp.HostName + ")");
    SetPanel(3, ControlFtp.UserName);
    CurrentDir = NormalizeLibraryPath(Login.Values.HostDir);
    ControlFtp.HostDirName = CurrentDir;
    Call(&TFtpClient::Cwd);
    Record(Binary1Checked ? "BINARY" : "ASCII");
    Record("CHDIR " + CurrentDir);
    DirectoryList();
    StateOnlineReady();
    if (ServerKind == skOS400) {
        LibListFile = Login.LibraryListFile;
        LoadLibList();
    }
    return true;
}

void TTarnMain::LogoutButtonClick()
{
    const TOperation operation(*this);
    // Busy while QUIT waits, so that nothing else starts on the closing session.
    StateOnlineBusy();
    if (ControlFtp.Connected())
        Call(&TFtpClient::Quit);
    if (Dialed) {
        Dialed = false;
        RasDial.HangUp();
    }
    Record("QUIT");
    StateOffline();
}

void TTarnMain::AbortButtonClick()
{
    AbortRequested = true;
}

void TTarnMain::StateOffline()
{
    DirView.Model.SetSortColumn("Directories");
    FileView.Model.SetSortColumn("Name");
    ShowLogPage = false;
    AbortRequested = false;
    FocusedView = 'F';
    ApplyState(ssOffline);
    DirView.Model.Clear();
    FileView.Model.Clear();
    SetCaption(OfflineCaption);
    SetPanel(4, "Offline");
    for (int panel = 1; panel <= 3; ++panel)
        SetPanel(panel, "");
    SetCommandBox({}, "");
    TProgress progress = FProgress;
    progress.Enabled = false;
    SetProgress(progress);
    StopAnimation();
    SetBusyCursor(false);
}

void TTarnMain::StateOnlineBusy()
{
    AbortRequested = false;
    ApplyState(ssBusy);
    SetBusyCursor(true);
    SetPanel(4, "Working");
}

void TTarnMain::StateOnlineReady()
{
    if (!ControlFtp.Connected()) {
        StateOffline();
        return;
    }
    AbortRequested = false;
    ApplyState(ssReady);
    ShowPage(ShowLogPage ? cpLog : cpFTP);
    ShowLogPage = false;
    SetBusyCursor(false);
    SetPanel(4, "Ready");
    SetPanel(1, " ");
    StopAnimation();
    FView.CommandBoxFocused();
    TProgress progress = FProgress;
    progress.Enabled = false;
    progress.Position = 0;
    SetProgress(progress);
}

void TTarnMain::StartAnimation(TAnimationClip Clip)
{
    FAnimation = Clip;
    FView.AnimationChanged(Clip);
}

void TTarnMain::StopAnimation()
{
    if (FAnimation != acNone)
        StartAnimation(acNone);
}

void TTarnMain::StartProgress(int64_t Count)
{
    SetProgress({true, Count, 0});
}

void TTarnMain::ControlFtpStateChange()
{
    SetPanel(4, StateText(ControlFtp.State()));
}

void TTarnMain::ControlFtpSessionClosed()
{
    if (ControlFtp.Connected())
        Call(&TFtpClient::Quit);
    StateOffline();
}

void TTarnMain::ControlFtpProgress(int64_t Count, bool &Abort)
{
    if (AbortRequested)
        Abort = true;
    SetPanel(4, std::to_string(Count));
    if (FProgress.Enabled) {
        TProgress progress = FProgress;
        progress.Position = Count;
        SetProgress(progress);
    }
}

void TTarnMain::RasDialDialing()
{
    SetPanel(1, "Dialing " + RasDial.Entry);
    AppendLog("Dialing " + RasDial.Entry);
}

void TTarnMain::RasDialConnect()
{
    SetPanel(1, "Connected on " + RasDial.Entry);
    AppendLog("Connected to " + RasDial.Entry);
}

void TTarnMain::RasDialNotConnected(int, const std::string &ErrorMessage)
{
    AppendLog(ErrorMessage);
}

void TTarnMain::RasDialActiveConnection()
{
    Dialed = true;
}

void TTarnMain::SetField(TClientField Field, const std::string &Text)
{
    if (FFields[Field] == Text)
        return;
    FFields[Field] = Text;
    FView.FieldChanged(Field, Text);
}

bool TTarnMain::Call(bool (TFtpClient::*Request)())
{
    if (FClosing)
        return false;
    const bool succeeded = (ControlFtp.*Request)();
    return succeeded && !FClosing;
}

void TTarnMain::Inform(const std::string &Text)
{
    if (!FClosing)
        FDialogs.Information(Text);
}

void TTarnMain::ApplyState(TSessionState State)
{
    FState = State;
    for (const TStateRow &row : StateTable()) {
        const TEnableRule rule = row.Rule[State];
        if (rule != erSame)
            SetEnabled(row.Control, rule == erOn);
    }
}

void TTarnMain::SetEnabled(TClientControl Control, bool Enabled)
{
    FEnabled[Control] = Enabled;
    FView.ControlEnabled(Control, Enabled);
}

void TTarnMain::SetShown(TClientControl Control, bool Shown)
{
    FShown[Control] = Shown;
    FView.ControlShown(Control, Shown);
}

void TTarnMain::SetCaption(const std::string &Caption)
{
    FCaption = Caption;
    FView.CaptionChanged(Caption);
}

void TTarnMain::SetPanel(int Index, const std::string &Text)
{
    FPanels[std::size_t(Index)] = Text;
    FView.PanelChanged(Index, Text);
}

void TTarnMain::ShowPage(TClientPage Page)
{
    FPage = Page;
    FView.PageShown(Page);
}

void TTarnMain::SetBusyCursor(bool Busy)
{
    if (FBusyCursor == Busy)
        return;
    FBusyCursor = Busy;
    FView.CursorChanged(Busy);
}

void TTarnMain::SetProgress(const TProgress &Progress)
{
    if (FProgress == Progress)
        return;
    FProgress = Progress;
    FView.ProgressChanged(Progress);
}

void TTarnMain::SetCommandBox(std::vector<std::string> Items, std::string Text)
{
    FCommandItems = std::move(Items);
    FCommandText = std::move(Text);
    FView.CommandBoxChanged(FCommandItems, FCommandText);
}

} // namespace tarn
