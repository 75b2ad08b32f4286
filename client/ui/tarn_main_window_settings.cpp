// The main window's script page and its stored values.

#include "client/ui/tarn_main_window.h"
#include "support/settings_store.h"
#include "support/ui/color_memo.h"
#include "support/ui/local_text.h"

#include <QAction>
#include <QListView>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QWindow>

namespace tarn {

namespace {

// The tool buttons keep their hint in this property while hints are off.
const char *const HintProperty = "TarnHint";

QString ColorText(const QWidget *View, QPalette::ColorRole Role)
{
    return View->palette().color(Role).name();
}

QString FontText(const QWidget *View)
{
    return View->font().toString();
}

} // namespace

void TTarnMainWindow::ConnectScriptPage()
{
    TTarnMain &logic = *FLogic;
    const std::pair<QToolButton *, QAction *> buttons[] = {
        {OpenButton, OpenScript1},         {SaveButton, SaveScript1},
        {ClearButton, ClearScriptWindow1}, {RecordButton, RecordScript1},
        {StopButton, StopRecording1},      {PlayButton, nullptr}};
    const std::array<void (TTarnMain::*)(), 6> handlers = {
        &TTarnMain::OpenButtonClick,   &TTarnMain::SaveButtonClick, &TTarnMain::ClearButtonClick,
        &TTarnMain::RecordButtonClick, &TTarnMain::StopButtonClick, &TTarnMain::PlayButtonClick};
    for (std::size_t i = 0; i < handlers.size(); ++i) {
        const auto handler = handlers[i];
        const auto run = [&logic, handler] { (logic.*handler)(); };
        connect(buttons[i].first, &QToolButton::clicked, this, run);
        if (buttons[i].second)
            connect(buttons[i].second, &QAction::triggered, this, run);
    }
    // Every change of the text; an empty document is the only one without a line.
    connect(Script, &QPlainTextEdit::textChanged, this,
            [this, &logic] { logic.ScriptChange(!Script->document()->isEmpty()); });
    connect(Preferences1, &QAction::triggered, this, [&logic] { logic.Preferences1Click(); });
}

std::string TTarnMainWindow::ScriptText() const
{
    return ToLocal(Script->toPlainText());
}

void TTarnMainWindow::ScriptReplaced(const std::vector<std::string> &Lines)
{
    std::string text;
    for (const std::string &line : Lines) {
        if (&line != &Lines.front())
            text += '\n';
        text += line;
    }
    Script->setPlainText(FromLocal(text));
}

void TTarnMainWindow::HintsShown(bool Shown)
{
    for (QToolButton *button : findChildren<QToolButton *>()) {
        if (!button->property(HintProperty).isValid())
            button->setProperty(HintProperty, button->toolTip());
        button->setToolTip(Shown ? button->property(HintProperty).toString() : QString());
    }
}

void TTarnMainWindow::ViewColorsChanged(const std::string &BackColor, const std::string &TextColor)
{
    for (QWidget *view :
         {static_cast<QWidget *>(DirView.Report), static_cast<QWidget *>(DirView.Icons),
          static_cast<QWidget *>(FileView.Report), static_cast<QWidget *>(FileView.Icons)}) {
        QPalette palette = view->palette();
        palette.setColor(QPalette::Base, QColor(QString::fromStdString(BackColor)));
        palette.setColor(QPalette::Text, QColor(QString::fromStdString(TextColor)));
        view->setPalette(palette);
    }
}

void TTarnMainWindow::showEvent(QShowEvent *Event)
{
    QMainWindow::showEvent(Event);
    if (!Event->spontaneous() && !FSettingsRestored) {
        FSettingsRestored = true;
        RestoreSettings();
    }
}

void TTarnMainWindow::RestoreSettings()
{
    const TClientSettings settings = ReadClientSettings(*OpenSettingsStore());
    const auto apply = [](TListPanel &Panel, const std::string &Color, const std::string &Font) {
        for (QWidget *view :
             {static_cast<QWidget *>(Panel.Report), static_cast<QWidget *>(Panel.Icons)}) {
            if (const QColor color(QString::fromStdString(Color)); color.isValid()) {
                QPalette palette = view->palette();
                palette.setColor(QPalette::Base, color);
                view->setPalette(palette);
            }
            // The font's description, "|", and its colour, which is the text colour.
            const QString font = QString::fromStdString(Font);
            QFont face;
            if (!font.isEmpty() && face.fromString(font.section('|', 0, 0)))
                view->setFont(face);
            if (const QColor color(font.section('|', 1)); color.isValid()) {
                QPalette palette = view->palette();
                palette.setColor(QPalette::Text, color);
                view->setPalette(palette);
            }
        }
    };
    apply(DirView, settings.DirViewColor, settings.DirViewFont);
    apply(FileView, settings.FileViewColor, settings.FileViewFont);
    if (const auto &placement = settings.Placement) {
        setGeometry(placement->Left, placement->Top, placement->Right - placement->Left,
                    placement->Bottom - placement->Top);
        if (placement->ShowCmd == 3)
            showMaximized();
    }
    FLogic->RestoreSettings(settings);
}

void TTarnMainWindow::SaveSettings()
{
    TClientSettings settings;
    FLogic->StoreSettings(settings);
    // The font is stored with its colour after it, as one text.
    const auto fontWithColor = [](const QWidget *View) {
        return (FontText(View) + "|" + ColorText(View, QPalette::Text)).toStdString();
    };
    settings.DirViewColor = ColorText(DirView.Report, QPalette::Base).toStdString();
    settings.DirViewFont = fontWithColor(DirView.Report);
    settings.FileViewColor = ColorText(FileView.Report, QPalette::Base).toStdString();
    settings.FileViewFont = fontWithColor(FileView.Report);
    const QRect frame = normalGeometry();
    settings.Placement =
        TWindowPlacement{isMaximized() ? 3 : 1, frame.left(), frame.top(),
                         frame.left() + frame.width(), frame.top() + frame.height()};
    WriteClientSettings(*OpenSettingsStore(), settings);
}

} // namespace tarn
