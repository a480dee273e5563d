#pragma once

#include "Clock.h"
#include "DebugLog.h"

#include <QDialog>
#include <QString>

class Contexto;
class QPlainTextEdit;
class QPushButton;

// The debug log: time-stamped lines and reply marks of the whole run, kept in memory whether or not
// the window is ever shown, and saved to a file next to the executable.
class TfrmDebug : public QDialog, public DebugLog
{
    Q_OBJECT
public:
    explicit TfrmDebug(Contexto &ctx, QWidget *parent = nullptr);

    void printDebug(const QString &message) override;
    void appendMark(const QString &mark) override;

    // The whole log as saved, lines separated by "\r\n".
    QString texto() const { return m_texto; }

    void btnClearClick();
    // Writes the log to "Debug<d><m><yyyy>_<h><m><s>.log" in carpetaLog() and returns the path;
    // raises IoError with the system's message when the file cannot be written.
    QString btnSaveClick();
    void btnCloseClick();

    // The folder of the executable when it can be written, else the user's state folder
    // (SpecialFolder::debugLogFolder); a folder set here is used as it is (tests).
    QString carpetaLog() const;
    void setCarpetaLog(const QString &folder) { m_carpetaLog = folder; }
    // Stands for the executable's folder (tests of an installed program's read-only folder).
    void setCarpetaPrograma(const QString &folder) { m_carpetaPrograma = folder; }
    // Null gives the system clock.
    void setClock(const Clock *clock) { m_clock = clock; }

    // "Debug" + day month year + "_" + hour minute second + ".log", no leading zeros.
    static QString nombreFichero(const QDateTime &when);
    // The stamp between the brackets: short date and long time, the time left out at midnight.
    static QString sello(const QDateTime &when);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void programaRefresco();
    void refrescaVista();
    QDateTime ahora() const;

    Contexto &m_ctx;
    QPlainTextEdit *m_memDebug = nullptr;
    QPushButton *m_btnClear = nullptr;
    QPushButton *m_btnSave = nullptr;
    QPushButton *m_btnClose = nullptr;
    Clock m_relojSistema;
    const Clock *m_clock = nullptr;
    QString m_carpetaLog;
    QString m_carpetaPrograma;
    QString m_texto;
    // How much of m_texto the view already shows; a transfer appends thousands of marks, so the view
    // takes only the new tail, once per pass of the event loop and only while it is visible.
    qsizetype m_mostrado = 0;
    bool m_refrescoPendiente = false;
};
