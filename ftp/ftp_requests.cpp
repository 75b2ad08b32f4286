// The request catalogue: single-command operations with their accepted reply codes, and the
// chain sequencer that runs the steps of the chained operations in a fixed order.
#include "ftp/custom_ftp_cli.h"
#include "net/wsocket.h"
#include "support/local_files.h"

#include <initializer_list>

namespace tarn {

namespace {

// Result of a step whose start raised inside a notification (for example "Password emtpy"
// after 331): the request ends as a failure instead of hanging between steps.
constexpr int StepExceptionResult = 500;

// The running order of chained steps, whatever order a chain lists them in.
constexpr TFtpStep StepOrder[] = {
    stOpen,       stUser,     stPass,   stCwd,  stCDup, stTypeSet, stPort, stRest,
    stGet,        stPut,      stAppend, stDir,  stLs,   stSyst,    stMkd,  stRmd,
    stRenameFrom, stRenameTo, stSize,   stDele, stPwd,  stQuote,   stQuit,
};

constexpr TFtpSteps Login = StepBit(stOpen) | StepBit(stUser) | StepBit(stPass);

} // namespace

void TCustomFtpCli::UserAsync()
{
    if (UserName.empty())
        throw FtpException("UserName emtpy");
    CheckLoginProtected();
    CurrentStep = stUser;
    // 331 need password, 230 logged in
    StartCommand(rqUser, "USER " + UserName, {331, 230}, [this] { LoginReplied(); });
}

void TCustomFtpCli::PassAsync()
{
    if (PassWord.empty())
        throw FtpException("Password emtpy");
    CheckLoginProtected();
    CurrentStep = stPass;
    StartCommand(rqPass, "PASS " + PassWord, {230}, [this] { LoginReplied(); });
}

void TCustomFtpCli::CwdAsync()
{
    if (HostDirName.empty())
        throw FtpException("HostDirName emtpy");
    CurrentStep = stCwd;
    StartCommand(rqCwd, "CWD " + HostDirName, {250, 257});
}

void TCustomFtpCli::CDupAsync()
{
    CurrentStep = stCDup;
    StartCommand(rqPwd, "CDUP", {250});
}

void TCustomFtpCli::PwdAsync()
{
    CurrentStep = stPwd;
    StartCommand(rqPwd, "PWD", {250, 257});
}

void TCustomFtpCli::TypeSetAsync()
{
    CurrentStep = stTypeSet;
    StartCommand(rqTypeSet, std::string("TYPE ") + TypeChar, {200});
}

void TCustomFtpCli::SizeAsync()
{
    FSizeResult = 0;
    CurrentStep = stSize;
    StartCommand(rqSize, "SIZE " + HostFileName, {213});
}

void TCustomFtpCli::MkdAsync()
{
    CurrentStep = stMkd;
    StartCommand(rqMkd, "MKD " + HostFileName, {257});
}

void TCustomFtpCli::RmdAsync()
{
    CurrentStep = stRmd;
    StartCommand(rqRmd, "RMD " + HostFileName, {250, 257});
}

void TCustomFtpCli::DeleAsync()
{
    CurrentStep = stDele;
    StartCommand(rqDele, "DELE " + HostFileName, {250, 257});
}

void TCustomFtpCli::RenameFromAsync()
{
    CurrentStep = stRenameFrom;
    StartCommand(rqRenameFrom, "RNFR " + HostFileName, {350});
}

void TCustomFtpCli::RenameToAsync()
{
    CurrentStep = stRenameTo;
    StartCommand(rqRenameTo, "RNTO " + LocalFileName, {250, 257});
}

void TCustomFtpCli::SystAsync()
{
    CurrentStep = stSyst;
    StartCommand(rqSyst, "SYST", {215});
}

void TCustomFtpCli::QuoteAsync()
{
    CurrentStep = stQuote;
    StartCommand(rqQuote, LocalFileName, {}); // any code below 500
}

void TCustomFtpCli::QuitAsync()
{
    CurrentStep = stQuit;
    // 221: the completion comes from the loss handler once the connection is closed.
    StartCommand(rqQuit, "QUIT", {221}, [this] { ControlSocket->Close(); });
}

void TCustomFtpCli::RestAsync()
{
    CurrentStep = stRest;
    // A chain that resumes has opened its file already (none when it did not exist).
    if (ChainActive && FResumable)
        RestartAt = FLocal.IsOpen() && FLocalStep == stGet ? FLocal.Offset() : 0;
    else
        RestartAt = LocalFileSize(LocalFileName);
    if (RestartAt <= 0) {
        // Nothing to resume: the step counts as done without asking the server.
        DoneSignalled = false;
        ReplyHandler = &TCustomFtpCli::HandleReply;
        AfterReply = nullptr;
        StepResult = 0;
        TriggerRequestDone(0);
        return;
    }
    StartCommand(rqRest, "REST " + std::to_string(RestartAt), {});
}

void TCustomFtpCli::ConnectAsync()
{
    StartChain(rqConnect, Login);
}

void TCustomFtpCli::GetAsync()
{
    StartChain(rqGet, StepBit(stPort) | StepBit(stGet));
}

void TCustomFtpCli::PutAsync()
{
    StartChain(rqPut, StepBit(stPort) | StepBit(stPut));
}

void TCustomFtpCli::AppendAsync()
{
    StartChain(rqAppend, StepBit(stPort) | StepBit(stAppend));
}

void TCustomFtpCli::DirAsync()
{
    StartChain(rqDir, StepBit(stPort) | StepBit(stDir));
}

void TCustomFtpCli::LsAsync()
{
    StartChain(rqLs, StepBit(stPort) | StepBit(stLs));
}

void TCustomFtpCli::RestGetAsync()
{
    StartChain(rqRestGet, StepBit(stPort) | StepBit(stRest) | StepBit(stGet));
}

void TCustomFtpCli::RenameAsync()
{
    StartChain(rqRename, StepBit(stRenameFrom) | StepBit(stRenameTo));
}

void TCustomFtpCli::FullGetAsync()
{
    StartChain(rqFullGet, Login | StepBit(stCwd) | StepBit(stTypeSet) | StepBit(stPort) |
                              StepBit(stGet) | StepBit(stQuit));
}

void TCustomFtpCli::FullRestGetAsync()
{
    StartChain(rqFullRestGet, Login | StepBit(stCwd) | StepBit(stTypeSet) | StepBit(stPort) |
                                  StepBit(stRest) | StepBit(stGet) | StepBit(stQuit));
}

void TCustomFtpCli::FullPutAsync()
{
    StartChain(rqFullPut, Login | StepBit(stCwd) | StepBit(stTypeSet) | StepBit(stPort) |
                              StepBit(stPut) | StepBit(stQuit));
}

void TCustomFtpCli::FullAppendAsync()
{
    StartChain(rqFullPut, Login | StepBit(stCwd) | StepBit(stTypeSet) | StepBit(stPort) |
                              StepBit(stAppend) | StepBit(stQuit));
}

void TCustomFtpCli::FullDirAsync()
{
    StartChain(rqFullDir,
               Login | StepBit(stCwd) | StepBit(stPort) | StepBit(stDir) | StepBit(stQuit));
}

void TCustomFtpCli::FullLsAsync()
{
    StartChain(rqFullLs,
               Login | StepBit(stCwd) | StepBit(stPort) | StepBit(stLs) | StepBit(stQuit));
}

void TCustomFtpCli::FullSystAsync()
{
    StartChain(rqFullSyst, Login | StepBit(stSyst) | StepBit(stQuit));
}

void TCustomFtpCli::FullMkdAsync()
{
    StartChain(rqFullMkd, Login | StepBit(stMkd) | StepBit(stQuit));
}

void TCustomFtpCli::FullRmdAsync()
{
    StartChain(rqFullRmd, Login | StepBit(stRmd) | StepBit(stQuit));
}

void TCustomFtpCli::FullDeleAsync()
{
    StartChain(rqFullDele, Login | StepBit(stDele) | StepBit(stQuit));
}

void TCustomFtpCli::FullQuoteAsync()
{
    StartChain(rqFullQuote, Login | StepBit(stQuote) | StepBit(stQuit));
}

void TCustomFtpCli::FullSizeAsync()
{
    StartChain(rqSize, Login | StepBit(stSize) | StepBit(stQuit));
}

void TCustomFtpCli::FullRenameAsync()
{
    StartChain(rqFullRename, Login | StepBit(stRenameFrom) | StepBit(stRenameTo) | StepBit(stQuit));
}

void TCustomFtpCli::StartChain(TFtpRequest Request, TFtpSteps Steps)
{
    if (ControlOpen && (Steps & StepBit(stOpen)))
        throw FtpException("FTP component already connected");
    CheckReady();
    CheckChainText(Steps);
    const TFtpState before = FState;
    SavedResponse = FLastResponse;
    SavedStatusCode = -1;
    FRequestType = Request;
    StepResult = 0;
    PendingSteps = Steps;
    CurrentStep = stNone;
    ChainResult = 0;
    ChainActive = true;
    // Only a Rest step of this chain may set an offset: one left by an earlier chain whose REST
    // was refused would otherwise make the next upload skip the head of its file.
    RestartAt = 0;
    FResumable = (Steps & StepBit(stRest)) != 0;
    FLastResponse.clear();
    FErrorMessage.clear();
    // A transfer's local file that cannot be used fails the chain before anything is sent: the
    // first NextStep finds the step failed and skips to the end.
    if (!OpenChainLocalFile(Steps))
        StepResult = FStatusCode;
    FChainStarting = true;
    try {
        NextStep();
    } catch (...) {
        // The first step refused to start (an argument check, a socket failure): nothing was
        // sent, so the caller gets the exception and the engine stays as it was.
        FChainStarting = false;
        ChainActive = ChainContinue = false;
        PendingSteps = 0;
        FLocal.Discard();
        if (DataSocket->State() != wsClosed)
            DataSocket->Close(); // a PORT step's listening socket
        if (FState != fsReady && FState != fsStepReady)
            SetState(before);
        throw;
    }
}

// Every text a chain will send is checked before its first step: a line break in the password
// or a name must not reach the server, and must not leave a login half done either.
void TCustomFtpCli::CheckChainText(TFtpSteps Steps) const
{
    const auto has = [Steps](std::initializer_list<TFtpStep> List) {
        for (const TFtpStep step : List)
            if (Steps & StepBit(step))
                return true;
        return false;
    };
    if (has({stUser}))
        CheckCommandText(UserName, "UserName");
    if (has({stPass}))
        CheckCommandText(PassWord, "The password");
    if (has({stCwd}))
        CheckCommandText(HostDirName, "HostDirName");
    if (has({stSize, stMkd, stRmd, stRenameFrom, stGet, stDir, stLs, stPut, stAppend, stDele}))
        CheckCommandText(HostFileName, "HostFileName");
    if (has({stRenameTo, stQuote}))
        CheckCommandText(LocalFileName, "LocalFileName");
}

void TCustomFtpCli::NextStep()
{
    const bool first = FChainStarting;
    FChainStarting = false;
    if (FState == fsAborting) {
        PendingSteps = 0;
        ChainResult = 426;
        FErrorMessage = "426 Operation aborted.";
    }
    ChainContinue = true;
    for (;;) {
        if (StepResult != 0) {
            // A failure skips every remaining step but the closing QUIT.
            ChainResult = StepResult;
            PendingSteps =
                CurrentStep != stQuit && (PendingSteps & StepBit(stQuit)) ? StepBit(stQuit) : 0;
        }
        TFtpStep step = stNone;
        for (TFtpStep candidate : StepOrder)
            if (PendingSteps & StepBit(candidate)) {
                step = candidate;
                break;
            }
        if (step == stNone)
            break;
        PendingSteps &= ~StepBit(step);
        const TFtpStep before = CurrentStep;
        CurrentStep = step;
        if (step == stPass && before == stUser && FStatusCode != 331)
            continue; // 230 to USER: logged in without a password
        if (step == stCwd && HostDirName.empty())
            continue;
        if (step == stQuit && !ControlOpen)
            continue; // the connection is gone already: there is nothing to quit
        if (step == stGet && !(before == stRest && RestartAt >= 0 && FStatusCode == 350))
            RestartAt = 0; // resume only after "350 Restarting at n"
        if (step == stQuit) {
            SavedResponse = FLastResponse;
            SavedStatusCode = FStatusCode;
        }
        try {
            StartStep(step);
            return;
        } catch (const std::exception &e) {
            if (first)
                throw;
            FailStep(e.what());
        }
    }
    PendingSteps = 0;
    ChainContinue = false;
    DoneSignalled = false;
    StepResult = ChainResult;
    TriggerRequestDone(ChainResult);
}

void TCustomFtpCli::FailStep(const std::string &Reason)
{
    TriggerDisplay("! " + Reason);
    if (FErrorMessage.empty())
        FErrorMessage = Reason;
    StepResult = StepExceptionResult;
    if (FState != fsStepReady && FState != fsAborting)
        SetState(fsStepReady);
}

void TCustomFtpCli::StartStep(TFtpStep Step)
{
    switch (Step) {
    case stOpen:
        OpenAsync();
        break;
    case stUser:
        UserAsync();
        break;
    case stPass:
        PassAsync();
        break;
    case stCwd:
        CwdAsync();
        break;
    case stCDup:
        CDupAsync();
        break;
    case stTypeSet:
        TypeSetAsync();
        break;
    case stPort:
        PortAsync();
        break;
    case stRest:
        RestAsync();
        break;
    case stGet:
        RetrAsync();
        break;
    case stPut:
        StorAsync();
        break;
    case stAppend:
        AppeAsync();
        break;
    case stDir:
        ListAsync();
        break;
    case stLs:
        NlstAsync();
        break;
    case stSyst:
        SystAsync();
        break;
    case stMkd:
        MkdAsync();
        break;
    case stRmd:
        RmdAsync();
        break;
    case stRenameFrom:
        RenameFromAsync();
        break;
    case stRenameTo:
        RenameToAsync();
        break;
    case stSize:
        SizeAsync();
        break;
    case stDele:
        DeleAsync();
        break;
    case stPwd:
        PwdAsync();
        break;
    case stQuote:
        QuoteAsync();
        break;
    case stQuit:
        QuitAsync();
        break;
    case stNone:
        break;
    }
}

} // namespace tarn
