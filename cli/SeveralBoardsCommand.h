#pragma once

#include "BoardCommand.h"
#include "BoardRun.h"

#include <QDate>

// send, compare and backup over the boards of --board LIST or all: a line per board, then the
// run's report.
class SeveralBoardsCommand : public BoardCommand
{
public:
    using BoardCommand::BoardCommand;

protected:
    int execute() override;

    BoardCodes boardCodes(QChar letra);
    // The scan's boards and those the data file remembers; silent: the remembered ones that did
    // not answer.
    QList<int> boardsToRun(const QList<int> &remembered, QList<int> &silent);
    // Runs kind over boards (the data file named already): a line per board, the users left out,
    // the report on standard output unless reportOnOutput is false; the report is kept in
    // m_report. The exit status the boards' outcomes give.
    int runBoards(BoardRun::Kind kind, const QList<int> &boards, const QList<int> &silent, const BoardCodes &codes,
                  const QString &folder = QString(), const QDate &date = QDate(), bool reportOnOutput = true);

    BoardRunReport m_report;
    // False for an unattended run: a board that refuses the code is not asked for its own.
    bool m_mayAsk = true;
};
