#include "support/ui/widget_dialogs.h"

#include "support/ui/local_text.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace tarn {

namespace {

std::optional<std::string> RunFileDialog(QWidget *Parent, const TUserDialogs::TFileRequest &Request,
                                         bool Save)
{
    QFileDialog dialog(Parent, FromLocal(Request.Title));
    dialog.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(TWidgetDialogs::QtNameFilters(Request.Filter));
    dialog.setDefaultSuffix(FromLocal(Request.DefaultExt));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!Request.InitialName.empty())
        dialog.selectFile(FromLocal(Request.InitialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return ToLocal(dialog.selectedFiles().constFirst());
}

} // namespace

QString TWidgetDialogs::QtNameFilters(const std::string &Filter)
{
    const QStringList parts = FromLocal(Filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        patterns.replace("*.*", "*");
        // A description that shows its patterns already ("Text Files (*.txt)") keeps them once.
        const QString shown = " (" + patterns + ")";
        filters << (parts[i].endsWith(shown) ? parts[i] : parts[i] + shown);
    }
    return filters.join(";;");
}

void TWidgetDialogs::Information(const std::string &Text)
{
    QMessageBox::information(Parent, QApplication::applicationName(), FromLocal(Text));
}

void TWidgetDialogs::Error(const std::string &Text)
{
    QMessageBox::critical(Parent, QApplication::applicationName(), FromLocal(Text));
}

bool TWidgetDialogs::Confirm(const std::string &Text)
{
    return QMessageBox::question(Parent, QApplication::applicationName(), FromLocal(Text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

TCertificateAnswer TWidgetDialogs::CertificateQuestion(const std::string &Text)
{
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), FromLocal(Text),
                    QMessageBox::NoButton, Parent);
    box.setObjectName("CertificateQuestion");
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton *once = box.addButton("Trust once", QMessageBox::AcceptRole);
    QPushButton *always = box.addButton("Always trust", QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == once)
        return caTrustOnce;
    if (box.clickedButton() == always)
        return caAlwaysTrust;
    return caCancel;
}

std::optional<std::string> TWidgetDialogs::InputQuery(const std::string &Caption,
                                                      const std::string &Prompt,
                                                      const std::string &Value)
{
    QInputDialog dialog(Parent);
    dialog.setObjectName("InputQuery");
    dialog.setWindowTitle(FromLocal(Caption));
    dialog.setLabelText(FromLocal(Prompt));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(FromLocal(Value));
    // The edit takes at most 255 characters and starts with its text selected.
    if (auto *edit = dialog.findChild<QLineEdit *>()) {
        edit->setMaxLength(255);
        edit->setAccessibleName(FromLocal(Prompt));
        edit->selectAll();
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return ToLocal(dialog.textValue());
}

std::optional<std::string> TWidgetDialogs::OpenFileName(const TFileRequest &Request)
{
    return RunFileDialog(Parent, Request, false);
}

std::optional<std::string> TWidgetDialogs::SaveFileName(const TFileRequest &Request)
{
    return RunFileDialog(Parent, Request, true);
}

std::optional<std::string> TWidgetDialogs::DirectoryName(const std::string &Title,
                                                         const std::string &Start)
{
    // Qt's own directory dialog has a "Create New Folder" button.
    const QString chosen =
        QFileDialog::getExistingDirectory(Parent, FromLocal(Title), FromLocal(Start));
    if (chosen.isEmpty())
        return std::nullopt;
    return ToLocal(chosen);
}

std::optional<std::string> TWidgetDialogs::ColorName(const std::string &Title,
                                                     const std::string &Start)
{
    const QColor chosen =
        QColorDialog::getColor(QColor(QString::fromStdString(Start)), Parent, FromLocal(Title));
    if (!chosen.isValid())
        return std::nullopt;
    return chosen.name().toStdString();
}

} // namespace tarn
