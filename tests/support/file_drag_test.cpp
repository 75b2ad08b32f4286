#include "support/ui/file_drag.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

namespace tarn {

namespace {

// Delivers a drag and a drop of the given URLs to a widget, as the window system would.
// Returns whether the widget accepted the drag.
bool DragAndDrop(QWidget &Widget, const QList<QUrl> &Urls)
{
    QMimeData mime;
    mime.setUrls(Urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&Widget, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&Widget, &drop);
    return enter.isAccepted();
}

std::string LongPath()
{
    std::string path = "/home/user";
    while (path.size() <= 300)
        path += "/a rather long folder name";
    return path + "/file.txt";
}

TEST(FileDrag, DropsGiveLocalPathsInDropOrder)
{
    QWidget window;
    TFileDrag drag(&window);
    EXPECT_TRUE(drag.EnableDrop());
    EXPECT_TRUE(window.acceptDrops());
    int drops = 0;
    drag.OnDrop = [&](TFileDrag *Sender) {
        EXPECT_EQ(Sender, &drag);
        ++drops;
    };

    const std::string longPath = LongPath();
    ASSERT_GT(longPath.size(), 127u);
    EXPECT_TRUE(DragAndDrop(window, {QUrl::fromLocalFile("/tmp/b.txt"),
                                     QUrl::fromLocalFile(QString::fromStdString(longPath)),
                                     QUrl::fromLocalFile("/tmp/a file.txt")}));
    EXPECT_EQ(drops, 1);
    EXPECT_EQ(drag.FileCount, 3);
    EXPECT_EQ(drag.Files, (std::vector<std::string>{"/tmp/b.txt", longPath, "/tmp/a file.txt"}));

    // The next drop replaces the last; URLs that are not local files are left out.
    DragAndDrop(window, {QUrl("https://example.org/x.txt"), QUrl::fromLocalFile("/tmp/c.txt")});
    EXPECT_EQ(drops, 2);
    EXPECT_EQ(drag.FileCount, 1);
    EXPECT_EQ(drag.Files, (std::vector<std::string>{"/tmp/c.txt"}));

    // A drop that carries no file still tells the owner.
    DragAndDrop(window, {QUrl("https://example.org/")});
    EXPECT_EQ(drops, 3);
    EXPECT_EQ(drag.FileCount, 0);
    EXPECT_TRUE(drag.Files.empty());
}

TEST(FileDrag, DisabledDropIsRefused)
{
    QWidget window;
    TFileDrag drag(&window);
    int drops = 0;
    drag.OnDrop = [&](TFileDrag *) { ++drops; };
    drag.SetEnableDrop(false);
    EXPECT_FALSE(window.acceptDrops());
    EXPECT_FALSE(DragAndDrop(window, {QUrl::fromLocalFile("/tmp/a.txt")}));
    EXPECT_EQ(drops, 0);
    EXPECT_EQ(drag.FileCount, 0);

    drag.SetEnableDrop(true);
    EXPECT_TRUE(DragAndDrop(window, {QUrl::fromLocalFile("/tmp/a.txt")}));
    EXPECT_EQ(drops, 1);
}

TEST(FileDrag, UnhooksItsOwnerAndSurvivesAnOwnerGoneFirst)
{
    QWidget window;
    {
        TFileDrag drag(&window);
    }
    EXPECT_FALSE(window.acceptDrops());
    EXPECT_FALSE(DragAndDrop(window, {QUrl::fromLocalFile("/tmp/a.txt")}));

    auto *owner = new QWidget;
    TFileDrag orphan(owner);
    delete owner;
    EXPECT_FALSE(orphan.EnableDrop());
    orphan.SetEnableDrop(true);
    EXPECT_FALSE(orphan.EnableDrop());

    TFileDrag ownerless(nullptr);
    EXPECT_FALSE(ownerless.EnableDrop());
}

} // namespace

} // namespace tarn
