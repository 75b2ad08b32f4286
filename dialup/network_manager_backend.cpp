#include "dialup/network_manager_backend.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <algorithm>

namespace tarn {

namespace {

constexpr size_t MaxListed = 100;
constexpr int ListTimeout = 15;

// nmcli exit statuses.
constexpr int NmcliNotRunning = 8;
constexpr int NmcliNotFound = 10;

bool IsDialUpType(const std::string &type)
{
    static const char *const types[] = {"gsm",       "cdma", "pppoe",    "adsl",
                                        "bluetooth", "vpn",  "wireguard"};
    return std::any_of(std::begin(types), std::end(types),
                       [&type](const char *t) { return type == t; });
}

// One line of nmcli's terse output: fields separated by ":", with "\:" and "\\" inside them.
std::vector<std::string> TerseFields(const std::string &line)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
            fields.back() += line[++i];
        else if (line[i] == ':')
            fields.emplace_back();
        else
            fields.back() += line[i];
    }
    return fields;
}

std::string FirstLine(const QByteArray &text)
{
    const QByteArray line = text.trimmed().split('\n').value(0).trimmed();
    return line.toStdString();
}

} // namespace

std::unique_ptr<TDialUpBackend> CreateDialUpBackend()
{
    return std::make_unique<TNetworkManagerBackend>();
}

TNetworkManagerBackend::TNetworkManagerBackend(int waitSeconds) : FWaitSeconds(waitSeconds) {}

TNetworkManagerBackend::~TNetworkManagerBackend()
{
    if (FDialThread.joinable())
        FDialThread.join();
}

TNetworkManagerBackend::Outcome
TNetworkManagerBackend::Run(const std::vector<std::string> &arguments, int timeoutSeconds,
                            std::string *output) const
{
    QStringList list;
    for (const std::string &argument : arguments)
        list << QString::fromLocal8Bit(argument.c_str());
    QProcess nmcli;
    // English messages and untranslated states, whatever the user's language; names stay UTF-8.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    nmcli.setProcessEnvironment(environment);
    nmcli.start("nmcli", list);
    if (!nmcli.waitForStarted())
        return {rrNoService, "NetworkManager is not available (nmcli cannot be started), so "
                             "dial-up connections cannot be made."};
    if (!nmcli.waitForFinished(timeoutSeconds * 1000)) {
        nmcli.kill();
        nmcli.waitForFinished();
        return {rrDialFailed,
                "nmcli did not answer within " + std::to_string(timeoutSeconds) + " seconds."};
    }
    if (output)
        *output = nmcli.readAllStandardOutput().toStdString();
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

TNetworkManagerBackend::Outcome TNetworkManagerBackend::List(bool active,
                                                             std::vector<Profile> &profiles) const
{
    std::vector<std::string> arguments = {"-t", "-f", "NAME,UUID,TYPE,DEVICE,STATE", "connection",
                                          "show"};
    if (active)
        arguments.push_back("--active");
    std::string output;
    const Outcome outcome = Run(arguments, ListTimeout, &output);
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
        profiles.push_back({fields[0], fields[1], fields[2], fields[3], fields[4]});
    }
    return outcome;
}

int TNetworkManagerBackend::Failed(const Outcome &outcome)
{
    std::lock_guard lock(FMutex);
    FLastCode = outcome.Code;
    FLastText = outcome.Text;
    return outcome.Code;
}

THRasConn TNetworkManagerBackend::HandleOf(const std::string &uuid)
{
    std::lock_guard lock(FMutex);
    for (const auto &[handle, known] : FHandles) {
        if (known == uuid)
            return handle;
    }
    FHandles[FNextHandle] = uuid;
    return FNextHandle++;
}

std::string TNetworkManagerBackend::UuidOf(THRasConn handle)
{
    std::lock_guard lock(FMutex);
    const auto it = FHandles.find(handle);
    return it == FHandles.end() ? std::string() : it->second;
}

int TNetworkManagerBackend::Enumerate(bool active, std::vector<Profile> &profiles)
{
    const Outcome outcome = List(active, profiles);
    // Without NetworkManager there is simply nothing to dial and nothing up.
    if (outcome.Code == rrNoService) {
        profiles.clear();
        return rrSuccess;
    }
    if (outcome.Code != rrSuccess)
        return Failed(outcome);
    if (profiles.size() > MaxListed) {
        profiles.clear();
        return Failed({rrBufferTooSmall, {}});
    }
    return rrSuccess;
}

int TNetworkManagerBackend::FindEntry(const std::string &entry, Profile &found)
{
    std::vector<Profile> profiles;
    const Outcome outcome = List(false, profiles);
    if (outcome.Code != rrSuccess)
        return Failed(outcome);
    const auto profile = std::find_if(profiles.begin(), profiles.end(),
                                      [&entry](const Profile &p) { return p.Name == entry; });
    if (profile == profiles.end())
        return Failed({rrNoSuchEntry, "There is no dial-up connection named \"" + entry + "\"."});
    found = *profile;
    return rrSuccess;
}

int TNetworkManagerBackend::EnumEntries(std::vector<std::string> &entries)
{
    std::vector<Profile> profiles;
    const int result = Enumerate(false, profiles);
    for (const Profile &profile : profiles)
        entries.push_back(profile.Name);
    return result;
}

int TNetworkManagerBackend::GetEntryDialParams(const std::string &entry)
{
    Profile profile;
    return FindEntry(entry, profile);
}

TNetworkManagerBackend::Outcome TNetworkManagerBackend::Activate(const std::string &uuid) const
{
    // nmcli gives up after FWaitSeconds; the process gets a little longer to say so.
    return Run({"--wait", std::to_string(FWaitSeconds), "connection", "up", "uuid", uuid},
               FWaitSeconds + 10);
}

int TNetworkManagerBackend::Dial(const std::string &entry, THRasConn &handle, TNotifier notifier)
{
    Profile profile;
    const int found = FindEntry(entry, profile);
    if (found != rrSuccess)
        return found;
    handle = HandleOf(profile.Uuid);
    if (!notifier) {
        const Outcome outcome = Activate(profile.Uuid);
        return outcome.Code == rrSuccess ? rrSuccess : Failed(outcome);
    }
    if (FDialThread.joinable())
        FDialThread.join();
    FDialThread = std::thread([this, uuid = profile.Uuid, notifier = std::move(notifier)] {
        notifier(2, 0); // "Connecting device"
        const Outcome result = Activate(uuid);
        if (result.Code == rrSuccess)
            notifier(8192, 0); // "Connected"
        else
            notifier(8193, Failed(result)); // "Disconnected", with the reason
    });
    return rrSuccess;
}

int TNetworkManagerBackend::HangUp(THRasConn handle)
{
    const std::string uuid = UuidOf(handle);
    if (uuid.empty())
        return Failed({rrInvalidHandle, {}});
    const Outcome outcome = Run({"connection", "down", "uuid", uuid}, ListTimeout);
    if (outcome.Code == rrNoSuchEntry)
        return Failed({rrInvalidHandle, outcome.Text});
    return outcome.Code == rrSuccess ? rrSuccess : Failed(outcome);
}

int TNetworkManagerBackend::EnumConnections(std::vector<TRasConn> &connections)
{
    std::vector<Profile> profiles;
    const int result = Enumerate(true, profiles);
    for (const Profile &profile : profiles)
        connections.push_back({HandleOf(profile.Uuid), profile.Name, profile.Type, profile.Device});
    return result;
}

int TNetworkManagerBackend::GetConnectStatus(THRasConn handle, TRasConnStatusA &status)
{
    const std::string uuid = UuidOf(handle);
    if (uuid.empty())
        return Failed({rrInvalidHandle, {}});
    std::vector<Profile> profiles;
    const Outcome outcome = List(true, profiles);
    if (outcome.Code != rrSuccess)
        return Failed(outcome);
    const auto profile = std::find_if(profiles.begin(), profiles.end(),
                                      [&uuid](const Profile &p) { return p.Uuid == uuid; });
    status = TRasConnStatusA();
    if (profile == profiles.end()) {
        status.State = 8193; // "Disconnected"
        return rrSuccess;
    }
    status.State = profile->State == "activated" ? 8192 : 2;
    status.DeviceType = profile->Type;
    status.DeviceName = profile->Device;
    return rrSuccess;
}

std::string TNetworkManagerBackend::ErrorString(int code)
{
    {
        std::lock_guard lock(FMutex);
        if (code == FLastCode && !FLastText.empty())
            return FLastText;
    }
    switch (code) {
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
        return "Dial-up error " + std::to_string(code) + ".";
    }
}

} // namespace tarn
