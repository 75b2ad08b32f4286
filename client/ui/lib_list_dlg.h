#pragma once

#include "support/user_dialogs.h"

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tarn {

// "Library List Maintenance": edits the library list file of a profile, the IBM i libraries to
// show under /QSYS.LIB.
//
//     TLibListDlg dlg(dialogs, this);
//     dlg.LibListFile = "/home/me/as400.tnl";
//     dlg.exec();                      // OK writes the file (or deletes it when emptied)
//
// At show the list is loaded from the file (empty when there is none). Entries are typed in
// upper case and must hold ".LIB"; Enter in the edit adds, like the Add button. The list is
// sorted and may hold an entry twice. Closing by the window frame leaves the file as it was.
class TLibListDlg : public QDialog
{
public:
    explicit TLibListDlg(TUserDialogs &Dialogs, QWidget *Parent = nullptr);

    std::string LibListFile;

    QLabel *LibName; // the file's path
    QLineEdit *LibEdit;
    QPushButton *AddButton;
    QPushButton *DelButton;
    QListWidget *LibList;
    QPushButton *OKBtn;

    void FormShow();
    void AddButtonClick();
    void DelButtonClick();
    void OKBtnClick();

protected:
    void showEvent(QShowEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    TUserDialogs &FDialogs;
};

} // namespace tarn
