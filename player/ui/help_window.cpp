#include "player/ui/help_window.h"

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

struct HelpPage
{
    const char *File;
    const char *Title;
};

const HelpPage Pages[] = {
    {"index.html", "Contents"},
    {"using.html", "Using the player"},
    {"command-line.html", "Command line and console"},
    {"scripts.html", "Script language"},
    {"local-commands.html", "Local commands"},
};

QString PlainTextOf(const QString &page)
{
    QFile file(":/help/" + page);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QTextDocument document;
    document.setHtml(QString::fromUtf8(file.readAll()));
    return document.toPlainText();
}

} // namespace

HelpWindow::HelpWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(tr("Tarn Script Player Help"));
    resize(720, 520);
    m_Search = new QLineEdit(this);
    m_Search->setObjectName("HelpSearch");
    m_Search->setPlaceholderText(tr("Search"));
    m_Search->setClearButtonEnabled(true);
    m_Contents = new QListWidget(this);
    m_Contents->setObjectName("HelpContents");
    for (const HelpPage &page : Pages) {
        auto *item = new QListWidgetItem(tr(page.Title), m_Contents);
        item->setData(Qt::UserRole, QString::fromLatin1(page.File));
    }
    m_Browser = new QTextBrowser(this);
    m_Browser->setObjectName("HelpBrowser");
    m_Browser->setSearchPaths({":/help"});

    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_Search);
    leftLayout->addWidget(m_Contents);
    auto *splitter = new QSplitter(this);
    splitter->addWidget(left);
    splitter->addWidget(m_Browser);
    splitter->setStretchFactor(1, 3);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(splitter);

    connect(m_Search, &QLineEdit::textChanged, this, &HelpWindow::Search);
    connect(m_Contents, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { ShowPage(item->data(Qt::UserRole).toString()); });
    connect(m_Contents, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { ShowPage(item->data(Qt::UserRole).toString()); });
}

void HelpWindow::ShowPage(const QString &page)
{
    m_Browser->setSource(QUrl(page));
}

void HelpWindow::Search(const QString &text)
{
    for (int row = 0; row < m_Contents->count(); ++row) {
        QListWidgetItem *item = m_Contents->item(row);
        const bool match =
            text.trimmed().isEmpty() || PlainTextOf(item->data(Qt::UserRole).toString())
                                            .contains(text.trimmed(), Qt::CaseInsensitive);
        item->setHidden(!match);
    }
}

QStringList HelpWindow::ListedPages() const
{
    QStringList pages;
    for (int row = 0; row < m_Contents->count(); ++row) {
        if (!m_Contents->item(row)->isHidden())
            pages << m_Contents->item(row)->data(Qt::UserRole).toString();
    }
    return pages;
}

} // namespace tarn
