#pragma once

// The player's help: HTML pages built into the program as Qt resources under ":/help/", shown
// with a list of contents, a search over the pages' text and links between pages.

#include <QWidget>

class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace tarn {

class THelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit THelpWindow(QWidget *Parent = nullptr);

    // Shows one page by its file name, such as "index.html".
    void ShowPage(const QString &Page);
    // Lists only the pages whose text holds `Text` (without regard to case); all for empty text.
    void Search(const QString &Text);
    // The file names of the pages listed now.
    QStringList ListedPages() const;

private:
    QLineEdit *FSearch;
    QListWidget *FContents;
    QTextBrowser *FBrowser;
};

} // namespace tarn
