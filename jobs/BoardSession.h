#pragma once

#include "ContraPlaca.h"
#include "SerialPort.h"

#include <QObject>
#include <QString>

#include <memory>

class Comunicacion_TZR;
class DebugLog;
class JobObserver;
class TextLookup;

// Why a port would not open, in the two lines both front ends show.
struct OpenFailureText
{
    QString line1;
    QString line2;
    // False for a failure without a known cause: the driver's own text is all there is.
    bool known() const { return !line1.isEmpty(); }
};

// The outcome of a code check.
enum class CodeCheck
{
    Accepted,
    Refused,
    NoAnswer, // the marker could not be read
};

// What every job needs before it runs, in one place: the port (its echo setting, why it would
// not open), the link, the reservation, the code checks and the reader type. The port and the
// link belong to the caller; the session only uses them.
class BoardSession : public QObject
{
    Q_OBJECT
public:
    // iniPath is TZR_USR.ini, where the per-port echo setting is kept.
    BoardSession(SerialPort &port, Comunicacion_TZR &link, const TextLookup &texts, const QString &iniPath);

    SerialPort &port() const { return m_port; }
    Comunicacion_TZR &link() const { return m_link; }
    const TextLookup &texts() const { return m_texts; }
    QString portName() const { return m_port.portName(); }

    void setObserver(JobObserver *observer) { m_observer = observer; }
    JobObserver *observer() const { return m_observer; }

    // The observer of the jobs run while it lives; the previous one comes back after.
    class Observing
    {
    public:
        Observing(BoardSession &session, JobObserver &observer)
            : m_session(session), m_previous(session.observer())
        {
            m_session.setObserver(&observer);
        }
        ~Observing() { m_session.setObserver(m_previous); }
        Observing(const Observing &) = delete;
        Observing &operator=(const Observing &) = delete;

    private:
        BoardSession &m_session;
        JobObserver *m_previous;
    };

    // Opens the port (when it is not open already) with its echo setting.
    bool openPort(const QString &name);
    // Applies the stored echo setting of the port now open.
    void applyEchoSetting();
    // Turns echo handling on or off for this port, and remembers it; raises IoError.
    void setEchoes(bool on);
    OpenFailureText openFailureText() const;
    // The line shown for a port that went away.
    OpenFailureText goneText(const QString &device) const;
    void purge();

    // The job in hand ends at its next exchange, as a Stop does.
    void requestStop();

    // What a front end asks of the line between jobs, so that it reaches neither the port nor
    // the link itself.
    bool busy() const;
    bool isOpen() const;
    bool lineEchoes() const;
    // Opens the port by name without its echo setting (the caller applies it); false with
    // portError() set.
    bool openOnly(const QString &name);
    void closePort();
    QString portError() const;
    // The device a failed open named, when it named one.
    QString failedDevice() const;
    // The last open failed because there is no such device (or it went away).
    bool portGone() const;
    void log(const QString &line) const;
    bool logging() const;
    void setDebugLog(DebugLog *log);
    void setBoard(int board);
    // The window's board field as typed; text that is no number fails the next exchange.
    void setBoardText(const QString &text);
    // Back to the link's state of a fresh start.
    void resetLink();
    // Reads the board's code of the letter, for the code dialog's marker check.
    CodigoLeido readCode(QChar letra);

    // The link held for one operation: no other may start an exchange while it lives.
    class Hold
    {
    public:
        explicit Hold(BoardSession &session);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        struct Reservation;
        std::unique_ptr<Reservation> m_reservation;
    };

    // The marker check once the code has been read from the board and typed. Holds the link.
    CodeCheck checkCode(QChar letra, const CodigoLeido &leido, const QString &typed, const QString &shown);
    // Reads the code of the letter, then checks it against typed (no dialog in between).
    CodeCheck checkCode(QChar letra, const QString &typed);
    // The board's reader type, which the record encoding depends on.
    void readReaderType();

signals:
    // The line turned out to echo: handling is on and the setting saved. The front end tells the
    // user once the job that met it has finished.
    void echoDetected(const QString &port);
    // The line turned out not to echo although handling was on: handling is off and the setting
    // saved. Told as the opposite case is.
    void echoGone(const QString &port);
    // What the port noticed of a real line, for the debug log.
    void portNotice(const QString &text);
    // A job's entry could not be added to the data file's history (the error's text).
    void notRecorded(const QString &error);

private:
    void onEcho();
    void onNoEcho();

    SerialPort &m_port;
    Comunicacion_TZR &m_link;
    const TextLookup &m_texts;
    QString m_iniPath;
    JobObserver *m_observer = nullptr;
};
