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
class CountingWait : public TWait
{
public:
    int Beeps = 0;

protected:
    void Beep() override { ++Beeps; }
};

// Counts the input events that reach it.
class InputTarget : public QObject
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
            const auto B = static_cast<QMouseEvent *>(E)->button();
            (B == Qt::LeftButton ? Left : B == Qt::RightButton ? Right : Middle)++;
            return true;
        }
        default:
            return QObject::event(E);
        }
    }
};

void SendInput(QObject *Target)
{
    QKeyEvent Press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QKeyEvent AltPress(QEvent::KeyPress, Qt::Key_F, Qt::AltModifier, "f");
    QKeyEvent Release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a");
    QCoreApplication::sendEvent(Target, &Press);
    QCoreApplication::sendEvent(Target, &AltPress);
    QCoreApplication::sendEvent(Target, &Release);
    for (const auto Button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        QMouseEvent Click(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Button, Button,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(Target, &Click);
    }
    QMouseEvent Double(QEvent::MouseButtonDblClick, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Target, &Double);
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
    for (const char *Caption : {"abc", "0", ""}) {
        TCustomWait W;
        W.Caption = Caption;
        W.Start();
        EXPECT_EQ(W.StartCount, 15) << Caption;
        EXPECT_EQ(W.Caption, "15");
        EXPECT_TRUE(W.Running());
        W.Stop();
    }
    TCustomWait W;
    W.Caption = " 7x";
    W.Start();
    EXPECT_EQ(W.StartCount, 7);
    W.Stop();
    EXPECT_EQ(W.Caption, "7");
}

TEST(Wait, StopWhileIdleStillReports)
{
    TCustomWait W;
    int Stops = 0;
    W.OnWaitStop = [&](TCustomWait *) { ++Stops; };
    W.Stop();
    EXPECT_EQ(W.ModalResult, TCustomWait::mrStopped);
    EXPECT_EQ(Stops, 1);
    EXPECT_FALSE(W.Running());
    EXPECT_EQ(W.Caption, "60");
}

TEST(Wait, CountsDownToTimeoutAndShowsTheStartCountAgain)
{
    CountingWait W;
    W.SetInterval(10);
    W.Caption = "5";
    std::vector<int32_t> Counts;
    int Timeouts = 0, Starts = 0, Passes = 0;
    W.OnWait = [&](TCustomWait *, int32_t N) { Counts.push_back(N); };
    W.OnTimeout = [&](TCustomWait *) { ++Timeouts; };
    W.OnWaitStart = [&](TCustomWait *) { ++Starts; };
    W.OnWaiting = [&](TCustomWait *) { ++Passes; };
    W.WaitModal();
    EXPECT_EQ(Counts, (std::vector<int32_t>{4, 3, 2, 1, 0}));
    EXPECT_EQ(W.ModalResult, TCustomWait::mrTimedOut);
    EXPECT_EQ(Timeouts, 1);
    EXPECT_EQ(Starts, 1);
    EXPECT_GE(Passes, 5);
    EXPECT_EQ(W.Caption, "5");
    EXPECT_FALSE(W.Running());
}

TEST(Wait, ModalWaitSwallowsPressesButNotReleasesOrMiddleClicks)
{
    CountingWait W;
    W.SetInterval(1000);
    W.Caption = "10";
    InputTarget Target;
    QTimer::singleShot(20, [&] {
        SendInput(&Target);
        W.Stop();
    });
    W.WaitModal();
    EXPECT_EQ(W.ModalResult, TCustomWait::mrStopped);
    EXPECT_EQ(Target.Keys, 0);
    EXPECT_EQ(Target.Left, 0);
    EXPECT_EQ(Target.Right, 0);
    EXPECT_EQ(Target.DoubleClicks, 0);
    EXPECT_EQ(Target.KeyReleases, 1);
    EXPECT_EQ(Target.Middle, 1);
    EXPECT_EQ(W.Beeps, 5);

    // After the wait the filter is gone.
    SendInput(&Target);
    EXPECT_EQ(Target.Keys, 2);
    EXPECT_EQ(Target.Left, 1);
    EXPECT_EQ(W.Beeps, 5);
}

TEST(Wait, WidgetPaintsTheShrinkingBar)
{
    TWait W;
    EXPECT_EQ(W.size(), QSize(192, 32));
    W.Caption = "30";
    W.StartCount = 60;
    EXPECT_EQ(W.BarWidth(), 30 * (192 - 7) / 60);
    const QColor Highlight = W.palette().color(QPalette::Highlight);
    QImage Image(W.size(), QImage::Format_ARGB32);
    W.render(&Image);
    EXPECT_EQ(Image.pixelColor(10, 16), Highlight);
    EXPECT_EQ(Image.pixelColor(W.BarWidth() + 10, 28), QColor(Qt::white));
    W.Caption = "0";
    EXPECT_EQ(W.BarWidth(), 0);
    W.SetVisible(false);
    EXPECT_FALSE(W.Visible());
    EXPECT_FALSE(W.isVisible());
}

} // namespace tarn
