#pragma once

// A program's help: HTML pages built into the program as Qt resources under ":/help/", shown
// with a list of contents, a search over the pages' text and links between pages. Each program
// brings its own pages (qt_add_resources with PREFIX /help) and names them here.
//
//     THelpWindow *help = new THelpWindow("Tarn Client Help", {{"index.html", "Contents"}});
//     help->ShowPage("index.html");
//     help->show();

#include <QWidget>
#include <vector>

class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace tarn {

// One page: its file name under ":/help/" and its title in the list of contents.
struct THelpPage
{
    const char *File;
    const char *Title;
};

class THelpWindow : public QWidget
{
    Q_OBJECT
public:
    THelpWindow(const QString &Title, const std::vector<THelpPage> &Pages,
                QWidget *Parent = nullptr);

    // Shows one page by its file name, such as "index.html".
    void ShowPage(const QString &Page);
    // Lists only the pages whose text holds `Text` (without regard to case); all for empty text.
    void Search(const QString &Text);
    // Empties the search box and puts the cursor in it, every page listed.
    void StartSearch();
    // The file names of the pages listed now.
    QStringList ListedPages() const;

private:
    QLineEdit *FSearch;
    QListWidget *FContents;
    QTextBrowser *FBrowser;
};

} // namespace tarn
