#include "app/DialogSizer.h"

#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>

bool CDialogSizer::eventFilter(QObject* pWatched, QEvent* event)
{
    if (event->type() == QEvent::Show) {
        if (auto* pDialog = qobject_cast<QFileDialog*>(pWatched)) {
            pDialog->resize(pDialog->size().expandedTo(QSize(kMinWidth, kMinHeight)));
            if (auto* pTree = pDialog->findChild<QTreeView*>(QStringLiteral("treeView"))) {
                QHeaderView* pHeader = pTree->header();
                pHeader->setStretchLastSection(false);
                pHeader->setSectionResizeMode(0, QHeaderView::Stretch);
                for (int i = 1; i < pHeader->count(); ++i)
                    pHeader->setSectionResizeMode(i, QHeaderView::ResizeToContents);
            }
        }
    }
    return QObject::eventFilter(pWatched, event);
}
