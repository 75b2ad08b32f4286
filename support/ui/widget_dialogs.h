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
    explicit TWidgetDialogs(QWidget *Parent = nullptr) : Parent(Parent) {}

    QPointer<QWidget> Parent;

    void Information(const std::string &Text) override;
    void Error(const std::string &Text) override;
    bool Confirm(const std::string &Text) override;
    TCertificateAnswer CertificateQuestion(const std::string &Text) override;
    std::optional<std::string> InputQuery(const std::string &Caption, const std::string &Prompt,
                                          const std::string &Value) override;
    std::optional<std::string> OpenFileName(const TFileRequest &Request) override;
    std::optional<std::string> SaveFileName(const TFileRequest &Request) override;
    std::optional<std::string> DirectoryName(const std::string &Title,
                                             const std::string &Start) override;
    std::optional<std::string> ColorName(const std::string &Title,
                                         const std::string &Start) override;

    // "Tarn Connection Profile|*.tnc|All files|*.*" as Qt name filters:
    // "Tarn Connection Profile (*.tnc);;All files (*)".
    static QString QtNameFilters(const std::string &Filter);
};

} // namespace tarn
