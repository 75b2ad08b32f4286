#include "client/state_table.h"

namespace tarn {

namespace {

constexpr TStateRow Rows[] = {
    // control              Offline  Busy    Ready
    {ccDirView, {erOff, erSame, erOn}},     {ccFileView, {erOff, erSame, erOn}},
    {ccFileDrag1, {erOff, erOff, erOn}},    {ccAButton, {erOff, erOff, erOn}},
    {ccBButton, {erOff, erOff, erOn}},      {ccExitButton, {erOn, erOff, erOn}},
    {ccLoginButton, {erOn, erOff, erOff}},  {ccLogin1, {erOn, erOff, erOff}},
    {ccLogoutButton, {erOff, erOff, erOn}}, {ccLibraryButton, {erOff, erOff, erOn}},
    {ccCDUPButton, {erOff, erOff, erOn}},   {ccNewDirButton, {erOff, erOff, erOn}},
    {ccDeleteButton, {erOff, erOff, erOn}}, {ccRenameButton, {erOff, erOff, erOn}},
    {ccReceive, {erOff, erOff, erOn}},      {ccSend, {erOff, erOff, erOn}},
    {ccAbortButton, {erOff, erOn, erOff}},  {ccAbortTransfer1, {erOff, erOn, erOff}},
    {ccAS400File, {erOff, erOff, erOn}},    {ccPCFile, {erOff, erOff, erOn}},
    {ccSettings1, {erOff, erOff, erOn}},    {ccOperations1, {erOff, erOff, erOn}},
    {ccEXButton, {erOff, erOff, erOn}},     {ccCommandEdit, {erOff, erOff, erOn}},
};
static_assert(std::size(Rows) == ccStateControlCount, "one row per control");

constexpr const char *Names[] = {
    "DirView",      "FileView",      "FileDrag1",      "AButton",        "BButton",
    "ExitButton",   "LoginButton",   "Login1",         "LogoutButton",   "LibraryButton",
    "CDUPButton",   "NewDirButton",  "DeleteButton",   "RenameButton",   "Receive",
    "Send",         "AbortButton",   "AbortTransfer1", "AS400File",      "PCFile",
    "Settings1",    "Operations1",   "EXButton",       "CommandEdit",    "LibraryList1",
    "RecordButton", "RecordScript1", "StopButton",     "StopRecording1", "SaveButton",
    "PlayButton",
};
static_assert(std::size(Names) == ccControlCount, "one name per control");

} // namespace

const char *ControlName(TClientControl Control)
{
    return Names[Control];
}

std::span<const TStateRow> StateTable()
{
    return Rows;
}

} // namespace tarn
