#pragma once

#include "client/client_view.h"

#include <QTimer>
#include <QWidget>

namespace tarn {

// The window's moving indicator (Animate1): a ring of dots that turns while work runs, in a
// colour of its own for each kind of work, and hidden while it stops.
class TAnimation : public QWidget
{
public:
    explicit TAnimation(QWidget *Parent = nullptr);

    // Starts the indicator for a clip, or stops and hides it for acNone.
    void Play(TAnimationClip Clip);
    TAnimationClip Clip() const { return FClip; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *Event) override;

private:
    QTimer FTimer;
    TAnimationClip FClip = acNone;
    int FStep = 0;
};

} // namespace tarn
