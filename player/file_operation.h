#pragma once

// TFileOperation copies, moves, renames or deletes local files and folders for the local
// commands of scripts, with these rules:
// - FilesFrom and FilesTo hold one name or several separated by ";".
// - The last component of a source may hold the wildcards "*" and "?" (a leading dot must be
//   matched explicitly, as in a shell); a source or wildcard that matches nothing fails.
// - A destination that is an existing folder, ends in "/", or receives several sources (a
//   wildcard or a list) is a folder: the sources keep their names inside it. Otherwise a single
//   source is copied or moved to exactly that name. Missing destination folders are created.
// - Existing destination files are replaced; the replacement is written beside the target and
//   renamed over it, so a failed copy leaves the old file as it was. Folders are copied or
//   merged whole.
// - Copying or moving a file onto itself, or a folder into itself, fails and changes nothing.
//   A move never removes its source before the copy is complete.
// - Every source is expanded and every pair checked before anything changes, so a match that
//   cannot be copied or moved (into itself, a file onto a folder) fails the whole operation.
// - A move carries symbolic links as links, never what they name: also when a folder merges
//   into an existing one and when it crosses to another file system.
// - Rename gives a single source a new name and refuses to overwrite another object.
// With fofMultiDestFiles each source pairs with the destination at the same place in FilesTo;
// without it only the first destination name is used. fofFilesOnly lets wildcards match files
// only. The other flags (confirmations, progress, undo) are accepted and change nothing: a
// script runs unattended and nobody is asked, so OperationAborted stays false.

#include <set>
#include <string>
#include <vector>

namespace tarn {

enum TFileOp { foCopy, foDelete, foMove, foRename };

enum TFileOpFlag {
    fofAllowUndo,
    fofConfirmMouse,
    fofFilesOnly,
    fofMultiDestFiles,
    fofNoConfirmation,
    fofNoConfirmMkDir,
    fofRenameOnCollision,
    fofSilent,
    fofSimpleProgress
};

using TFileOpFlags = std::set<TFileOpFlag>;

class TFileOperation
{
public:
    std::vector<std::string> About{"TFileOperation: copy, move, rename and delete local files."};
    std::string FilesFrom;
    std::string FilesTo;
    TFileOpFlags Flags;
    TFileOp Operation = foCopy;
    std::string ProgressTitle;

    bool Active() const { return FActive; }
    // Setting it to true runs Execute at once.
    void SetActive(bool Active);

    bool OperationAborted() const { return FOperationAborted; }

    // Runs the operation; true on success. Stops at the first source that fails.
    bool Execute();
    // Why the last Execute failed; empty after a success.
    const std::string &ErrorText() const { return FErrorText; }

private:
    bool FActive = false;
    bool FOperationAborted = false;
    std::string FErrorText;
};

} // namespace tarn
