// The script page: recording, laying out, opening, saving, and handing a script to the player.

#include "client/script_lines.h"
#include "client/tarn_main.h"
#include "client/text_file.h"

namespace tarn {

void TTarnMain::RecordButtonClick()
{
    SetEnabled(ccRecordButton, false);
    SetEnabled(ccRecordScript1, false);
    SetEnabled(ccStopButton, true);
    SetEnabled(ccStopRecording1, true);
    Recording = true;
}

void TTarnMain::StopButtonClick()
{
    SetEnabled(ccStopButton, false);
    SetEnabled(ccStopRecording1, false);
    SetEnabled(ccRecordButton, true);
    SetEnabled(ccRecordScript1, true);
    Recording = false;
    std::vector<std::string> lines = ScriptLines();
    if (!lines.empty())
        SetEnabled(ccSaveButton, true);
    for (std::string &line : lines)
        line = LayOutScriptLine(line);
    FView.ScriptReplaced(lines);
    ScriptChange(!lines.empty());
}

void TTarnMain::ClearButtonClick()
{
    FView.ScriptCleared();
    ScriptChange(false);
}

void TTarnMain::OpenButtonClick()
{
    const std::optional<std::string> fileName =
        FDialogs.OpenFileName({"Open Script", "Tarn Script (*.tns)|*.tns", "tns", ""});
    if (!fileName)
        return;
    const std::optional<std::string> text = ReadWholeFile(*fileName);
    if (!text) {
        FDialogs.Error("Cannot read file \"" + *fileName + "\".");
        return;
    }
    std::vector<std::string> lines;
    ForEachLine(*text, [&lines](std::string_view Line) { lines.emplace_back(Line); });
    FView.ScriptReplaced(lines);
    ScriptChange(!lines.empty());
}

void TTarnMain::SaveButtonClick()
{
    if (!FScriptHasLines)
        return;
    const std::optional<std::string> fileName =
        FDialogs.SaveFileName({"Save Script", "Tarn Script Files (*.tns)|*.tns", "tns", ""});
    if (!fileName)
        return;
    // Never half-written: a script that a scheduler runs must be the old one or the new one.
    if (const std::optional<std::string> error = WriteLines(*fileName, ScriptLines(), rmWholeOnly))
        FDialogs.Error("Cannot write file \"" + *fileName + "\". " + *error);
}

void TTarnMain::ScriptChange(bool HasLines)
{
    FScriptHasLines = HasLines;
    SetEnabled(ccSaveButton, HasLines);
    SetEnabled(ccPlayButton, HasLines);
}

void TTarnMain::PlayButtonClick()
{
    const std::string name = TempFile.NewName();
    if (name.empty()) {
        FDialogs.Error("No temporary file is left for the script.");
        return;
    }
    if (const std::optional<std::string> error = WriteLines(name, ScriptLines())) {
        TempFile.FreeName(name);
        FDialogs.Error("Cannot write file \"" + name + "\". " + *error);
        return;
    }
    // The file is the player's from now on: it deletes it once loaded (/D).
    TempFile.ForgetName(name);
    Process1.Command = PlayerCommandLine(PlayerProgram(ProgramDir), name);
    Process1.Directory = ProgramDir;
    Process1.ShowWindow = swShowNormal;
    Process1.Wait = false;
    Process1.Execute();
}

std::vector<std::string> TTarnMain::ScriptLines() const
{
    std::vector<std::string> lines;
    ForEachLine(FView.ScriptText(), [&lines](std::string_view Line) { lines.emplace_back(Line); });
    return lines;
}

void TTarnMain::Record(const std::string &Line)
{
    if (!Recording)
        return;
    FView.ScriptLineAppended(Line);
    ScriptChange(true);
}

} // namespace tarn
