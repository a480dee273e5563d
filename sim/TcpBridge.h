#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

class QSocketNotifier;

// Serves the stand-in's line on a TCP port as a raw device server would: the bytes of one client
// go to the pseudo-terminal as if the PC had written them there, and what the bus answers goes
// back to that client. A new client takes the line over from the previous one.
class TcpBridge : public QObject
{
    Q_OBJECT
public:
    explicit TcpBridge(QObject *parent = nullptr);
    ~TcpBridge() override;

    // Listens on the loopback address (port 0: any free port) for the terminal's slave.
    bool start(const QString &slavePath, quint16 port, QString *error);
    quint16 port() const { return m_server.serverPort(); }

signals:
    void failed(const QString &message);

private:
    void onConnection();
    void onClientData();
    void onTerminalReadable();
    void writeTerminal();
    bool openTerminal();
    void closeTerminal();

    QTcpServer m_server{this};
    QPointer<QTcpSocket> m_client;
    QString m_slavePath;
    int m_terminal = -1;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    QByteArray m_toTerminal;
};
