#include "net/ui/wait_widget.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>

TWait::TWait(QWidget *Parent) : QWidget(Parent)
{
    resize(192, 32);
    QFont Font("Courrier", 8);
    Font.setFixedPitch(true);
    Font.setStyleHint(QFont::TypeWriter);
    setFont(Font);
}

void TWait::SetVisible(bool Value)
{
    TCustomWait::SetVisible(Value);
    setVisible(Value);
}

int TWait::BarWidth() const
{
    if (StartCount <= 0)
        return 0;
    return static_cast<int>(static_cast<int64_t>(ParseLeadingNumber(Caption)) * (width() - 7) /
                            StartCount);
}

void TWait::paintEvent(QPaintEvent *)
{
    QPainter Painter(this);
    Painter.setPen(Qt::black);
    Painter.setBrush(Qt::white);
    Painter.drawRect(0, 0, width() - 1, height() - 1);
    const QColor Highlight = palette().color(QPalette::Highlight);
    Painter.setPen(Highlight);
    Painter.setBrush(Highlight);
    Painter.drawRect(QRect(QPoint(3, 3), QPoint(BarWidth() + 3, height() - 4)));
    Painter.setPen(Qt::black);
    Painter.drawText(4, height() / 2 - 8 + Painter.fontMetrics().ascent(),
                     QString::fromStdString(Caption));
}

void TWait::Changed()
{
    update();
}

void TWait::Beep()
{
    QApplication::beep();
}
