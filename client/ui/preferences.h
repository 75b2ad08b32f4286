#pragma once

#include "client/client_view.h"
#include "support/user_dialogs.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tarn {

// "Tarn Client Preferences": the list views' text and background colours, the download
// directory of the running session, and whether hints show. It takes its three stored values
// from the settings store each time it is shown and stores them whenever it closes, with OK
// or by the window frame; only OK hands them to the main window (Choice). Pickers go through
// the given TUserDialogs.
class TPreferences : public QDialog
{
public:
    TPreferences(TUserDialogs &Dialogs, const std::string &DownloadDir, QWidget *Parent = nullptr);

    TPreferencesChoice Choice() const;

    void done(int Result) override;

protected:
    void showEvent(QShowEvent *Event) override;

private:
    void ShowColor(QPushButton *Picker, const std::string &Color);
    void PickColor(QPushButton *Picker, std::string &Color, const char *Title);

    TUserDialogs &FDialogs;
    std::string FTextColor, FBackColor;
    QPushButton *TextColor, *BackColor;
    QLineEdit *DownloadEdit;
    QCheckBox *ShowHints;
};

} // namespace tarn
