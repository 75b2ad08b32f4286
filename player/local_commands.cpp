// The player's local commands: the current directory, folders, files and the log.

#include "player/script_language.h"
#include "player/tarn_player.h"
#include "support/local_files.h"
#include "support/text.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

bool IsLocalPath(const std::string &Name)
{
    return Name.find('/') != std::string::npos;
}

// "NAME: " and the text of errno, for a failed system call on NAME.
std::string SystemFailure(const std::string &Name)
{
    return (Name.empty() ? std::string("(no name)") : Name) + ": " + SystemErrorText(errno);
}

const char *KeywordOf(TFileOp Operation)
{
    switch (Operation) {
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
    AddOperation("LOCALCD", [this](const std::string &A) { LocalChangeDir(A); });
    AddOperation("LOCALMD", [this](const std::string &A) { LocalMakeDir(A); });
    AddOperation("LOCALRD", [this](const std::string &A) { LocalRemoveDir(A); });
    AddOperation("LOCALDEL", [this](const std::string &A) { LocalDeleteFile(A); });
    AddOperation("LOCALCOPY", [this](const std::string &A) { LocalFileOperation(A, foCopy); });
    AddOperation("LOCALMOVE", [this](const std::string &A) { LocalFileOperation(A, foMove); });
    AddOperation("LOCALREN", [this](const std::string &A) { LocalFileOperation(A, foRename); });
    AddOperation("SAVELOG", [this](const std::string &A) { SaveLog(A); });
    AddOperation("CLEARLOG", [this](const std::string &) { ClearLog(); });
}

void TTarnPlayer::LocalChangeDir(const std::string &Argument)
{
    if (::chdir(Argument.c_str()) != 0)
        Fail(SystemFailure(Argument));
}

void TTarnPlayer::LocalMakeDir(const std::string &Argument)
{
    if (::mkdir(Argument.c_str(), 0777) != 0)
        Fail(SystemFailure(Argument));
}

void TTarnPlayer::LocalRemoveDir(const std::string &Argument)
{
    if (::rmdir(Argument.c_str()) != 0)
        Fail(SystemFailure(Argument));
}

void TTarnPlayer::LocalDeleteFile(const std::string &Argument)
{
    // unlink refuses folders, as deleting a file does on every system.
    if (::unlink(Argument.c_str()) != 0)
        Fail(SystemFailure(Argument));
}

void TTarnPlayer::LocalFileOperation(const std::string &Argument, TFileOp Operation)
{
    const std::optional<TNamePair> names = NamePairOrStop(Argument, "File Operation");
    if (!names)
        return;
    const std::string source = PlaceInFolder(LocalDir, names->First);
    std::string destination = names->Second;
    if (!IsLocalPath(destination))
        destination = source.substr(0, source.rfind('/') + 1) + destination;

    AppendLog(std::string(KeywordOf(Operation)) + " " + source + " " + destination);
    LocalOperation->FilesFrom = source;
    LocalOperation->FilesTo = destination;
    LocalOperation->Operation = Operation;
    if (LocalOperation->Execute())
        AppendLog("File operation completed successfully.");
    else
        Fail(LocalOperation->ErrorText());
}

void TTarnPlayer::SaveLog(const std::string &Argument)
{
    if (Argument.empty()) {
        AppendLog("Error: Log filename not specified.");
        Fail("Error: Log filename not specified.", true);
        return;
    }
    SaveLogTo(Argument);
}

} // namespace tarn
