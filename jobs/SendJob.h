#pragma once

#include "DataFileRef.h"
#include "JobEnd.h"
#include "Transferencias.h"
#include "UserArea.h"

#include <optional>

class BoardSession;

// The file's rows encoded for the board before it is touched.
struct SendPlan : JobStatus
{
    QList<RegistroEnvio> records;
    // Rows in the file; beyond the board's capacity they stay behind.
    qsizetype rows = 0;
    FilaRechazada refused;
    // The users whose end date has passed: their slots stay empty.
    QStringList leftOut;
};

struct SendResult : JobStatus
{
    ResultadoEnvio sent;
    // The users to write, those left out as expired not counted.
    int total = 0;
    QString notRemembered;
    // With verify: the slots whose bytes 20 to 25, read back after one more try, are not what
    // was sent, and the names of their users.
    QList<int> codesDiffer;
    QStringList namesDiffer;
    bool complete() const { return done() && sent.completo() && codesDiffer.isEmpty(); }
    // Which users got through: the names not written, trimmed.
    QStringList failedNames() const;
};

// Send: erase the board's users and write the file's, in the walk order. The board's image is
// forgotten before the first write and remembered again only when every write was answered.
class SendJob
{
public:
    SendJob(BoardSession &session, const DataFileRef &file) : m_session(session), m_file(file) {}

    // Reads and encodes the rows (by name when byName); RowRefused names the first bad row.
    SendPlan prepare(bool byName);
    SendResult run(const QList<RegistroEnvio> &records);
    // After the writes, read back bytes 20 to 25 of every slot (byte 20 of the empty ones).
    void setVerify(bool on) { m_verify = on; }
    // The day end dates are held against; the PC's date unless set.
    void setToday(const QDate &today) { m_today = today; }

private:
    SendResult write(const QList<RegistroEnvio> &records);

    BoardSession &m_session;
    DataFileRef m_file;
    bool m_verify = false;
    QDate m_today;
    int m_board = -1;
    std::optional<UserArea> m_before;
};
