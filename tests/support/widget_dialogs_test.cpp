#include "support/ui/widget_dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace tarn {

namespace {

// Runs `Answer` on the message box that the next modal call opens.
void WhenBoxOpens(std::function<void(QMessageBox *)> Answer)
{
    QTimer::singleShot(50, [Answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        Answer(box);
    });
}

TEST(WidgetDialogs, MessageBoxesShowTheTextAndReturnTheAnswer)
{
    TWidgetDialogs dialogs;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenBoxOpens([&](QMessageBox *Box) {
        text = Box->text();
        icon = Box->icon();
        Box->accept();
    });
    dialogs.Error("Login information is incomplete!");
    EXPECT_EQ(text, "Login information is incomplete!");
    EXPECT_EQ(icon, QMessageBox::Critical);

    WhenBoxOpens([](QMessageBox *Box) { Box->button(QMessageBox::Yes)->click(); });
    EXPECT_TRUE(dialogs.Confirm("Delete?"));
    WhenBoxOpens([](QMessageBox *Box) { Box->button(QMessageBox::No)->click(); });
    EXPECT_FALSE(dialogs.Confirm("Delete?"));
}

TEST(WidgetDialogs, FiltersBecomeQtNameFilters)
{
    EXPECT_EQ(TWidgetDialogs::QtNameFilters("Tarn Connection Profile|*.tnc"),
              "Tarn Connection Profile (*.tnc)");
    EXPECT_EQ(TWidgetDialogs::QtNameFilters("Scripts|*.tns;*.txt|All files|*.*"),
              "Scripts (*.tns *.txt);;All files (*)");
    EXPECT_EQ(TWidgetDialogs::QtNameFilters(""), "");
}

} // namespace

} // namespace tarn
