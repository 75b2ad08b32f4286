#pragma once

#include "client/state_table.h"
#include "profile/connection_profile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarn {

// The pages of the main window.
enum TClientPage { cpFTP, cpLog, cpScript };

// The two name fields of the FTP page.
enum TClientField {
    cfAS400File, // "Remote File:"
    cfPCFile,    // "Local File:"
};

// The moving indicator: what it stands for while it runs.
enum TAnimationClip {
    acNone = 0,      // stopped and hidden
    acSearching = 1, // listing, create, rename
    acCopying = 4,   // transfers
    acDeleting = 8,  // deletes
    acDialing = 100, // a dial-up line is being made
};

// The transfer progress bar.
struct TProgress
{
    bool Enabled = false;
    int64_t Maximum = 100;
    int64_t Position = 0;

    bool operator==(const TProgress &) const = default;
};

// What the login dialog is opened with.
struct TLoginRequest
{
    std::vector<std::string> DialUpEntries; // offered after "LAN"
    bool StartedWithProfile = false;
    std::string ProfileArgument; // the program's first argument, when it was started with one
};

// What a login dialog closed with Connect gives.
struct TLoginChoice
{
    TConnectionProfile Values;
    std::string ProfileLabel;    // the profile file's name, "" when none was used
    std::string LibraryListFile; // the profile's library list file
};

// The window side of TTarnMain: everything the client's logic shows, and the two dialogs it
// opens. The logic keeps every value it passes here, so a view only mirrors it; a view may
// ignore what it does not show. The window (client/ui) is one implementation, tests have
// their own.
class TClientView
{
public:
    virtual ~TClientView() = default;

    virtual void ControlEnabled(TClientControl Control, bool Enabled) = 0;
    virtual void ControlShown(TClientControl Control, bool Shown) = 0;
    virtual void CaptionChanged(const std::string &Caption) = 0;
    virtual void PanelChanged(int Panel, const std::string &Text) = 0;
    virtual void PageShown(TClientPage Page) = 0;
    virtual void CursorChanged(bool Busy) = 0;
    virtual void AnimationChanged(TAnimationClip Clip) = 0;
    virtual void ProgressChanged(const TProgress &Progress) = 0;
    virtual void FieldChanged(TClientField Field, const std::string &Text) = 0;
    // The command box: its drop-down list and its text.
    virtual void CommandBoxChanged(const std::vector<std::string> &Items,
                                   const std::string &Text) = 0;
    virtual void CommandBoxFocused() = 0;
    virtual void LogAppended(const std::string &Line) = 0;
    virtual void LogCleared() = 0;
    virtual void ScriptCleared() = 0;
    // A line added at the end of the script while recording.
    virtual void ScriptLineAppended(const std::string &Line) = 0;
    // The check marks of Settings > Ascii and Binary.
    virtual void TransferTypeShown(bool Binary) = 0;
    // Paints what changed now: the logic is about to block (a synchronous dial).
    virtual void Repaint() = 0;
    // Closes the window; called when a close that had to wait for an operation may go on.
    virtual void CloseWindow() = 0;

    // The login dialog, modal; nothing when it was cancelled.
    virtual std::optional<TLoginChoice> RunLoginDialog(const TLoginRequest &Request) = 0;
    // The library list dialog on one file, modal.
    virtual void RunLibraryListDialog(const std::string &FileName) = 0;
};

} // namespace tarn
