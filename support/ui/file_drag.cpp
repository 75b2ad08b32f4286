#include "support/ui/file_drag.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

namespace tarn {

TFileDrag::TFileDrag(QWidget *Owner) : FOwner(Owner)
{
    if (FOwner)
        FOwner->installEventFilter(this);
    SetEnableDrop(FOwner != nullptr);
}

TFileDrag::~TFileDrag()
{
    if (!FOwner)
        return;
    FOwner->removeEventFilter(this);
    FOwner->setAcceptDrops(false);
}

void TFileDrag::SetEnableDrop(bool Enable)
{
    FEnableDrop = Enable && FOwner;
    if (FOwner)
        FOwner->setAcceptDrops(FEnableDrop);
}

bool TFileDrag::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched != FOwner)
        return false;
    switch (Event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(Event);
        if (!FEnableDrop || !drag->mimeData()->hasUrls()) {
            drag->ignore();
            return true;
        }
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(Event);
        if (!FEnableDrop || !drop->mimeData()->hasUrls()) {
            drop->ignore();
            return true;
        }
        Files.clear();
        for (const QUrl &url : drop->mimeData()->urls()) {
            if (url.isLocalFile())
                Files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        }
        FileCount = int(Files.size());
        drop->acceptProposedAction();
        if (OnDrop)
            OnDrop(this);
        return true;
    }
    default:
        return false;
    }
}

} // namespace tarn
