#pragma once

#include <QString>

// Implemented by the main window: the grid's model comes and goes with the data file, so the
// window keeps the titles and applies them to whatever model it shows.
class ColumnTitles
{
public:
    virtual ~ColumnTitles() = default;
    virtual void setTituloColumna(int column, const QString &title) = 0;
};
