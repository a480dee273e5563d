#pragma once

#include <QString>

// Where a job finds the open data file: its folder and its table name ("users.db").
struct DataFileRef
{
    QString directory;
    QString table;
    bool isEmpty() const { return table.isEmpty(); }
};
