#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>

// The built tzr-panel-sim as a child process: started with its options, ready once it has printed
// its link line ("pty link [tcp-port]"), stopped when this goes away.
class StandIn
{
public:
    StandIn() = default;
    ~StandIn();
    StandIn(const StandIn &) = delete;
    StandIn &operator=(const StandIn &) = delete;

    static constexpr std::chrono::milliseconds StartTimeout{10000};

    // TZR_PANEL_SIM, else the one in TZR_BUILD_DIR, else the one built beside this program.
    static QString program();

    // Starts it with these options (--print-link is added) and waits for its link line; a running
    // stand-in is stopped first. dataHome, when given, is its XDG_DATA_HOME. Empty on success,
    // else what went wrong.
    [[nodiscard]] QString start(const QStringList &options, const QString &dataHome = QString(),
                                std::chrono::milliseconds timeout = StartTimeout);
    // Terminates it and, when it does not end, kills it.
    void stop();
    // Ends it at once, as a line that is cut.
    void kill();

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QProcess &process() { return m_process; }
    // The fields of the link line: pty, port link and, with --tcp, the TCP port.
    QStringList linkFields() const { return m_fields; }
    QString pty() const { return m_fields.value(0); }
    QString link() const { return m_fields.value(1); }
    // The COM-style name the port link carries ("COM27").
    QString portName() const;
    quint16 tcpPort() const { return m_fields.value(2).toUShort(); }

private:
    QProcess m_process;
    QStringList m_fields;
};
