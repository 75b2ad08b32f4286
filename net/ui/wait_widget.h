#pragma once

#include "net/wait.h"

#include <QWidget>

namespace tarn {

// The count-down control on screen: a white frame, a bar in the highlight colour that shrinks
// as the count falls, and the count written over it. All behaviour is TCustomWait's.
class TWait : public QWidget, public TCustomWait
{
    Q_OBJECT

public:
    explicit TWait(QWidget *Parent = nullptr);

    void SetVisible(bool Value) override;

    // The bar's width for the current count: count x (Width - 7) / StartCount.
    int BarWidth() const;

protected:
    void paintEvent(QPaintEvent *Event) override;
    void Changed() override;
    // Swallows, application-wide, the input that could start a second operation during a modal
    // wait: key presses and left or right button presses and double clicks, each with a Beep.
    // Key releases and the middle button pass.
    std::unique_ptr<QObject> CreateInputFilter() override;
    // The beep for a swallowed input event.
    virtual void Beep();
};

} // namespace tarn
