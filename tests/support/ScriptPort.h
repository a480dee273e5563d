#pragma once

#include "SerialPort.h"

#include <QByteArray>
#include <QList>
#include <QTimer>

#include <chrono>
#include <functional>

// A serial port whose replies a test scripts: every complete request frame written is handed to
// the responder, and what it returns arrives later through the event loop, in the given pieces.
class ScriptPort : public SerialPort
{
    Q_OBJECT
public:
    // Returns the reply pieces for one request frame (empty: no reply).
    using Responder = std::function<QList<QByteArray>(const QByteArray &frame)>;

    explicit ScriptPort(QObject *parent = nullptr) : SerialPort(parent) {}

    void setResponder(Responder responder) { m_responder = std::move(responder); }
    // Bytes arriving on their own, as noise or a late reply would.
    void inject(const QByteArray &bytes);
    void setFailWrites(bool fail) { m_failWrites = fail; }
    // Each reply arrives this long after its request (0: at the next event-loop pass).
    void setReplyDelay(std::chrono::milliseconds delay) { m_replyDelay = delay; }
    // What a network port would add to the reply time.
    void setReplyMargin(std::chrono::milliseconds margin) { m_replyMargin = margin; }
    std::chrono::milliseconds replyMargin() const override { return m_replyMargin; }

    QList<QByteArray> frames() const { return m_frames; }
    void clearFrames() { m_frames.clear(); }

    bool open(const QString &comName) override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString errorString() const override { return m_error; }
    QString portName() const override { return m_name; }
    void purge() override { m_input.clear(); m_pending.clear(); }
    bool writeByte(quint8 value) override;
    int bytesAvailable() const override { return static_cast<int>(m_input.size()); }
    int readByte() override;

private:
    void deliverNext();

    Responder m_responder;
    QByteArray m_output;
    QByteArray m_input;
    QList<QByteArray> m_pending;
    QList<QByteArray> m_frames;
    QString m_name;
    QString m_error;
    bool m_open = false;
    bool m_failWrites = false;
    std::chrono::milliseconds m_replyDelay{0};
    std::chrono::milliseconds m_replyMargin{0};
};
