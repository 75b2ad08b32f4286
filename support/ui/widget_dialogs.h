#pragma once

#include "support/user_dialogs.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace tarn {

// TUserDialogs with Qt's message boxes and file dialogs, modal over `Parent` (none: over the
// active window). Message boxes carry the application's name as their title.
class TWidgetDialogs : public TUserDialogs
{
public:
    explicit TWidgetDialogs(QWidget *parent = nullptr) : Parent(parent) {}

    QPointer<QWidget> Parent;

    void Information(const std::string &text) override;
    void Error(const std::string &text) override;
    bool Confirm(const std::string &text) override;
    std::optional<std::string> OpenFileName(const FileRequest &request) override;
    std::optional<std::string> SaveFileName(const FileRequest &request) override;
    std::optional<std::string> DirectoryName(const std::string &title,
                                             const std::string &start) override;

    // "Tarn Connection Profile|*.tnc|All files|*.*" as Qt name filters:
    // "Tarn Connection Profile (*.tnc);;All files (*)".
    static QString QtNameFilters(const std::string &filter);
};

} // namespace tarn
