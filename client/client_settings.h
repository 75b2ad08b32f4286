#pragma once

// What the client keeps in the user's settings store between runs (support/settings_store.h):
// the main window's values and the preferences dialog's. Colours and fonts are kept as the
// window writes them (a colour name such as "#1e90ff", a font description); an empty text
// means "the standard one".

#include <optional>
#include <string>

class QSettings;

namespace tarn {

// The main window's place on the screen: shown normally (1) or maximized (3), and its normal
// frame as left, top, right and bottom.
struct TWindowPlacement
{
    int ShowCmd = 1;
    int Left = 0, Top = 0, Right = 0, Bottom = 0;

    bool operator==(const TWindowPlacement &) const = default;
};

struct TClientSettings
{
    bool Ascii1Checked = false;
    bool Binary1Checked = false;
    std::string DirViewColor, DirViewFont;
    std::string FileViewColor, FileViewFont;
    bool ToolBar1ShowHint = true;
    std::optional<TWindowPlacement> Placement; // none: where the desktop puts the window

    bool operator==(const TClientSettings &) const = default;
};

// The preferences dialog's last values.
struct TPreferenceSettings
{
    std::string TextColor = "#000000";
    std::string BackColor = "#ffffff";
    bool ShowHints = true;

    bool operator==(const TPreferenceSettings &) const = default;
};

// Values are named after the component and the property (Ascii1_Checked, DirView_Color,
// TextColor_ColorValue ...); the window's place is in Flags, ShowCmd, MinMaxPos and NormPos,
// the positions as "left,top,right,bottom". A value that is missing or cannot be read gives
// the default.
TClientSettings ReadClientSettings(const QSettings &Store);
void WriteClientSettings(QSettings &Store, const TClientSettings &Settings);
TPreferenceSettings ReadPreferenceSettings(const QSettings &Store);
void WritePreferenceSettings(QSettings &Store, const TPreferenceSettings &Settings);

} // namespace tarn
