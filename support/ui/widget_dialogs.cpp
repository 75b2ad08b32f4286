#include "support/ui/widget_dialogs.h"

#include "support/ui/local_text.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace tarn {

namespace {

std::optional<std::string> RunFileDialog(QWidget *parent, const TUserDialogs::FileRequest &request,
                                         bool save)
{
    QFileDialog dialog(parent, FromLocal(request.Title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(TWidgetDialogs::QtNameFilters(request.Filter));
    dialog.setDefaultSuffix(FromLocal(request.DefaultExt));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!request.InitialName.empty())
        dialog.selectFile(FromLocal(request.InitialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return ToLocal(dialog.selectedFiles().constFirst());
}

} // namespace

QString TWidgetDialogs::QtNameFilters(const std::string &filter)
{
    const QStringList parts = FromLocal(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        patterns.replace("*.*", "*");
        filters << parts[i] + " (" + patterns + ")";
    }
    return filters.join(";;");
}

void TWidgetDialogs::Information(const std::string &text)
{
    QMessageBox::information(Parent, QApplication::applicationName(), FromLocal(text));
}

void TWidgetDialogs::Error(const std::string &text)
{
    QMessageBox::critical(Parent, QApplication::applicationName(), FromLocal(text));
}

bool TWidgetDialogs::Confirm(const std::string &text)
{
    return QMessageBox::question(Parent, QApplication::applicationName(), FromLocal(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::string> TWidgetDialogs::OpenFileName(const FileRequest &request)
{
    return RunFileDialog(Parent, request, false);
}

std::optional<std::string> TWidgetDialogs::SaveFileName(const FileRequest &request)
{
    return RunFileDialog(Parent, request, true);
}

std::optional<std::string> TWidgetDialogs::DirectoryName(const std::string &title,
                                                         const std::string &start)
{
    // Qt's own directory dialog has a "Create New Folder" button.
    const QString chosen =
        QFileDialog::getExistingDirectory(Parent, FromLocal(title), FromLocal(start));
    if (chosen.isEmpty())
        return std::nullopt;
    return ToLocal(chosen);
}

} // namespace tarn
