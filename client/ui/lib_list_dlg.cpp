#include "client/ui/lib_list_dlg.h"

#include "client/library_list.h"
#include "support/ui/local_text.h"
#include "support/ui/upper_case_validator.h"

#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tarn {

TLibListDlg::TLibListDlg(TUserDialogs &Dialogs, QWidget *Parent)
    : QDialog(Parent), FDialogs(Dialogs)
{
    setWindowTitle("Library List Maintenance");
    LibName = new QLabel(this);
    LibName->setWordWrap(true);
    LibName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *explanation = new QLabel("Enter Libraries to list under library QSYS.LIB.", this);
    auto *caption = new QLabel("Library:", this);
    LibEdit = new QLineEdit(this);
    LibEdit->setValidator(new TUpperCaseValidator(LibEdit));
    caption->setBuddy(LibEdit);
    AddButton = new QPushButton("Add", this);
    DelButton = new QPushButton("Del", this);
    LibList = new QListWidget(this);
    LibList->setSortingEnabled(true);
    LibList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Two columns of names, filled top to bottom.
    LibList->setFlow(QListView::TopToBottom);
    LibList->setWrapping(true);
    LibList->setResizeMode(QListView::Adjust);
    LibList->setUniformItemSizes(true);
    OKBtn = new QPushButton("OK", this);
    // Enter belongs to the edit (it adds); only a click or Space presses OK.
    for (QPushButton *button : {AddButton, DelButton, OKBtn})
        button->setAutoDefault(false);

    auto *entry = new QGridLayout;
    entry->addWidget(caption, 0, 0);
    entry->addWidget(LibEdit, 0, 1);
    entry->addWidget(AddButton, 0, 2);
    entry->addWidget(DelButton, 1, 2, Qt::AlignTop);
    entry->addWidget(LibList, 1, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LibName);
    layout->addWidget(explanation);
    layout->addLayout(entry);
    layout->addLayout(buttons);

    const std::pair<QWidget *, const char *> names[] = {
        {LibName, "LibName"},     {LibEdit, "LibEdit"}, {AddButton, "AddButton"},
        {DelButton, "DelButton"}, {LibList, "LibList"}, {OKBtn, "OKBtn"}};
    for (const auto &[control, name] : names) {
        control->setObjectName(name);
        control->setAccessibleName(name);
    }
    const int width = fontMetrics().averageCharWidth();
    setFixedSize(width * 50, fontMetrics().height() * 20);

    LibEdit->installEventFilter(this);
    connect(AddButton, &QPushButton::clicked, this, [this] { AddButtonClick(); });
    connect(DelButton, &QPushButton::clicked, this, [this] { DelButtonClick(); });
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
}

void TLibListDlg::FormShow()
{
    LibList->clear();
    if (const auto entries = ReadLibraryList(LibListFile)) {
        for (const std::string &entry : *entries)
            LibList->addItem(FromLocal(entry));
    }
    LibName->setText(FromLocal(LibListFile));
}

void TLibListDlg::AddButtonClick()
{
    LibEdit->selectAll();
    const QString text = LibEdit->text();
    if (!text.isEmpty()) {
        if (text.contains(".LIB")) {
            LibList->addItem(text);
            LibEdit->clear();
        } else {
            FDialogs.Error("Libraries should be entered as libname.LIB .");
        }
    }
    LibEdit->setFocus();
}

void TLibListDlg::DelButtonClick()
{
    for (int row = LibList->count(); row-- > 0;) {
        if (LibList->item(row)->isSelected())
            delete LibList->takeItem(row);
    }
    LibEdit->setFocus();
}

void TLibListDlg::OKBtnClick()
{
    const QString file = FromLocal(LibListFile);
    if (LibList->count() == 0) {
        QFile::remove(file);
    } else {
        std::vector<std::string> entries;
        for (int row = 0; row < LibList->count(); ++row)
            entries.push_back(ToLocal(LibList->item(row)->text()));
        if (!WriteLibraryList(LibListFile, entries)) {
            FDialogs.Error("Unable to write to " + LibListFile);
            return;
        }
    }
    accept();
}

void TLibListDlg::showEvent(QShowEvent *Event)
{
    if (!Event->spontaneous()) {
        if (QScreen *display = screen())
            move(display->availableGeometry().center() - rect().center());
        FormShow();
    }
    QDialog::showEvent(Event);
}

bool TLibListDlg::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched == LibEdit && Event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(Event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            AddButtonClick();
            return true;
        }
    }
    return QDialog::eventFilter(Watched, Event);
}

} // namespace tarn
