#pragma once

// The player's help: HTML pages built into the program as Qt resources under ":/help/", shown
// with a list of contents, a search over the pages' text and links between pages.

#include <QWidget>

class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace tarn {

class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);

    // Shows one page by its file name, such as "index.html".
    void ShowPage(const QString &page);
    // Lists only the pages whose text holds `text` (without regard to case); all for empty text.
    void Search(const QString &text);
    // The file names of the pages listed now.
    QStringList ListedPages() const;

private:
    QLineEdit *m_Search;
    QListWidget *m_Contents;
    QTextBrowser *m_Browser;
};

} // namespace tarn
