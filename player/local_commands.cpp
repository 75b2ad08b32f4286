// The player's local commands: the current directory, folders, files and the log.

#include "support/local_files.h"
#include "player/script_language.h"
#include "player/tarn_player.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

bool IsLocalPath(const std::string &name)
{
    return name.find('/') != std::string::npos;
}

const char *KeywordOf(TFileOp operation)
{
    switch (operation) {
    case foMove:
        return "LOCALMOVE";
    case foRename:
        return "LOCALREN";
    default:
        return "LOCALCOPY";
    }
}

} // namespace

void TTarnPlayer::AddLocalOperations()
{
    AddOperation("LOCALCD", [this](const std::string &a) { LocalChangeDir(a); });
    AddOperation("LOCALMD", [this](const std::string &a) { LocalMakeDir(a); });
    AddOperation("LOCALRD", [this](const std::string &a) { LocalRemoveDir(a); });
    AddOperation("LOCALDEL", [this](const std::string &a) { LocalDeleteFile(a); });
    AddOperation("LOCALCOPY", [this](const std::string &a) { LocalFileOperation(a, foCopy); });
    AddOperation("LOCALMOVE", [this](const std::string &a) { LocalFileOperation(a, foMove); });
    AddOperation("LOCALREN", [this](const std::string &a) { LocalFileOperation(a, foRename); });
    AddOperation("SAVELOG", [this](const std::string &a) { SaveLog(a); });
    AddOperation("CLEARLOG", [this](const std::string &) { ClearLog(); });
}

void TTarnPlayer::LocalChangeDir(const std::string &argument)
{
    if (::chdir(argument.c_str()) != 0)
        Fail();
}

void TTarnPlayer::LocalMakeDir(const std::string &argument)
{
    if (::mkdir(argument.c_str(), 0777) != 0)
        Fail();
}

void TTarnPlayer::LocalRemoveDir(const std::string &argument)
{
    if (::rmdir(argument.c_str()) != 0)
        Fail();
}

void TTarnPlayer::LocalDeleteFile(const std::string &argument)
{
    // unlink refuses folders, as deleting a file does on every system.
    if (::unlink(argument.c_str()) != 0)
        Fail();
}

void TTarnPlayer::LocalFileOperation(const std::string &argument, TFileOp operation)
{
    const std::optional<NamePair> names = NamePairOrStop(argument, "File Operation");
    if (!names)
        return;
    const std::string source = PlaceInFolder(LocalDir, names->First);
    std::string destination = names->Second;
    if (!IsLocalPath(destination))
        destination = source.substr(0, source.rfind('/') + 1) + destination;

    AppendLog(std::string(KeywordOf(operation)) + " " + source + " " + destination);
    LocalOperation->FilesFrom = source;
    LocalOperation->FilesTo = destination;
    LocalOperation->Operation = operation;
    if (LocalOperation->Execute())
        AppendLog("File operation completed successfully.");
    else
        Fail();
}

void TTarnPlayer::SaveLog(const std::string &argument)
{
    if (argument.empty()) {
        AppendLog("Error: Log filename not specified.");
        Fail();
        return;
    }
    SaveLogTo(argument);
}

} // namespace tarn
