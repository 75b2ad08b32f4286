#include "support/ui/color_memo.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <gtest/gtest.h>

namespace tarn {
namespace {

TDrawRules Keywords()
{
    TDrawRules rules;
    TColorRule &rule = rules.Add();
    rule.KeyDrawingType = dtKeyShow;
    rule.SetDefKeyColor(ColorBlue);
    rule.SetKeywords({"SEND", "CDUP", "CONNECT"});
    return rules;
}

class ColorMemo : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Memo.resize(420, 240);
        Memo.setLineWrapMode(QPlainTextEdit::NoWrap);
        Memo.SetColorRules(Keywords());
        Memo.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Memo));
    }

    // Lets the memo colour and paint what changed.
    static void Settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    // One character per character of a line: "." without a colour of the memo's own, else the
    // first letter of the colour's name (Blue, Lime, Yellow background as "y"), "_" underlined.
    std::string Marks(int Line)
    {
        const QTextBlock block = Memo.document()->findBlockByNumber(Line);
        std::string marks(size_t(block.length() - 1), '.');
        for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
            char mark = '?';
            if (range.format.hasProperty(QTextFormat::BackgroundBrush))
                mark = range.format.background().color() == QColor(Qt::yellow) ? 'y' : '?';
            else if (range.format.foreground().color() == QColor(Qt::blue))
                mark = range.format.fontUnderline() ? '_' : 'B';
            else if (range.format.foreground().color() == QColor(Qt::green))
                mark = 'L';
            for (int i = range.start; i < range.start + range.length; ++i)
                marks.at(size_t(i)) = mark;
        }
        return marks;
    }

    // How many pixels the screen shows in a line of the view whose one channel (&QColor::blue,
    // say) clearly outweighs the other two. The window's own image: a line coloured but not
    // repainted still shows its old colours.
    int Pixels(int Line, int (QColor::*Channel)() const)
    {
        QTextCursor cursor(Memo.document()->findBlockByNumber(Line));
        const QRect caret = Memo.cursorRect(cursor);
        const QRect area = QRect(0, caret.top(), Memo.viewport()->width(), caret.height())
                               .translated(Memo.viewport()->mapTo(&Memo, QPoint()));
        const QImage shot = Memo.screen()->grabWindow(Memo.winId()).toImage();
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                const int strong = (c.*Channel)();
                count += 2 * strong > c.red() + c.green() + c.blue() - strong + 160;
            }
        }
        return count;
    }

    // A point inside the character at a position of the text.
    QPoint PointOf(int Position)
    {
        QTextCursor cursor(Memo.document());
        cursor.setPosition(Position);
        return Memo.cursorRect(cursor).center() + QPoint(2, 0);
    }

    void SendMouse(QEvent::Type Type, QPoint At, Qt::MouseButton Button = Qt::NoButton)
    {
        const Qt::MouseButtons buttons = Type == QEvent::MouseButtonPress ? Button : Qt::NoButton;
        QMouseEvent event(Type, At, Memo.viewport()->mapToGlobal(At), Button, buttons,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(Memo.viewport(), &event);
    }

    TColorMemo Memo;
};

TEST_F(ColorMemo, KeywordsAreColouredWhenTextIsSetAndAsItIsTyped)
{
    Memo.setPlainText("send \"a\" \"b\"\nRECONNECT now\nCONNECT2");
    Settle();
    EXPECT_EQ(Marks(0), "BBBB........");
    EXPECT_EQ(Marks(1), ".............");
    EXPECT_EQ(Marks(2), "BBBBBBB.");

    Memo.moveCursor(QTextCursor::End);
    QTest::keyClick(&Memo, Qt::Key_Return);
    QTest::keyClicks(&Memo, "cdu");
    Settle();
    EXPECT_EQ(Marks(3), "...");
    QTest::keyClick(&Memo, Qt::Key_P);
    Settle();
    EXPECT_EQ(Marks(3), "BBBB");
    EXPECT_GT(Pixels(3, &QColor::blue), 10);
    QTest::keyClick(&Memo, Qt::Key_X);
    Settle();
    EXPECT_EQ(Marks(3), ".....");
    EXPECT_EQ(Pixels(3, &QColor::blue), 0);
    QTest::keyClick(&Memo, Qt::Key_Backspace);
    Settle();
    EXPECT_EQ(Marks(3), "BBBB");

    // Deleting inside a line moves the colour with the text.
    QTextCursor cursor = Memo.textCursor();
    cursor.setPosition(Memo.document()->findBlockByNumber(1).position());
    Memo.setTextCursor(cursor);
    QTest::keyClick(&Memo, Qt::Key_Delete);
    QTest::keyClick(&Memo, Qt::Key_Delete);
    Settle();
    EXPECT_EQ(Marks(1), "BBBBBBB....");
    EXPECT_EQ(Marks(0), "BBBB........");
}

TEST_F(ColorMemo, SelectedTextKeepsTheEditorsSelectionLook)
{
    Memo.setPlainText("SEND x SEND");
    QTextCursor cursor = Memo.textCursor();
    cursor.setPosition(2);
    cursor.setPosition(9, QTextCursor::KeepAnchor);
    Memo.setTextCursor(cursor);
    Settle();
    EXPECT_EQ(Marks(0), "BB.......BB");
    cursor.clearSelection();
    Memo.setTextCursor(cursor);
    Settle();
    EXPECT_EQ(Marks(0), "BBBB...BBBB");
}

TEST_F(ColorMemo, LinesBelowTheViewAreColouredWhenScrolledIn)
{
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines.append(
            QString(
                "line %1 of the script, long enough to scroll sideways in a narrow editor window")
                .arg(i));
    lines[150] = "SEND x";
    Memo.setPlainText(lines.join('\n'));
    int vertical = 0;
    int horizontal = 0;
    Memo.OnVScroll = [&](TColorMemo *Sender) {
        EXPECT_EQ(Sender, &Memo);
        // Called before the new lines are coloured.
        EXPECT_EQ(Marks(150), "......");
        ++vertical;
    };
    Memo.OnHScroll = [&](TColorMemo *) { ++horizontal; };
    Settle();
    EXPECT_EQ(Marks(150), "......");

    Memo.verticalScrollBar()->setValue(145);
    Settle();
    EXPECT_EQ(vertical, 1);
    EXPECT_EQ(horizontal, 0);
    EXPECT_EQ(Marks(150), "BBBB..");

    ASSERT_GT(Memo.horizontalScrollBar()->maximum(), 40);
    Memo.horizontalScrollBar()->setValue(40);
    Settle();
    EXPECT_EQ(horizontal, 1);
    EXPECT_EQ(vertical, 1);
}

TEST_F(ColorMemo, RangesBeginningAboveTheViewNeedKeyMaxHeight)
{
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines.append("text");
    lines[100] = "/* from";
    lines[101] = "here";
    lines[102] = "to x";
    TDrawRules rules;
    TColorRule &rule = rules.Add();
    rule.SetKeyBegEndLst({"/*;*/;LIME"});
    Memo.SetColorRules(rules);
    Memo.setPlainText(lines.join('\n'));

    // All of the range on screen: typing its end marker colours (and repaints) every line of it,
    // also those whose text did not change.
    Memo.verticalScrollBar()->setValue(99);
    Settle();
    EXPECT_EQ(Marks(101), "....");
    EXPECT_EQ(Pixels(101, &QColor::green), 0);
    QTextCursor cursor(Memo.document()->findBlockByNumber(102));
    cursor.movePosition(QTextCursor::NextWord);
    cursor.insertText("*/ ");
    Settle();
    EXPECT_GT(Pixels(101, &QColor::green), 10);
    EXPECT_EQ(Marks(100), "LLLLLLL");
    EXPECT_EQ(Marks(101), "LLLL");
    EXPECT_EQ(Marks(102), "LLLLL..");

    // The begin marker scrolled off the top: seen only when the lines read reach it.
    Memo.verticalScrollBar()->setValue(101);
    Settle();
    EXPECT_EQ(Marks(101), "....");
    EXPECT_EQ(Marks(102), ".......");
    rules[0].KeyMaxHeight = 2;
    Memo.SetColorRules(rules);
    Settle();
    EXPECT_EQ(Marks(101), "LLLL");
    EXPECT_EQ(Marks(102), "LLLLL..");
}

TEST_F(ColorMemo, HotSpotsShowAHandAndReportTheirTextWhenClicked)
{
    THotSpot hotSpot{
        .BeginChar = u'[', .EndChar = u']', .MarkerColor = ColorYellow, .Active = true};
    Memo.SetHotSpot(hotSpot);
    Memo.setReadOnly(true);
    Memo.setPlainText("open [readme.txt] or SEND");
    Settle();
    EXPECT_EQ(Marks(0), ".....y__________y....BBBB");

    std::vector<QString> clicked;
    Memo.OnHotSpotClick = [&](TColorMemo *Sender, const QString &SRC) {
        EXPECT_EQ(Sender, &Memo);
        clicked.push_back(SRC);
    };
    const Qt::CursorShape normal = Memo.viewport()->cursor().shape();
    SendMouse(QEvent::MouseMove, PointOf(9));
    EXPECT_EQ(Memo.viewport()->cursor().shape(), Qt::PointingHandCursor);
    SendMouse(QEvent::MouseButtonPress, PointOf(9), Qt::LeftButton);
    SendMouse(QEvent::MouseButtonRelease, PointOf(9), Qt::LeftButton);
    EXPECT_EQ(clicked, std::vector<QString>{"readme.txt"});

    SendMouse(QEvent::MouseMove, PointOf(1));
    EXPECT_EQ(Memo.viewport()->cursor().shape(), normal);
    SendMouse(QEvent::MouseButtonPress, PointOf(1), Qt::LeftButton);
    SendMouse(QEvent::MouseButtonRelease, PointOf(1), Qt::LeftButton);
    EXPECT_EQ(clicked.size(), 1u);
}

} // namespace
} // namespace tarn
