#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QCommandLineParser;

constexpr int PLACAS_BUS = 32;

// What the command line asked for, once parsed.
struct Options
{
    QString command;
    QString port;
    int board = 1;
    // --board with a list or "all": the command runs over several boards.
    bool severalBoards = false;
    bool allBoards = false;
    QList<int> boards;
    bool json = false;
    bool quiet = false;
    QString log;
    QString codeFile;
    QStringList arguments;
    QCommandLineParser *parser = nullptr;
};
