#include "DialogSize.h"

#include <QLayout>
#include <QWidget>

void fitFixedSize(QWidget *dialog, QSize design)
{
    // Children not yet polished still measure in the default font.
    dialog->ensurePolished();
    // Nested layouts keep the size hints of the texts they saw last until the whole tree is
    // invalidated, which activate() does.
    if (QLayout *layout = dialog->layout()) {
        layout->invalidate();
        layout->activate();
    }
    dialog->setFixedSize(design.expandedTo(dialog->sizeHint()));
}
