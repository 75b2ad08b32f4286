#include "client/ui/preferences.h"

#include "client/client_settings.h"
#include "support/settings_store.h"
#include "support/ui/local_text.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarn {

TPreferences::TPreferences(TUserDialogs &Dialogs, const std::string &DownloadDir, QWidget *Parent)
    : QDialog(Parent), FDialogs(Dialogs)
{
    setWindowTitle("Tarn Client Preferences");
    setObjectName("Preferences");

    auto *colors = new QGroupBox("Directory/File View Colors", this);
    TextColor = new QPushButton(colors);
    BackColor = new QPushButton(colors);
    auto *colorForm = new QFormLayout(colors);
    colorForm->addRow("Text Color:", TextColor);
    colorForm->addRow("Background:", BackColor);

    auto *downloadLabel = new QLabel("Download Directory for current session:", this);
    DownloadEdit = new QLineEdit(FromLocal(DownloadDir), this);
    downloadLabel->setBuddy(DownloadEdit);
    auto *browse = new QToolButton(this);
    browse->setText("...");
    browse->setObjectName("DownloadBrowse");
    auto *download = new QHBoxLayout;
    download->addWidget(DownloadEdit, 1);
    download->addWidget(browse);

    ShowHints = new QCheckBox("Show Hints", this);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(colors);
    layout->addWidget(downloadLabel);
    layout->addLayout(download);
    layout->addWidget(ShowHints);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    const std::pair<QWidget *, const char *> names[] = {{TextColor, "TextColor"},
                                                        {BackColor, "BackColor"},
                                                        {DownloadEdit, "DownloadEdit"},
                                                        {ShowHints, "ShowHints"}};
    for (const auto &[widget, name] : names) {
        widget->setObjectName(name);
        widget->setAccessibleName(name);
    }

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(TextColor, &QPushButton::clicked, this,
            [this] { PickColor(TextColor, FTextColor, "Text Color"); });
    connect(BackColor, &QPushButton::clicked, this,
            [this] { PickColor(BackColor, FBackColor, "Background"); });
    connect(browse, &QToolButton::clicked, this, [this] {
        const std::optional<std::string> chosen = FDialogs.DirectoryName(
            "Download Directory for current session", ToLocal(DownloadEdit->text()));
        if (chosen)
            DownloadEdit->setText(FromLocal(*chosen));
    });
}

TPreferencesChoice TPreferences::Choice() const
{
    return {FTextColor, FBackColor, ToLocal(DownloadEdit->text()), ShowHints->isChecked()};
}

void TPreferences::showEvent(QShowEvent *Event)
{
    if (!Event->spontaneous()) {
        const TPreferenceSettings stored = ReadPreferenceSettings(*OpenSettingsStore());
        FTextColor = stored.TextColor;
        FBackColor = stored.BackColor;
        ShowColor(TextColor, FTextColor);
        ShowColor(BackColor, FBackColor);
        ShowHints->setChecked(stored.ShowHints);
        if (QScreen *display = screen())
            move(display->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(Event);
}

void TPreferences::done(int Result)
{
    // Stored however the dialog closes: the next time it opens with these values.
    WritePreferenceSettings(*OpenSettingsStore(), {FTextColor, FBackColor, ShowHints->isChecked()});
    QDialog::done(Result);
}

void TPreferences::ShowColor(QPushButton *Picker, const std::string &Color)
{
    Picker->setText(QString::fromStdString(Color));
    Picker->setStyleSheet(QString("background-color: %1").arg(QString::fromStdString(Color)));
}

void TPreferences::PickColor(QPushButton *Picker, std::string &Color, const char *Title)
{
    if (const std::optional<std::string> chosen = FDialogs.ColorName(Title, Color)) {
        Color = *chosen;
        ShowColor(Picker, Color);
    }
}

} // namespace tarn
