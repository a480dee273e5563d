#pragma once

#include <QApplication>

// A cursor of the whole application for the length of a handler: the hourglass unless told.
class CursorOverride
{
public:
    explicit CursorOverride(Qt::CursorShape shape = Qt::WaitCursor) { QApplication::setOverrideCursor(shape); }
    ~CursorOverride() { QApplication::restoreOverrideCursor(); }
    CursorOverride(const CursorOverride &) = delete;
    CursorOverride &operator=(const CursorOverride &) = delete;
};
