#include "client/ui/animation.h"

#include <QPainter>
#include <cmath>
#include <numbers>

namespace tarn {

namespace {

constexpr int Dots = 8;

struct TClipLook
{
    TAnimationClip Clip;
    QColor Colour;
    const char *Text;
};

const TClipLook Looks[] = {
    {acSearching, QColor(0x2a, 0x6f, 0xb8), "Searching a folder"},
    {acCopying, QColor(0x2e, 0x8b, 0x57), "Copying files"},
    {acDeleting, QColor(0xb0, 0x3a, 0x2e), "Deleting a file"},
    {acDialing, QColor(0x8a, 0x5a, 0xb8), "Dialing"},
};

const TClipLook *LookOf(TAnimationClip Clip)
{
    for (const TClipLook &look : Looks) {
        if (look.Clip == Clip)
            return &look;
    }
    return nullptr;
}

} // namespace

TAnimation::TAnimation(QWidget *Parent) : QWidget(Parent)
{
    FTimer.setInterval(90);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        FStep = (FStep + 1) % Dots;
        update();
    });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    hide();
}

void TAnimation::Play(TAnimationClip Clip)
{
    FClip = Clip;
    const TClipLook *look = LookOf(Clip);
    if (!look) {
        FTimer.stop();
        hide();
        return;
    }
    setToolTip(look->Text);
    setAccessibleDescription(look->Text);
    FStep = 0;
    FTimer.start();
    show();
    update();
}

QSize TAnimation::sizeHint() const
{
    const int side = fontMetrics().height() * 2;
    return {side, side};
}

void TAnimation::paintEvent(QPaintEvent *)
{
    const TClipLook *look = LookOf(FClip);
    if (!look)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QPointF centre = QRectF(rect()).center();
    const double radius = std::min(width(), height()) * 0.34;
    const double dot = std::min(width(), height()) * 0.09;
    for (int i = 0; i < Dots; ++i) {
        const double angle = 2 * std::numbers::pi * i / Dots;
        // The dot at the current step is darkest; the ones behind it fade.
        const int age = (FStep - i + Dots) % Dots;
        QColor colour = look->Colour;
        colour.setAlphaF(1.0F - float(age) / Dots);
        painter.setBrush(colour);
        painter.drawEllipse(centre + QPointF(radius * std::cos(angle), radius * std::sin(angle)),
                            dot, dot);
    }
}

} // namespace tarn
