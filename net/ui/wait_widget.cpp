#include "net/ui/wait_widget.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <functional>
#include <memory>
#include <utility>

namespace tarn {

namespace {

class TInputFilter : public QObject
{
public:
    explicit TInputFilter(std::function<void()> Swallowed) : FSwallowed(std::move(Swallowed)) {}

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        switch (Event->type()) {
        case QEvent::KeyPress:
        case QEvent::Shortcut:
            FSwallowed();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonDblClick: {
            const auto button = static_cast<QMouseEvent *>(Event)->button();
            if (button == Qt::LeftButton || button == Qt::RightButton) {
                FSwallowed();
                return true;
            }
            break;
        }
        default:
            break;
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    std::function<void()> FSwallowed;
};

} // namespace

TWait::TWait(QWidget *Parent) : QWidget(Parent)
{
    resize(192, 32);
    QFont font("Courrier", 8);
    font.setFixedPitch(true);
    font.setStyleHint(QFont::TypeWriter);
    setFont(font);
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
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, width() - 1, height() - 1);
    const QColor highlight = palette().color(QPalette::Highlight);
    painter.setPen(highlight);
    painter.setBrush(highlight);
    painter.drawRect(QRect(QPoint(3, 3), QPoint(BarWidth() + 3, height() - 4)));
    painter.setPen(Qt::black);
    painter.drawText(4, height() / 2 - 8 + painter.fontMetrics().ascent(),
                     QString::fromStdString(Caption));
}

void TWait::Changed()
{
    update();
}

std::unique_ptr<QObject> TWait::CreateInputFilter()
{
    return std::make_unique<TInputFilter>([this] { Beep(); });
}

void TWait::Beep()
{
    QApplication::beep();
}

} // namespace tarn
