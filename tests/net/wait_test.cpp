// The count-down control: counting, time-out, stop, the modal wait's input filter and painting.

#include "net/ui/wait_widget.h"
#include "net/wait.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

namespace tarn {

namespace {

// Counts the beeps instead of sounding them.
class TCountingWait : public TWait
{
public:
    int Beeps = 0;

protected:
    void Beep() override { ++Beeps; }
};

// Counts the input events that reach it.
class TInputTarget : public QObject
{
public:
    int Keys = 0, KeyReleases = 0, Left = 0, Right = 0, Middle = 0, DoubleClicks = 0;

protected:
    bool event(QEvent *E) override
    {
        switch (E->type()) {
        case QEvent::KeyPress:
            ++Keys;
            return true;
        case QEvent::KeyRelease:
            ++KeyReleases;
            return true;
        case QEvent::MouseButtonDblClick:
            ++DoubleClicks;
            return true;
        case QEvent::MouseButtonPress: {
            const auto b = static_cast<QMouseEvent *>(E)->button();
            (b == Qt::LeftButton ? Left : b == Qt::RightButton ? Right : Middle)++;
            return true;
        }
        default:
            return QObject::event(E);
        }
    }
};

void SendInput(QObject *Target)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QKeyEvent altPress(QEvent::KeyPress, Qt::Key_F, Qt::AltModifier, "f");
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a");
    QCoreApplication::sendEvent(Target, &press);
    QCoreApplication::sendEvent(Target, &altPress);
    QCoreApplication::sendEvent(Target, &release);
    for (const auto button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        QMouseEvent click(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), button, button,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(Target, &click);
    }
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(1, 1), QPointF(1, 1),
                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Target, &doubleClick);
}

} // namespace

TEST(Wait, ParseLeadingNumber)
{
    EXPECT_EQ(ParseLeadingNumber("60"), 60);
    EXPECT_EQ(ParseLeadingNumber(" 7x"), 7);
    EXPECT_EQ(ParseLeadingNumber("abc"), 0);
    EXPECT_EQ(ParseLeadingNumber("\t5"), 0); // only spaces are skipped
    EXPECT_EQ(ParseLeadingNumber("-5"), 0);
    EXPECT_EQ(ParseLeadingNumber(""), 0);
    EXPECT_EQ(ParseLeadingNumber("99999999999999999999"), INT32_MAX);
}

TEST(Wait, StartTakesItsCountFromTheCaption)
{
    for (const char *caption : {"abc", "0", ""}) {
        TCustomWait w;
        w.Caption = caption;
        w.Start();
        EXPECT_EQ(w.StartCount, 15) << caption;
        EXPECT_EQ(w.Caption, "15");
        EXPECT_TRUE(w.Running());
        w.Stop();
    }
    TCustomWait w;
    w.Caption = " 7x";
    w.Start();
    EXPECT_EQ(w.StartCount, 7);
    w.Stop();
    EXPECT_EQ(w.Caption, "7");
}

TEST(Wait, StopWhileIdleStillReports)
{
    TCustomWait w;
    int stops = 0;
    w.OnWaitStop = [&](TCustomWait *) { ++stops; };
    w.Stop();
    EXPECT_EQ(w.ModalResult, TCustomWait::mrStopped);
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(w.Running());
    EXPECT_EQ(w.Caption, "60");
}

TEST(Wait, CountsDownToTimeoutAndShowsTheStartCountAgain)
{
    TCountingWait w;
    w.SetInterval(10);
    w.Caption = "5";
    std::vector<int32_t> counts;
    int timeouts = 0, starts = 0, passes = 0;
    w.OnWait = [&](TCustomWait *, int32_t N) { counts.push_back(N); };
    w.OnTimeout = [&](TCustomWait *) { ++timeouts; };
    w.OnWaitStart = [&](TCustomWait *) { ++starts; };
    w.OnWaiting = [&](TCustomWait *) { ++passes; };
    w.WaitModal();
    EXPECT_EQ(counts, (std::vector<int32_t>{4, 3, 2, 1, 0}));
    EXPECT_EQ(w.ModalResult, TCustomWait::mrTimedOut);
    EXPECT_EQ(timeouts, 1);
    EXPECT_EQ(starts, 1);
    EXPECT_GE(passes, 5);
    EXPECT_EQ(w.Caption, "5");
    EXPECT_FALSE(w.Running());
}

TEST(Wait, ModalWaitSwallowsPressesButNotReleasesOrMiddleClicks)
{
    TCountingWait wait;
    wait.SetInterval(1000);
    wait.Caption = "10";
    TInputTarget target;
    QTimer::singleShot(20, [&] {
        SendInput(&target);
        wait.Stop();
    });
    wait.WaitModal();
    EXPECT_EQ(wait.ModalResult, TCustomWait::mrStopped);
    EXPECT_EQ(target.Keys, 0);
    EXPECT_EQ(target.Left, 0);
    EXPECT_EQ(target.Right, 0);
    EXPECT_EQ(target.DoubleClicks, 0);
    EXPECT_EQ(target.KeyReleases, 1);
    EXPECT_EQ(target.Middle, 1);
    EXPECT_EQ(wait.Beeps, 5);

    // After the wait the filter is gone.
    SendInput(&target);
    EXPECT_EQ(target.Keys, 2);
    EXPECT_EQ(target.Left, 1);
    EXPECT_EQ(wait.Beeps, 5);
}

TEST(Wait, WidgetPaintsTheShrinkingBar)
{
    TWait w;
    EXPECT_EQ(w.size(), QSize(192, 32));
    w.Caption = "30";
    w.StartCount = 60;
    EXPECT_EQ(w.BarWidth(), 30 * (192 - 7) / 60);
    const QColor highlight = w.palette().color(QPalette::Highlight);
    QImage image(w.size(), QImage::Format_ARGB32);
    w.render(&image);
    EXPECT_EQ(image.pixelColor(10, 16), highlight);
    EXPECT_EQ(image.pixelColor(w.BarWidth() + 10, 28), QColor(Qt::white));
    w.Caption = "0";
    EXPECT_EQ(w.BarWidth(), 0);
    w.SetVisible(false);
    EXPECT_FALSE(w.Visible());
    EXPECT_FALSE(w.isVisible());
}

} // namespace tarn
