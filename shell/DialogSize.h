#pragma once

#include <QSize>

class QWidget;

// Fixes a dialog at its design size, or wider and taller where its texts in the current language
// and font need more room, so no caption is cut off.
void fitFixedSize(QWidget *dialog, QSize design);
