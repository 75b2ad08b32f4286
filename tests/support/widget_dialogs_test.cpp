#include "support/ui/widget_dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
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

    // The certificate question: a button per answer; Escape cancels.
    const auto clicking = [](const QString &Caption) {
        return [Caption](QMessageBox *Box) {
            for (QAbstractButton *button : Box->buttons())
                if (button->text() == Caption)
                    button->click();
        };
    };
    WhenBoxOpens(clicking("Trust once"));
    EXPECT_EQ(dialogs.CertificateQuestion("Subject: CN=as400"), caTrustOnce);
    WhenBoxOpens(clicking("Always trust"));
    EXPECT_EQ(dialogs.CertificateQuestion("Subject: CN=as400"), caAlwaysTrust);
    WhenBoxOpens([](QMessageBox *Box) { QTest::keyClick(Box, Qt::Key_Escape); });
    EXPECT_EQ(dialogs.CertificateQuestion("Subject: CN=as400"), caCancel);
}

// The input box: caption, prompt, the value selected for overtyping, at most 255 characters;
// OK gives the text, Cancel nothing.
TEST(WidgetDialogs, InputQueryGivesTheTypedTextOnOk)
{
    TWidgetDialogs dialogs;
    QString caption, prompt, selected;
    int maxLength = 0;
    QTimer::singleShot(50, [&] {
        auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        prompt = box->labelText();
        auto *edit = box->findChild<QLineEdit *>();
        selected = edit->selectedText();
        maxLength = edit->maxLength();
        QTest::keyClicks(edit, QString(300, 'x'));
        box->accept();
    });
    EXPECT_EQ(dialogs.InputQuery("Change Library", "Enter Library", "/QSYS.LIB"),
              std::string(255, 'x'));
    EXPECT_EQ(caption, "Change Library");
    EXPECT_EQ(prompt, "Enter Library");
    EXPECT_EQ(selected, "/QSYS.LIB");
    EXPECT_EQ(maxLength, 255);

    QTimer::singleShot(50, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_EQ(dialogs.InputQuery("Create Directory", "New Directory:", ""), std::nullopt);
}

TEST(WidgetDialogs, FiltersBecomeQtNameFilters)
{
    EXPECT_EQ(TWidgetDialogs::QtNameFilters("Tarn Connection Profile|*.tnc"),
              "Tarn Connection Profile (*.tnc)");
    EXPECT_EQ(TWidgetDialogs::QtNameFilters("Scripts|*.tns;*.txt|All files|*.*"),
              "Scripts (*.tns *.txt);;All files (*)");
    EXPECT_EQ(TWidgetDialogs::QtNameFilters("Text Files (*.txt)|*.txt|Log Files (*.log)|*.log"),
              "Text Files (*.txt);;Log Files (*.log)");
    EXPECT_EQ(TWidgetDialogs::QtNameFilters(""), "");
}

} // namespace

} // namespace tarn
