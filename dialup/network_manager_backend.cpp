#include "dialup/network_manager_backend.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>

namespace tarn {

namespace {

constexpr size_t MaxListed = 100;
constexpr int ListTimeout = 15;

constexpr const char NotAvailableText[] = "NetworkManager is not available (nmcli cannot be "
                                          "started), so dial-up connections cannot be made.";

// nmcli exit statuses.
constexpr int NmcliNotRunning = 8;
constexpr int NmcliNotFound = 10;

bool IsDialUpType(const std::string &Type)
{
    static const char *const Types[] = {"gsm",       "cdma", "pppoe",    "adsl",
                                        "bluetooth", "vpn",  "wireguard"};
    return std::any_of(std::begin(Types), std::end(Types),
                       [&Type](const char *T) { return Type == T; });
}

// One line of nmcli's terse output: fields separated by ":", with "\:" and "\\" inside them.
std::vector<std::string> TerseFields(const std::string &Line)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < Line.size(); ++i) {
        if (Line[i] == '\\' && i + 1 < Line.size())
            fields.back() += Line[++i];
        else if (Line[i] == ':')
            fields.emplace_back();
        else
            fields.back() += Line[i];
    }
    return fields;
}

std::string FirstLine(const QByteArray &Text)
{
    const QByteArray line = Text.trimmed().split('\n').value(0).trimmed();
    return line.toStdString();
}

} // namespace

std::unique_ptr<TDialUpBackend> CreateDialUpBackend()
{
    return std::make_unique<TNetworkManagerBackend>();
}

TNetworkManagerBackend::TNetworkManagerBackend(int WaitSeconds) : FWaitSeconds(WaitSeconds) {}

TNetworkManagerBackend::~TNetworkManagerBackend()
{
    if (FDialThread.joinable())
        FDialThread.join();
}

TNetworkManagerBackend::TOutcome
TNetworkManagerBackend::Run(const std::vector<std::string> &Arguments, int TimeoutSeconds,
                            std::string *Output) const
{
    QStringList list;
    for (const std::string &argument : Arguments)
        list << QString::fromLocal8Bit(argument.c_str());
    // Where nmcli is not installed there is no NetworkManager to ask: said without starting a
    // process, so that the look for active lines at every run costs nothing there.
    const QString program = QStandardPaths::findExecutable("nmcli");
    if (program.isEmpty())
        return {rrNoService, NotAvailableText};
    QProcess nmcli;
    // English messages and untranslated states, whatever the user's language; names stay UTF-8.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    nmcli.setProcessEnvironment(environment);
    nmcli.start(program, list);
    if (!nmcli.waitForStarted())
        return {rrNoService, NotAvailableText};
    if (!nmcli.waitForFinished(TimeoutSeconds * 1000)) {
        nmcli.kill();
        nmcli.waitForFinished();
        return {rrDialFailed,
                "nmcli did not answer within " + std::to_string(TimeoutSeconds) + " seconds."};
    }
    if (Output)
        *Output = nmcli.readAllStandardOutput().toStdString();
    if (nmcli.exitStatus() == QProcess::NormalExit && nmcli.exitCode() == 0)
        return {rrSuccess, {}};
    std::string text = FirstLine(nmcli.readAllStandardError());
    if (text.empty())
        text = "nmcli failed with exit status " + std::to_string(nmcli.exitCode()) + ".";
    switch (nmcli.exitCode()) {
    case NmcliNotRunning:
        return {rrNoService, text};
    case NmcliNotFound:
        return {rrNoSuchEntry, text};
    default:
        return {rrDialFailed, text};
    }
}

TNetworkManagerBackend::TOutcome TNetworkManagerBackend::List(bool Active,
                                                              std::vector<TProfile> &Profiles) const
{
    std::vector<std::string> arguments = {"-t", "-f", "NAME,UUID,TYPE,DEVICE,STATE", "connection",
                                          "show"};
    if (Active)
        arguments.push_back("--active");
    std::string output;
    const TOutcome outcome = Run(arguments, ListTimeout, &output);
    if (outcome.Code != rrSuccess)
        return outcome;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        const std::vector<std::string> fields = TerseFields(output.substr(start, end - start));
        start = end + 1;
        if (fields.size() < 5 || !IsDialUpType(fields[2]))
            continue;
        Profiles.push_back({fields[0], fields[1], fields[2], fields[3], fields[4]});
    }
    return outcome;
}

int TNetworkManagerBackend::Failed(const TOutcome &Outcome)
{
    std::lock_guard lock(FMutex);
    FLastCode = Outcome.Code;
    FLastText = Outcome.Text;
    return Outcome.Code;
}

THRasConn TNetworkManagerBackend::HandleOf(const std::string &Uuid)
{
    std::lock_guard lock(FMutex);
    for (const auto &[handle, known] : FHandles) {
        if (known == Uuid)
            return handle;
    }
    FHandles[FNextHandle] = Uuid;
    return FNextHandle++;
}

std::string TNetworkManagerBackend::UuidOf(THRasConn Handle)
{
    std::lock_guard lock(FMutex);
    const auto it = FHandles.find(Handle);
    return it == FHandles.end() ? std::string() : it->second;
}

int TNetworkManagerBackend::Enumerate(bool Active, std::vector<TProfile> &Profiles)
{
    const TOutcome outcome = List(Active, Profiles);
    // Without NetworkManager there is simply nothing to dial and nothing up.
    if (outcome.Code == rrNoService) {
        Profiles.clear();
        return rrSuccess;
    }
    if (outcome.Code != rrSuccess)
        return Failed(outcome);
    if (Profiles.size() > MaxListed) {
        Profiles.clear();
        return Failed({rrBufferTooSmall, {}});
    }
    return rrSuccess;
}

int TNetworkManagerBackend::FindEntry(const std::string &Entry, TProfile &Found)
{
    std::vector<TProfile> profiles;
    const TOutcome outcome = List(false, profiles);
    if (outcome.Code != rrSuccess)
        return Failed(outcome);
    const auto profile = std::find_if(profiles.begin(), profiles.end(),
                                      [&Entry](const TProfile &P) { return P.Name == Entry; });
    if (profile == profiles.end())
        return Failed({rrNoSuchEntry, "There is no dial-up connection named \"" + Entry + "\"."});
    Found = *profile;
    return rrSuccess;
}

int TNetworkManagerBackend::EnumEntries(std::vector<std::string> &Entries)
{
    std::vector<TProfile> profiles;
    const int result = Enumerate(false, profiles);
    for (const TProfile &profile : profiles)
        Entries.push_back(profile.Name);
    return result;
}

int TNetworkManagerBackend::GetEntryDialParams(const std::string &Entry)
{
    TProfile profile;
    return FindEntry(Entry, profile);
}

TNetworkManagerBackend::TOutcome TNetworkManagerBackend::Activate(const std::string &Uuid) const
{
    // nmcli gives up after FWaitSeconds; the process gets a little longer to say so.
    return Run({"--wait", std::to_string(FWaitSeconds), "connection", "up", "uuid", Uuid},
               FWaitSeconds + 10);
}

int TNetworkManagerBackend::Dial(const std::string &Entry, THRasConn &Handle, TNotifier Notifier)
{
    TProfile profile;
    const int found = FindEntry(Entry, profile);
    if (found != rrSuccess)
        return found;
    Handle = HandleOf(profile.Uuid);
    if (!Notifier) {
        const TOutcome outcome = Activate(profile.Uuid);
        return outcome.Code == rrSuccess ? rrSuccess : Failed(outcome);
    }
    if (FDialThread.joinable())
        FDialThread.join();
    FDialThread = std::thread([this, uuid = profile.Uuid, notifier = std::move(Notifier)] {
        notifier(2, 0); // "Connecting device"
        const TOutcome result = Activate(uuid);
        if (result.Code == rrSuccess)
            notifier(8192, 0); // "Connected"
        else
            notifier(8193, Failed(result)); // "Disconnected", with the reason
    });
    return rrSuccess;
}

int TNetworkManagerBackend::HangUp(THRasConn Handle)
{
    const std::string uuid = UuidOf(Handle);
    if (uuid.empty())
        return Failed({rrInvalidHandle, {}});
    const TOutcome outcome = Run({"connection", "down", "uuid", uuid}, ListTimeout);
    if (outcome.Code == rrNoSuchEntry)
        return Failed({rrInvalidHandle, outcome.Text});
    return outcome.Code == rrSuccess ? rrSuccess : Failed(outcome);
}

int TNetworkManagerBackend::EnumConnections(std::vector<TRasConn> &Connections)
{
    std::vector<TProfile> profiles;
    const int result = Enumerate(true, profiles);
    for (const TProfile &profile : profiles)
        Connections.push_back({HandleOf(profile.Uuid), profile.Name, profile.Type, profile.Device});
    return result;
}

int TNetworkManagerBackend::GetConnectStatus(THRasConn Handle, TRasConnStatusA &Status)
{
    const std::string uuid = UuidOf(Handle);
    if (uuid.empty())
        return Failed({rrInvalidHandle, {}});
    std::vector<TProfile> profiles;
    const TOutcome outcome = List(true, profiles);
    if (outcome.Code != rrSuccess)
        return Failed(outcome);
    const auto profile = std::find_if(profiles.begin(), profiles.end(),
                                      [&uuid](const TProfile &P) { return P.Uuid == uuid; });
    Status = TRasConnStatusA();
    if (profile == profiles.end()) {
        Status.State = 8193; // "Disconnected"
        return rrSuccess;
    }
    Status.State = profile->State == "activated" ? 8192 : 2;
    Status.DeviceType = profile->Type;
    Status.DeviceName = profile->Device;
    return rrSuccess;
}

std::string TNetworkManagerBackend::ErrorString(int Code)
{
    {
        std::lock_guard lock(FMutex);
        if (Code == FLastCode && !FLastText.empty())
            return FLastText;
    }
    switch (Code) {
    case rrSuccess:
        return {};
    case rrInvalidHandle:
        return "The connection handle is not valid.";
    case rrBufferTooSmall:
        return "There are more than 100 dial-up connections.";
    case rrNoSuchEntry:
        return "The dial-up connection does not exist.";
    case rrDialFailed:
        return "The dial-up connection could not be made.";
    case rrNoService:
        return "NetworkManager is not available, so dial-up connections cannot be made.";
    default:
        return "Dial-up error " + std::to_string(Code) + ".";
    }
}

} // namespace tarn
