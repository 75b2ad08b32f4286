#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace tarn {

// Makes a window accept files dragged from the desktop and dropped on it.
//
//     FileDrag1 = std::make_unique<TFileDrag>(this);     // a member of the owner window
//     FileDrag1->OnDrop = [this](TFileDrag *drag) { SendFiles(drag->Files); };
//
// After each drop `Files` holds the local path names of the dropped files (file URLs of the
// drop, in drop order, any length, other URLs left out) and `FileCount` their number; then
// `OnDrop` is called once, also for a drop that carried no local file. The next drop replaces
// both. With `EnableDrop` false the window refuses drags and OnDrop is not called.
//
// The component watches its owner through an event filter and lets every other event pass.
// The owner keeps it (a std::unique_ptr member), so that it is destroyed, and unhooks the
// window, before the window itself goes; an owner that is gone first is noticed and left alone.
// Path names are in the local 8-bit file name encoding.
class TFileDrag : public QObject
{
public:
    explicit TFileDrag(QWidget *Owner);
    ~TFileDrag() override;

    std::vector<std::string> Files;
    int FileCount = 0;
    std::function<void(TFileDrag *Sender)> OnDrop;

    bool EnableDrop() const { return FEnableDrop && FOwner; }
    void SetEnableDrop(bool Enable);

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    QPointer<QWidget> FOwner;
    bool FEnableDrop = false;
};

} // namespace tarn
