#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tarn {

// The about box: the program's icon, name, version, legal notice and a line on what it is,
// with an OK button. The version is the application's (set from the build).
class TAboutBox : public QDialog
{
public:
    explicit TAboutBox(QWidget *Parent = nullptr);

    QLabel *ProgramIcon;
    QLabel *ProductName;
    QLabel *Version;
    QLabel *Copyright;
    QLabel *Comments;
    QPushButton *OKButton;
};

} // namespace tarn
