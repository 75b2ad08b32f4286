#include "client/client_settings.h"

#include <QSettings>
#include <QStringList>

namespace tarn {

namespace {

bool ReadFlag(const QSettings &Store, const char *Name, bool Default)
{
    const QString text = Store.value(Name).toString().trimmed().toLower();
    if (text == "true" || text == "1")
        return true;
    if (text == "false" || text == "0")
        return false;
    return Default;
}

std::string ReadText(const QSettings &Store, const char *Name, const std::string &Default = {})
{
    const QVariant value = Store.value(Name);
    return value.isValid() ? value.toString().toStdString() : Default;
}

// "left,top,right,bottom": four whole numbers, a frame of some size.
std::optional<TWindowPlacement> ReadPlacement(const QSettings &Store)
{
    const QStringList parts = Store.value("NormPos").toString().split(',');
    if (parts.size() != 4)
        return std::nullopt;
    int numbers[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    TWindowPlacement placement;
    placement.Left = numbers[0];
    placement.Top = numbers[1];
    placement.Right = numbers[2];
    placement.Bottom = numbers[3];
    if (placement.Right <= placement.Left || placement.Bottom <= placement.Top)
        return std::nullopt;
    placement.ShowCmd = Store.value("ShowCmd").toString().trimmed() == "3" ? 3 : 1;
    return placement;
}

} // namespace

TClientSettings ReadClientSettings(const QSettings &Store)
{
    TClientSettings settings;
    settings.Ascii1Checked = ReadFlag(Store, "Ascii1_Checked", false);
    settings.Binary1Checked = ReadFlag(Store, "Binary1_Checked", false);
    settings.DirViewColor = ReadText(Store, "DirView_Color");
    settings.DirViewFont = ReadText(Store, "DirView_Font");
    settings.FileViewColor = ReadText(Store, "FileView_Color");
    settings.FileViewFont = ReadText(Store, "FileView_Font");
    settings.ToolBar1ShowHint = ReadFlag(Store, "ToolBar1_ShowHint", true);
    settings.Placement = ReadPlacement(Store);
    return settings;
}

void WriteClientSettings(QSettings &Store, const TClientSettings &Settings)
{
    const auto flag = [](bool Value) { return Value ? "True" : "False"; };
    Store.setValue("Ascii1_Checked", flag(Settings.Ascii1Checked));
    Store.setValue("Binary1_Checked", flag(Settings.Binary1Checked));
    Store.setValue("DirView_Color", QString::fromStdString(Settings.DirViewColor));
    Store.setValue("DirView_Font", QString::fromStdString(Settings.DirViewFont));
    Store.setValue("FileView_Color", QString::fromStdString(Settings.FileViewColor));
    Store.setValue("FileView_Font", QString::fromStdString(Settings.FileViewFont));
    Store.setValue("ToolBar1_ShowHint", flag(Settings.ToolBar1ShowHint));
    if (const auto &placement = Settings.Placement) {
        Store.setValue("Flags", "0");
        Store.setValue("ShowCmd", QString::number(placement->ShowCmd));
        Store.setValue("MinMaxPos", "-1,-1,-1,-1");
        Store.setValue("NormPos", QString("%1,%2,%3,%4")
                                      .arg(placement->Left)
                                      .arg(placement->Top)
                                      .arg(placement->Right)
                                      .arg(placement->Bottom));
    }
    Store.sync();
}

TPreferenceSettings ReadPreferenceSettings(const QSettings &Store)
{
    const TPreferenceSettings defaults;
    TPreferenceSettings settings;
    settings.TextColor = ReadText(Store, "TextColor_ColorValue", defaults.TextColor);
    settings.BackColor = ReadText(Store, "BackColor_ColorValue", defaults.BackColor);
    settings.ShowHints = ReadFlag(Store, "ShowHints_Checked", defaults.ShowHints);
    return settings;
}

void WritePreferenceSettings(QSettings &Store, const TPreferenceSettings &Settings)
{
    Store.setValue("TextColor_ColorValue", QString::fromStdString(Settings.TextColor));
    Store.setValue("BackColor_ColorValue", QString::fromStdString(Settings.BackColor));
    Store.setValue("ShowHints_Checked", Settings.ShowHints ? "True" : "False");
    Store.sync();
}

} // namespace tarn
