#include "client/ui/about_box.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace tarn {

TAboutBox::TAboutBox(QWidget *Parent) : QDialog(Parent)
{
    setWindowTitle("About");
    ProgramIcon = new QLabel(this);
    const int side = style()->pixelMetric(QStyle::PM_LargeIconSize) * 3 / 2;
    ProgramIcon->setPixmap(QApplication::windowIcon().pixmap(side, side));
    ProductName = new QLabel("Tarn Client", this);
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);
    Version = new QLabel("Product Version: " + QApplication::applicationVersion(), this);
    Copyright = new QLabel("Copyright 2026 The Tarn developers", this);
    Comments = new QLabel("An FTP client for IBM i (AS/400) hosts.", this);
    Comments->setWordWrap(true);
    OKButton = new QPushButton("OK", this);
    OKButton->setDefault(true);

    auto *layout = new QGridLayout(this);
    layout->addWidget(ProgramIcon, 0, 0, 4, 1, Qt::AlignTop);
    layout->addWidget(ProductName, 0, 1);
    layout->addWidget(Version, 1, 1);
    layout->addWidget(Copyright, 2, 1);
    layout->addWidget(Comments, 3, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addStretch(1);
    layout->addLayout(buttons, 4, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    const std::pair<QWidget *, const char *> names[] = {
        {ProgramIcon, "ProgramIcon"}, {ProductName, "ProductName"}, {Version, "Version"},
        {Copyright, "Copyright"},     {Comments, "Comments"},       {OKButton, "OKButton"}};
    for (const auto &[control, name] : names) {
        control->setObjectName(name);
        control->setAccessibleName(name);
    }
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace tarn
