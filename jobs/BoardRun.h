#pragma once

#include "BoardCodes.h"
#include "DataFileRef.h"
#include "JobObserver.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QStringList>

#include <optional>

class BoardSession;
class TextLookup;

// How one board of a run ended.
enum class BoardOutcome
{
    Done,         // the job ran whole on this board
    Different,    // compare: the board and the file differ
    GuardRefused, // send of changes: the board was changed behind the file; nothing written
    NoImage,      // send of changes: the file remembers nothing of this board; nothing written
    CodeRefused,  // the code was refused (or the board skipped when asked for its own)
    NotAnswering, // the board did not answer, or stopped answering during its job
    Stopped,      // Stop ended the run while this board was in hand
    FailedUsers,  // the job ended, some users not written (or not read)
    NotDone,      // the run ended before this board's turn
    Failed,       // a file error, a refused row or a lost port; the detail says which
};

struct BoardRunEntry
{
    int board = -1;
    BoardOutcome outcome = BoardOutcome::NotDone;
    // Users written (send), slots written and emptied (send of changes), users saved (image).
    int written = 0;
    // What was to be written, for the same count.
    int total = 0;
    QStringList failedUsers;
    // Compare: entries of the report (only on the board, only in the file, different).
    int differences = 0;
    // The image file, the slots changed behind the file, or the error's text.
    QString detail;
    qint64 milliseconds = 0;
    // The port was lost during this board's turn (its outcome is Failed).
    bool portLost = false;
    // Sends: the users left out because their end date has passed.
    QStringList leftOut = {};
};

struct BoardRunReport
{
    QList<BoardRunEntry> boards;
    bool stopped = false;
    // A compare run: nothing is written, each board's count is of differences.
    bool compared = false;
    // The report as a comma-separated file, one row per board after a title row.
    QByteArray toCsv() const;
    // Saves toCsv() in one step, owner-only when new; raises IoError.
    void saveCsv(const QString &path) const;
    // A stable key for each outcome, as the CSV and tzr's JSON give it.
    static QString outcomeKey(BoardOutcome outcome);
    // The outcome in words, in the chosen language.
    static QString outcomeText(const TextLookup &texts, BoardOutcome outcome);
};

// A front end's side of a run: every job's observer, and the moments between boards.
class BoardRunObserver : public JobObserver
{
public:
    // index counts from 1 to count.
    virtual void boardStarted(int /*board*/, int /*index*/, int /*count*/) {}
    virtual void boardFinished(const BoardRunEntry & /*entry*/) {}
    // The board refused the code: another to try, or nullopt to skip the board.
    virtual std::optional<QString> askCode(int /*board*/, bool /*master*/) { return std::nullopt; }
};

// One job over several boards of the bus, one after the other (the bus is half-duplex). A board
// that fails never stops the others; Stop ends the board in hand at its next exchange and leaves
// the later ones not done. A board silent for the silence limit is given up as not answering.
class BoardRun
{
public:
    enum class Kind
    {
        Send,
        SendChanges,
        Compare,
        SaveImage, // needs the master code; one image file per board into the folder
    };

    BoardRun(BoardSession &session, Kind kind) : m_session(session), m_kind(kind) {}

    void setFile(const DataFileRef &file) { m_file = file; }
    void setByName(bool byName) { m_byName = byName; }
    // Full sends read back every slot's access code (a send of changes always does).
    void setVerify(bool verify) { m_verify = verify; }
    void setImageFolder(const QString &folder, QDate date)
    {
        m_folder = folder;
        m_date = date;
    }
    void setCodes(const BoardCodes &codes) { m_codes = codes; }
    // Boards of the list already known not to answer (their probes went unanswered): each gets
    // its row as not answering, without being asked again.
    void setNotAnswering(const QList<int> &boards) { m_notAnswering = boards; }

    BoardRunReport run(const QList<int> &boards, BoardRunObserver *observer);
    // Ends the board in hand at its next exchange; the boards after it are not started.
    void requestStop();

    // "board-07-2026-12-08.tzrimg"
    static QString imageFileName(int board, QDate date);

private:
    class SilenceGuard;
    BoardRunEntry runBoard(int board, BoardRunObserver &observer);
    void runJob(BoardRunEntry &entry);

    BoardSession &m_session;
    Kind m_kind;
    DataFileRef m_file;
    bool m_byName = false;
    bool m_verify = false;
    QString m_folder;
    QDate m_date;
    BoardCodes m_codes;
    QList<int> m_notAnswering;
    bool m_stopRequested = false;
    bool m_boardSilent = false;
    bool m_portLost = false;
    // The last code the user typed that a board took, this run.
    std::optional<QString> m_typedCode;
};
