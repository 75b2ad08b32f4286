#pragma once

// The three session states of the client and which controls each one enables, as data: the
// window applies a column of the table, the tests read it.

#include <array>
#include <span>

namespace tarn {

enum TSessionState { ssOffline, ssBusy, ssReady };

// The controls whose enabled state the client's logic decides, by their names in the window.
enum TClientControl {
    ccDirView,
    ccFileView,
    ccFileDrag1, // the drop target for files from the desktop
    ccAButton,
    ccBButton,
    ccExitButton,
    ccLoginButton,
    ccLogin1, // File > Connect
    ccLogoutButton,
    ccLibraryButton,
    ccCDUPButton,
    ccNewDirButton,
    ccDeleteButton,
    ccRenameButton,
    ccReceive,
    ccSend,
    ccAbortButton,
    ccAbortTransfer1, // File > Abort Transfer
    ccAS400File,
    ccPCFile,
    ccSettings1,   // the Settings menu
    ccOperations1, // the Operations menu
    ccEXButton,
    ccCommandEdit,
    ccStateControlCount, // the controls above follow the session state table
    // Controls that the flows switch on their own.
    ccLibraryList1 = ccStateControlCount, // Settings > Library List, for IBM i servers only
    ccRecordButton,
    ccRecordScript1,
    ccStopButton,
    ccStopRecording1,
    ccSaveButton,
    ccPlayButton,
    ccControlCount
};

// The control's name in the window ("DirView", "Login1", ...).
const char *ControlName(TClientControl Control);

// What a state does to a control: enable it, disable it, or leave it as it is.
enum TEnableRule { erOn, erOff, erSame };

struct TStateRow
{
    TClientControl Control;
    std::array<TEnableRule, 3> Rule; // by TSessionState
};

// One row per control: Offline allows only Connect and Exit; Busy leaves only Abort (and the
// lists as they were); Ready allows every operation but Connect and Abort. File > Exit, the
// Help menu and the Script page are usable in every state and are not in the table.
std::span<const TStateRow> StateTable();

} // namespace tarn
