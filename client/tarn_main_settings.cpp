// The Settings menu's transfer type and preferences, and the values the main window keeps
// between runs.

#include "client/tarn_main.h"

namespace tarn {

void TTarnMain::Ascii1Click()
{
    Ascii1Checked = true;
    Binary1Checked = false;
    SetPanel(0, "ASCII");
    FView.TransferTypeShown(false);
    Record("ASCII");
}

void TTarnMain::Binary1Click()
{
    Binary1Checked = true;
    Ascii1Checked = false;
    SetPanel(0, "BINARY");
    FView.TransferTypeShown(true);
    Record("BINARY");
}

void TTarnMain::Preferences1Click()
{
    const std::optional<TPreferencesChoice> choice = FView.RunPreferencesDialog(DownloadDir);
    if (!choice)
        return;
    FView.ViewColorsChanged(choice->BackColor, choice->TextColor);
    DownloadDir = choice->DownloadDir;
    SetField(cfPCFile, DownloadDir);
    ToolBar1ShowHint = choice->ShowHints;
    FView.HintsShown(ToolBar1ShowHint);
}

void TTarnMain::RestoreSettings(const TClientSettings &Settings)
{
    // A stored type replaces the one FormCreate chose; none stored keeps it.
    if (Settings.Ascii1Checked != Settings.Binary1Checked) {
        Ascii1Checked = Settings.Ascii1Checked;
        Binary1Checked = Settings.Binary1Checked;
    }
    ToolBar1ShowHint = Settings.ToolBar1ShowHint;
    FormStorage1RestorePlacement();
}

void TTarnMain::FormStorage1RestorePlacement()
{
    SetPanel(0, Ascii1Checked ? "ASCII" : "BINARY");
    FView.TransferTypeShown(!Ascii1Checked);
    FView.HintsShown(ToolBar1ShowHint);
}

void TTarnMain::StoreSettings(TClientSettings &Settings) const
{
    Settings.Ascii1Checked = Ascii1Checked;
    Settings.Binary1Checked = Binary1Checked;
    Settings.ToolBar1ShowHint = ToolBar1ShowHint;
}

} // namespace tarn
