#pragma once

// What the client's tests share: a view that records what the logic shows and answers its
// dialogs, message boxes answered from the test, a phone book in memory, and a real FTP server
// (tools/testftpd) with a small tree for each personality.

#include "client/tarn_main.h"
#include "tests/common/test_ftp_server.h"

#include <QTemporaryDir>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace tarn::test {

// Records the log, counts close requests and answers the two dialogs from queues.
class TRecordingView : public TClientView
{
public:
    std::vector<std::string> Log;
    std::vector<std::string> Script;                // the lines recorded
    std::deque<std::optional<TLoginChoice>> Logins; // the login dialog's answers, in turn
    std::vector<TLoginRequest> LoginRequests;
    std::function<void(const std::string &FileName)> OnLibraryListDialog;
    int CloseRequests = 0;
    bool Hints = true;
    std::string ViewColors;                        // "back text", as the preferences set them
    std::optional<TPreferencesChoice> Preferences; // the preferences dialog's answer

    void ControlEnabled(TClientControl, bool) override {}
    void ControlShown(TClientControl, bool) override {}
    void CaptionChanged(const std::string &) override {}
    void PanelChanged(int, const std::string &) override {}
    void PageShown(TClientPage) override {}
    void CursorChanged(bool) override {}
    void AnimationChanged(TAnimationClip) override {}
    void ProgressChanged(const TProgress &) override {}
    void FieldChanged(TClientField, const std::string &) override {}
    void CommandBoxChanged(const std::vector<std::string> &, const std::string &) override {}
    void CommandBoxFocused() override {}
    void LogAppended(const std::string &Line) override { Log.push_back(Line); }
    void LogCleared() override { Log.clear(); }
    void ScriptCleared() override { Script.clear(); }
    void ScriptLineAppended(const std::string &Line) override { Script.push_back(Line); }
    std::string ScriptText() const override
    {
        std::string text;
        for (const std::string &line : Script)
            text += line + "\n";
        return text;
    }
    void ScriptReplaced(const std::vector<std::string> &Lines) override { Script = Lines; }
    void HintsShown(bool Shown) override { Hints = Shown; }
    void ViewColorsChanged(const std::string &Back, const std::string &Text) override
    {
        ViewColors = Back + " " + Text;
    }
    std::optional<TPreferencesChoice> RunPreferencesDialog(const std::string &) override
    {
        return Preferences;
    }
    void TransferTypeShown(bool) override {}
    void Repaint() override {}
    void CloseWindow() override { ++CloseRequests; }
    std::optional<TLoginChoice> RunLoginDialog(const TLoginRequest &Request) override
    {
        LoginRequests.push_back(Request);
        if (Logins.empty())
            return std::nullopt;
        std::optional<TLoginChoice> answer = Logins.front();
        Logins.pop_front();
        return answer;
    }
    void RunLibraryListDialog(const std::string &FileName) override
    {
        if (OnLibraryListDialog)
            OnLibraryListDialog(FileName);
    }
};

// Message boxes: remembered, answered Yes unless told otherwise; input boxes answered from a
// queue (cancelled when it is empty); file pickers cancelled unless told otherwise.
class TRecordingDialogs : public TUserDialogs
{
public:
    // "information: ...", "error: ...", "confirm: ...", "certificate: ..." or
    // "input: caption | prompt | value".
    std::vector<std::string> Messages;
    std::optional<std::string> FileAnswer;
    std::optional<std::string> ColorAnswer;
    bool ConfirmAnswer = true;
    TCertificateAnswer CertificateAnswer = caCancel;
    std::deque<std::optional<std::string>> Inputs;

    void Information(const std::string &Text) override
    {
        Messages.push_back("information: " + Text);
    }
    void Error(const std::string &Text) override { Messages.push_back("error: " + Text); }
    bool Confirm(const std::string &Text) override
    {
        Messages.push_back("confirm: " + Text);
        return ConfirmAnswer;
    }
    TCertificateAnswer CertificateQuestion(const std::string &Text) override
    {
        Messages.push_back("certificate: " + Text);
        return CertificateAnswer;
    }
    std::optional<std::string> InputQuery(const std::string &Caption, const std::string &Prompt,
                                          const std::string &Value) override
    {
        Messages.push_back("input: " + Caption + " | " + Prompt + " | " + Value);
        if (Inputs.empty())
            return std::nullopt;
        std::optional<std::string> answer = Inputs.front();
        Inputs.pop_front();
        return answer;
    }
    std::optional<std::string> OpenFileName(const TFileRequest &) override { return FileAnswer; }
    std::optional<std::string> SaveFileName(const TFileRequest &) override { return FileAnswer; }
    std::optional<std::string> DirectoryName(const std::string &, const std::string &) override
    {
        return FileAnswer;
    }
    std::optional<std::string> ColorName(const std::string &, const std::string &) override
    {
        return ColorAnswer;
    }
};

// A phone book in memory that records the calls made to it.
class TPhoneBook : public TDialUpBackend
{
public:
    std::vector<std::string> Book = {"Mobile"};
    std::vector<TRasConn> Active;
    int DialResult = rrSuccess;
    std::vector<std::string> Calls;

    int EnumEntries(std::vector<std::string> &Entries) override
    {
        Calls.push_back("EnumEntries");
        Entries = Book;
        return rrSuccess;
    }
    int GetEntryDialParams(const std::string &) override { return rrSuccess; }
    int Dial(const std::string &Entry, THRasConn &Handle, TNotifier) override
    {
        Calls.push_back("Dial " + Entry);
        Handle = 42;
        return DialResult;
    }
    int HangUp(THRasConn Handle) override
    {
        Calls.push_back("HangUp " + std::to_string(Handle));
        return Handle == 0 ? rrInvalidHandle : rrSuccess;
    }
    int EnumConnections(std::vector<TRasConn> &Connections) override
    {
        Calls.push_back("EnumConnections");
        Connections = Active;
        return rrSuccess;
    }
    int GetConnectStatus(THRasConn, TRasConnStatusA &Status) override
    {
        Status.State = 8192;
        return rrSuccess;
    }
    std::string ErrorString(int Code) override { return "dial error " + std::to_string(Code); }
};

inline void WriteFile(const std::string &Path, const std::string &Content)
{
    std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
    std::ofstream(Path, std::ios::binary) << Content;
}

inline std::string ReadFile(const std::string &Path)
{
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every byte value, CR LF and lone LF and CR among them, in an order set by Seed: a text-mode
// conversion, a cut or a mix-up of two files shows.
inline std::string RandomBytes(std::size_t Size, unsigned Seed)
{
    std::mt19937 random(Seed);
    std::string bytes(Size, '\0');
    for (char &byte : bytes)
        byte = static_cast<char>(random() & 0xFF);
    return "\r\n\n\r" + bytes;
}

// Whether a line of Lines holds Text.
inline bool Contains(const std::vector<std::string> &Lines, const std::string &Text)
{
    for (const std::string &line : Lines) {
        if (line.find(Text) != std::string::npos)
            return true;
    }
    return false;
}

// The names in a folder, sorted.
inline std::vector<std::string> FolderNames(const std::string &Folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(Folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A server of one personality with a small tree: /home/demo with a file and a folder, and for
// IBM i the library DEMOLIB (a source file with a member) beside QGPL.
inline std::unique_ptr<TTestFtpServer> StartServer(const std::string &Personality,
                                                   std::vector<std::string> ExtraArgs = {})
{
    TTestFtpServerOptions options;
    options.Personality = Personality;
    options.ExtraArgs = std::move(ExtraArgs);
    auto server = std::make_unique<TTestFtpServer>(options);
    const std::string root = server->Root();
    WriteFile(root + "/home/demo/readme.txt", "Files for the Tarn demo.\r\n");
    std::filesystem::create_directories(root + "/home/demo/sub");
    if (Personality == "os400") {
        WriteFile(root + "/QSYS.LIB/DEMOLIB.LIB/QCLSRC.FILE/HELLO.MBR", "PGM\r\nENDPGM\r\n");
        std::filesystem::create_directories(root + "/QSYS.LIB/MYLIB.LIB");
    }
    return server;
}

// The logic of one client window over a recording view, with its own phone book.
struct TClientHarness
{
    TClientHarness()
    {
        std::filesystem::create_directories(Download);
        auto book = std::make_unique<TPhoneBook>();
        Book = book.get();
        Main = std::make_unique<TTarnMain>(View, Dialogs, std::move(book));
        // Every command the engine sends, also while the log is off.
        Main->ControlFtp.OnCommand = [this](TCustomFtpCli *, std::string &Command) {
            Sent.push_back(Command.starts_with("PORT ") ? "PORT" : Command);
        };
        Main->FormCreate({});
    }

    // The login dialog's answer for a server on 127.0.0.1.
    TLoginChoice Login(int Port, const std::string &HostDir) const
    {
        TLoginChoice login;
        login.Values.URLOrIP = "127.0.0.1";
        login.Values.UserName = "tester";
        login.Values.PassWord = "secret";
        login.Values.Port = std::to_string(Port);
        login.Values.Timeout = "10";
        login.Values.LocalDir = Download;
        login.Values.HostDir = HostDir;
        login.ProfileLabel = Folder.filePath("demo.tnc").toStdString();
        login.LibraryListFile = Folder.filePath("demo.tnl").toStdString();
        return login;
    }

    void Connect(const TLoginChoice &Choice)
    {
        View.Logins.push_back(Choice);
        Main->LoginButtonClick();
    }

    // Selects one row of a list view, as a click does.
    static void Select(TListView &List, int Row)
    {
        List.Selection.select(List.Model.index(Row, 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    // Selects the rows with these captions, as Ctrl+clicks do.
    static void SelectAll(TListView &List, const std::vector<std::string> &Captions)
    {
        List.Selection.clearSelection();
        for (const std::string &caption : Captions)
            List.Selection.select(List.Model.index(RowOf(List, caption), 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    static int RowOf(const TListView &List, const std::string &Caption)
    {
        for (int row = 0; row < List.Model.Count(); ++row) {
            if (List.Model.Entry(row).Caption == Caption)
                return row;
        }
        return -1;
    }

    static std::vector<std::string> Captions(const TListView &List)
    {
        std::vector<std::string> captions;
        for (int row = 0; row < List.Model.Count(); ++row)
            captions.push_back(List.Model.Entry(row).Caption);
        return captions;
    }

    QTemporaryDir Folder;
    std::string Download = Folder.filePath("inbox").toStdString();
    TRecordingView View;
    TRecordingDialogs Dialogs;
    TPhoneBook *Book = nullptr;
    std::vector<std::string> Sent;
    std::unique_ptr<TTarnMain> Main;
};

} // namespace tarn::test
