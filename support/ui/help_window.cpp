#include "support/ui/help_window.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

namespace tarn {

namespace {

QString PlainTextOf(const QString &Page)
{
    QFile file(":/help/" + Page);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QTextDocument document;
    document.setHtml(QString::fromUtf8(file.readAll()));
    return document.toPlainText();
}

} // namespace

THelpWindow::THelpWindow(const QString &Title, const std::vector<THelpPage> &Pages, QWidget *Parent)
    : QWidget(Parent, Qt::Window)
{
    setWindowTitle(Title);
    resize(720, 520);
    FSearch = new QLineEdit(this);
    FSearch->setObjectName("HelpSearch");
    FSearch->setPlaceholderText(tr("Search"));
    FSearch->setClearButtonEnabled(true);
    FContents = new QListWidget(this);
    FContents->setObjectName("HelpContents");
    for (const THelpPage &page : Pages) {
        auto *item = new QListWidgetItem(tr(page.Title), FContents);
        item->setData(Qt::UserRole, QString::fromLatin1(page.File));
    }
    FBrowser = new QTextBrowser(this);
    FBrowser->setObjectName("HelpBrowser");
    FBrowser->setSearchPaths({":/help"});

    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(FSearch);
    leftLayout->addWidget(FContents);
    auto *splitter = new QSplitter(this);
    splitter->addWidget(left);
    splitter->addWidget(FBrowser);
    splitter->setStretchFactor(1, 3);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(splitter);

    connect(FSearch, &QLineEdit::textChanged, this, &THelpWindow::Search);
    connect(FContents, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *Item) { ShowPage(Item->data(Qt::UserRole).toString()); });
    connect(FContents, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *Item) { ShowPage(Item->data(Qt::UserRole).toString()); });
}

void THelpWindow::ShowPage(const QString &Page)
{
    FBrowser->setSource(QUrl(Page));
}

void THelpWindow::Search(const QString &Text)
{
    for (int row = 0; row < FContents->count(); ++row) {
        QListWidgetItem *item = FContents->item(row);
        const bool match =
            Text.trimmed().isEmpty() || PlainTextOf(item->data(Qt::UserRole).toString())
                                            .contains(Text.trimmed(), Qt::CaseInsensitive);
        item->setHidden(!match);
    }
}

void THelpWindow::StartSearch()
{
    FSearch->clear();
    FSearch->setFocus();
}

QStringList THelpWindow::ListedPages() const
{
    QStringList pages;
    for (int row = 0; row < FContents->count(); ++row) {
        if (!FContents->item(row)->isHidden())
            pages << FContents->item(row)->data(Qt::UserRole).toString();
    }
    return pages;
}

} // namespace tarn
