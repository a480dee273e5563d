#include "Comunicacion_TZR.h"
#include "Comunicacion_TZR_p.h"
#include "MemoryDebugLog.h"
#include "ScriptPort.h"
#include "TzrError.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

QByteArray txBytes(const Trama &t)
{
    QByteArray b;
    for (int v : t) {
        if (v == FIN_TRAMA)
            break;
        b.append(static_cast<char>(v));
    }
    return b;
}

// A read reply: FF, board, 02, 30, value, check.
QByteArray readReply(int board, int value)
{
    return bytes({0xFF, board, 0x02, 0x30, value, 0x30 ^ value});
}

} // namespace

class TestComunicacion : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_port = new ScriptPort(this);
        m_port->open(QStringLiteral("COM1"));
        m_link = new Comunicacion_TZR(this);
        m_link->setPuerto(m_port);
        m_link->setDebugLog(&m_log);
        m_log.clear();
        m_numPlaca = 1;
        m_link->setBoard(m_numPlaca);
    }
    void cleanup()
    {
        delete m_link;
        delete m_port;
    }

    void frames_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<int>("board");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("read 0x0034") << CMD_LEER << QList<int>{0x00, 0x34} << 1 << bytes({0xFF, 1, 3, 0x30, 0, 0x34, 0x04});
        QTest::newRow("write 0xFF at 0x0034")
            << CMD_ESCRIBIR << QList<int>{0x00, 0x34, 0xFF} << 1 << bytes({0xFF, 1, 4, 0x31, 0, 0x34, 0xFF, 0xFA});
        QTest::newRow("open transfer") << CMD_INICIO << QList<int>{} << 1 << bytes({0xFF, 1, 1, 0x36, 0x36});
        QTest::newRow("close transfer") << CMD_FIN << QList<int>{} << 7 << bytes({0xFF, 7, 1, 0x37, 0x37});
        QTest::newRow("restart") << CMD_REINICIO << QList<int>{} << 2 << bytes({0xFF, 2, 1, 0x0B, 0x0B});
        QTest::newRow("presence board 31") << CMD_PRESENCIA << QList<int>{} << 31 << bytes({0xFF, 31, 1, 1, 1});
        QTest::newRow("end mark in the value slot")
            << CMD_ESCRIBIR << QList<int>{0x00, 0x34, FIN_TRAMA} << 1 << bytes({0xFF, 1, 3, 0x31, 0, 0x34, 0x05});
    }
    void frames()
    {
        QFETCH(int, command);
        QFETCH(QList<int>, values);
        QFETCH(int, board);
        QFETCH(QByteArray, expected);
        Payload p;
        p.fill(FIN_TRAMA);
        for (int i = 0; i < values.size(); ++i)
            p[i] = values[i];
        Comunicacion_TZRPrivate(*m_link).Construye_Trama(command, p, board);
        QCOMPARE(txBytes(Comunicacion_TZRPrivate(*m_link).trama_tx()), expected);
        for (int v : Comunicacion_TZRPrivate(*m_link).trama_rx())
            QCOMPARE(v, FIN_TRAMA);
        Comunicacion_TZRPrivate(*m_link).Envia_Trama();
        QCOMPARE(m_port->frames().value(0), expected);
    }

    void replyAcrossSeveralEvents()
    {
        const QByteArray reply = readReply(1, 0x42);
        m_port->setResponder([&](const QByteArray &) {
            return QList<QByteArray>{reply.left(1), reply.mid(1, 2), reply.mid(3, 2), reply.mid(5)};
        });
        int value = -1;
        QVERIFY(m_link->Lee_Byte(1, 0x34, value));
        QCOMPARE(value, 0x42);
        QCOMPARE(m_port->frames().size(), 1);
        QCOMPARE(m_log.text(), QStringLiteral("."));
        QVERIFY(!Comunicacion_TZRPrivate(*m_link).esperando_respuesta());
        QVERIFY(Comunicacion_TZRPrivate(*m_link).fin_espera());
    }

    void badCheckByteEndsTheWaitAtOnce()
    {
        m_port->setResponder([&](const QByteArray &) { return QList<QByteArray>{bytes({0xFF, 1, 2, 0x30, 0x42, 0x00})}; });
        // A long reply time makes "ended by the bad reply, not by the timer" unmistakable.
        m_link->setIntervalo(std::chrono::seconds(10));
        QElapsedTimer clock;
        clock.start();
        m_link->Intercambio(CMD_LEER, payload({0, 0x34}), 1);
        QVERIFY(!m_link->respuesta_valida());
        QVERIFY(Comunicacion_TZRPrivate(*m_link).fin_espera());
        QVERIFY(!m_link->TimerRecepcion().isActive());
        QCOMPARE(m_log.text(), QStringLiteral("X"));
        // Three attempts, each ended by its bad reply rather than the timer.
        int value = 0;
        QVERIFY(!m_link->Lee_Byte(1, 0x34, value));
        QCOMPARE(m_port->frames().size(), 4);
        QCOMPARE(m_log.text(), QStringLiteral("XXXX"));
        QVERIFY(clock.elapsed() < 10000);
    }

    void timeOutAfterTheIntervalAndThreeAttempts()
    {
        QElapsedTimer clock;
        clock.start();
        int value = 0;
        QVERIFY(!m_link->Lee_Byte(1, 0x34, value));
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(m_port->frames().size(), 3);
        QVERIFY2(elapsed >= 3 * 100 - 5, qPrintable(QString::number(elapsed)));
        QVERIFY(!m_link->respuesta_valida());
        QVERIFY(!Comunicacion_TZRPrivate(*m_link).esperando_respuesta());
        QVERIFY(m_log.text().isEmpty());
    }

    void retriesStopAtTheFirstValidReply()
    {
        int calls = 0;
        m_port->setResponder([&](const QByteArray &) {
            ++calls;
            return calls < 2 ? QList<QByteArray>{} : QList<QByteArray>{bytes({0xFF, 1, 1, 0x36, 0x36})};
        });
        QVERIFY(m_link->Modo_Transferencia(true));
        QCOMPARE(m_port->frames().size(), 2);
        QCOMPARE(m_port->frames().at(1), bytes({0xFF, 1, 1, 0x36, 0x36}));
    }

    // Left in the port they would be glued in front of the next reply; one log line per burst.
    void unwantedCharactersAreReadAndDropped()
    {
        m_port->inject(bytes({0x11, 0x22}));
        m_port->inject(bytes({0xFF, 0x01, 0x02, 0x30}));
        QTRY_COMPARE(Comunicacion_TZRPrivate(*m_link).strayBytes(), 6);
        QCOMPARE(m_log.lines(), QStringList{QStringLiteral("Recibida trama no deseada.")});
        QCOMPARE(m_port->bytesAvailable(), 0);
        QVERIFY(!Comunicacion_TZRPrivate(*m_link).fin_espera());
        m_port->setResponder([&](const QByteArray &) { return QList<QByteArray>{readReply(1, 0x44)}; });
        int value = 0;
        QVERIFY(m_link->Lee_Byte(1, 2, value));
        QCOMPARE(value, 0x44);
    }

    // A board that answers late, or twice, must never have that reply taken for the next request:
    // every read that reports success carries its own address's value, or the operation is told
    // that a reply answered no request.
    void lateOrDoubledRepliesAreNeverTakenForAnother_data()
    {
        QTest::addColumn<int>("lateMs");       // the first attempt's reply comes this late (0: on time)
        QTest::addColumn<bool>("retryAnswered"); // the retries get their own prompt reply
        QTest::addColumn<bool>("inOrder");     // a retry's reply waits behind the late one
        QTest::addColumn<int>("doubleAfterMs"); // the first reply comes again this much later (-1: no)
        QTest::addColumn<bool>("misalignmentAllowed");
        QTest::newRow("late by 1.3 reply times") << 130 << true << false << -1 << false;
        QTest::newRow("late by 1.6, in order") << 160 << true << true << -1 << false;
        QTest::newRow("late by 2.5, in order") << 250 << true << true << -1 << false;
        QTest::newRow("late past every attempt") << 450 << false << false << -1 << true;
        QTest::newRow("doubled") << 0 << true << false << 3 << true;
    }
    void lateOrDoubledRepliesAreNeverTakenForAnother()
    {
        QFETCH(int, lateMs);
        QFETCH(bool, retryAnswered);
        QFETCH(bool, inOrder);
        QFETCH(int, doubleAfterMs);
        QFETCH(bool, misalignmentAllowed);
        // Replies take a while, as on a real line, so that a late one lands inside a later exchange.
        m_port->setReplyDelay(std::chrono::milliseconds(30));
        int requests = 0;
        QElapsedTimer clock;
        clock.start();
        qint64 lateDue = -1;
        m_port->setResponder([&](const QByteArray &frame) {
            const int address = static_cast<quint8>(frame[4]) << 8 | static_cast<quint8>(frame[5]);
            const QByteArray reply = readReply(1, address * 10);
            ++requests;
            int delay = 0;
            if (requests == 1 && lateMs > 0) {
                delay = lateMs;
                lateDue = clock.elapsed() + lateMs;
            } else if (address == 1 && lateMs > 0) {
                if (!retryAnswered)
                    return QList<QByteArray>{};
                if (inOrder)
                    delay = static_cast<int>(std::max<qint64>(0, lateDue - clock.elapsed()) + 2);
            }
            if (delay > 0)
                QTimer::singleShot(delay, Qt::PreciseTimer, m_port, [this, reply] { m_port->inject(reply); });
            if (requests == 1 && doubleAfterMs >= 0)
                QTimer::singleShot(doubleAfterMs, Qt::PreciseTimer, m_port, [this, reply] { m_port->inject(reply); });
            return delay > 0 ? QList<QByteArray>{} : QList<QByteArray>{reply};
        });
        bool misaligned = false;
        QStringList wrong;
        try {
            for (int address = 1; address <= 12; ++address) {
                int value = -1;
                if (m_link->Lee_Byte(1, address, value) && value != address * 10)
                    wrong << QStringLiteral("%1 read as %2").arg(address).arg(value);
                else if (value < 0 && address != 1)
                    wrong << QStringLiteral("%1 unanswered").arg(address);
            }
            m_link->confirmAligned();
        } catch (const RepliesMisaligned &) {
            misaligned = true;
        }
        // Told is the least: a value taken for the wrong request is never left unsaid.
        if (!misaligned)
            QCOMPARE(wrong, QStringList());
        QVERIFY(!misaligned || misalignmentAllowed);
    }

    // Nothing went wrong: no quiet wait, and no exchange beyond the requests themselves.
    void cleanLineCostsNothingExtra()
    {
        m_port->setResponder([&](const QByteArray &) { return QList<QByteArray>{readReply(1, 7)}; });
        for (int i = 0; i < 20; ++i) {
            int value = 0;
            QVERIFY(m_link->Lee_Byte(1, 32 + i, value));
            QVERIFY(!Comunicacion_TZRPrivate(*m_link).settlePending());
        }
        QCOMPARE(m_port->frames().size(), 20);
        QCOMPARE(Comunicacion_TZRPrivate(*m_link).strayBytes(), 0);
    }

    // A read reply carries a value; a frame that cannot answer the request is not taken for it.
    // The board number and command byte are held against the request only once the boards have
    // shown that they repeat them.
    void replyMustFitTheRequest_data()
    {
        QTest::addColumn<QByteArray>("before"); // a sound frame arriving ahead of the real reply
        QTest::addColumn<bool>("taught");       // three reads were answered first, as boards answer
        QTest::addColumn<int>("board");         // what the replies carry as board number
        QTest::addColumn<int>("command");       // ... and as command byte
        QTest::addColumn<bool>("readOk");
        // A frame that no request accounts for came: the operation is told at its end.
        QTest::addColumn<bool>("told");
        const QByteArray ack = bytes({0xFF, 1, 1, 0x30, 0x30});
        QTest::newRow("acknowledgement alone is no read reply") << ack << false << 1 << 0x30 << false << true;
        QTest::newRow("stray acknowledgement, then the reply") << ack << true << 1 << 0x30 << true << true;
        QTest::newRow("another board's reply, then the reply")
            << readReply(5, 0x99) << true << 1 << 0x30 << true << true;
        QTest::newRow("boards that put other bytes there") << QByteArray() << true << 0 << 0x00 << true << false;
    }
    void replyMustFitTheRequest()
    {
        QFETCH(QByteArray, before);
        QFETCH(bool, taught);
        QFETCH(int, board);
        QFETCH(int, command);
        QFETCH(bool, readOk);
        QFETCH(bool, told);
        const QByteArray reply = bytes({0xFF, board, 0x02, command, 0x42, command ^ 0x42});
        if (taught) {
            m_port->setResponder([&](const QByteArray &) { return QList<QByteArray>{reply}; });
            for (int i = 0; i < 3; ++i) {
                int value = 0;
                QVERIFY(m_link->Lee_Byte(1, 40 + i, value));
            }
        }
        m_port->clearFrames();
        m_port->setResponder([&](const QByteArray &) {
            return taught ? QList<QByteArray>{before + reply} : QList<QByteArray>{before};
        });
        int value = -1;
        bool ok = false;
        bool misaligned = false;
        try {
            ok = m_link->Lee_Byte(1, 2, value);
            m_link->confirmAligned();
        } catch (const RepliesMisaligned &) {
            misaligned = true;
        }
        QCOMPARE(ok, readOk);
        if (readOk)
            QCOMPARE(value, 0x42);
        QCOMPARE(misaligned, told);
        if (readOk)
            QCOMPARE(m_port->frames().size(), 1);
    }

    // The echo setting follows the line both ways, noticed on the first read and said once.
    void echoSettingFollowsTheLine_data()
    {
        QTest::addColumn<bool>("settingOn");
        QTest::addColumn<bool>("lineEchoes");
        QTest::newRow("setting off, line echoes") << false << true;
        QTest::newRow("setting on, line does not echo") << true << false;
    }
    void echoSettingFollowsTheLine()
    {
        QFETCH(bool, settingOn);
        QFETCH(bool, lineEchoes);
        m_port->setLineEchoes(settingOn);
        QSignalSpy on(m_link, &Comunicacion_TZR::ecoDetectado);
        QSignalSpy off(m_link, &Comunicacion_TZR::noEchoDetected);
        m_port->setResponder([&](const QByteArray &frame) {
            return QList<QByteArray>{(lineEchoes ? frame : QByteArray()) + readReply(1, 0x21)};
        });
        for (int i = 0; i < 3; ++i) {
            int value = 0;
            QVERIFY(m_link->Lee_Byte(1, 2, value));
            QCOMPARE(value, 0x21);
        }
        QCOMPARE(m_port->lineEchoes(), lineEchoes);
        QCOMPARE(on.size(), lineEchoes ? 1 : 0);
        QCOMPARE(off.size(), lineEchoes ? 0 : 1);
        QCOMPARE(m_port->frames().size(), 3);
    }

    void bytesBeforeTheStartByteAreSkipped()
    {
        m_port->inject(bytes({0x11, 0x37}));
        QTRY_COMPARE(m_log.lines().size(), 1);
        m_port->setResponder([&](const QByteArray &) { return QList<QByteArray>{bytes({0x00}) + readReply(1, 5)}; });
        int value = 0;
        QVERIFY(m_link->Lee_Byte(1, 2, value));
        QCOMPARE(value, 5);
        QCOMPARE(m_port->frames().size(), 1);
    }

    void noiseInsideAFrameFailsTheAttempt()
    {
        m_port->setResponder([&](const QByteArray &) {
            QByteArray r = readReply(1, 5);
            r.insert(3, '\x55');
            return QList<QByteArray>{r};
        });
        m_link->Intercambio(CMD_LEER, payload({0, 2}), 1);
        QVERIFY(!m_link->respuesta_valida());
        QCOMPARE(m_log.text(), QStringLiteral("X"));
    }

    void overlongNoiseFailsTheAttemptSafely()
    {
        m_port->setResponder([&](const QByteArray &) {
            // A length byte that never completes, then far more bytes than a frame can hold.
            return QList<QByteArray>{bytes({0xFF, 1}) + QByteArray(100, '\x00')};
        });
        m_link->Intercambio(CMD_LEER, payload({0, 2}), 1);
        QVERIFY(!m_link->respuesta_valida());
        QVERIFY(Comunicacion_TZRPrivate(*m_link).fin_espera());
        QCOMPARE(Comunicacion_TZRPrivate(*m_link).trama_rx().back(), FIN_TRAMA);
    }

    void lengthBytePastTheBufferFailsTheAttempt()
    {
        m_port->setResponder([&](const QByteArray &) { return QList<QByteArray>{bytes({0xFF, 1, 0xF0, 0x30})}; });
        m_link->setIntervalo(std::chrono::seconds(10));
        QElapsedTimer clock;
        clock.start();
        m_link->Intercambio(CMD_LEER, payload({0, 2}), 1);
        QVERIFY(!m_link->respuesta_valida());
        QVERIFY(Comunicacion_TZRPrivate(*m_link).fin_espera());
        QVERIFY(clock.elapsed() < 10000);
    }

    void replyWithoutCommandByteIsABadFrame()
    {
        // Length 0 with a matching check byte (the XOR of nothing): no value byte to take.
        m_port->setResponder(
            [&](const QByteArray &) { return QList<QByteArray>{bytes({0xFF, 1, 0x00, 0x00})}; });
        m_link->setIntervalo(std::chrono::seconds(10));
        int value = -1;
        QVERIFY(!m_link->Lee_Byte(1, 0x34, value));
        QCOMPARE(value, -1);
        QCOMPARE(m_port->frames().size(), 3);
        QCOMPARE(m_log.text(), QStringLiteral("XXX"));
    }

    void boardNumberFromTheEditAtEveryExchange()
    {
        m_port->setResponder([&](const QByteArray &f) { return QList<QByteArray>{bytes({0xFF, f[1], 1, 0x0B, 0x0B})}; });
        m_numPlaca = 17;
        m_link->setBoard(m_numPlaca);
        m_link->Envia_Reinicio();
        QCOMPARE(m_port->frames().size(), 1);
        QCOMPARE(static_cast<int>(m_port->frames().at(0)[1]), 17);
        m_link->setBoardText(QString());
        QVERIFY_THROWS_EXCEPTION(ConversionError, m_link->Envia_Reinicio());
        m_link->setBoardText(QStringLiteral("x1"));
        QVERIFY_THROWS_EXCEPTION(ConversionError, m_link->Modo_Transferencia(true));
        QCOMPARE(m_port->frames().size(), 1);
    }

    void vanishedPortRaisesAndLeavesTheLinkIdle()
    {
        m_port->setFailWrites(true);
        QVERIFY_THROWS_EXCEPTION(TzrError, m_link->Intercambio(CMD_PRESENCIA, payload(), 1));
        QVERIFY(!Comunicacion_TZRPrivate(*m_link).esperando_respuesta());
        QVERIFY(!m_link->TimerRecepcion().isActive());
        QVERIFY(!m_link->ocupado());
    }

    void waitAlreadyOverReturnsAtOnce()
    {
        m_port->setResponder([&](const QByteArray &) { return QList<QByteArray>{bytes({0xFF, 1, 1, 1, 1})}; });
        QVERIFY(m_link->Sondea_Placa(1));
        QElapsedTimer clock;
        clock.start();
        m_link->setIntervalo(std::chrono::seconds(10));
        QVERIFY(m_link->Espera_Respuesta());
        QVERIFY(clock.elapsed() < 10000);
    }

    // A network port's margin lengthens the wait for every reply; the base interval (which the
    // parameter and test windows switch) stays what was set, and a local line waits exactly it.
    void replyTimeAddsThePortsMargin_data()
    {
        QTest::addColumn<int>("margin");
        QTest::addColumn<bool>("answered");
        QTest::newRow("local line") << 0 << false;
        QTest::newRow("network port") << 400 << true;
    }
    void replyTimeAddsThePortsMargin()
    {
        QFETCH(int, margin);
        QFETCH(bool, answered);
        m_port->setReplyMargin(std::chrono::milliseconds(margin));
        m_port->setReplyDelay(std::chrono::milliseconds(150));
        m_port->setResponder([&](const QByteArray &f) {
            return f[1] == 1 ? QList<QByteArray>{bytes({0xFF, 1, 1, 1, 1})} : QList<QByteArray>{};
        });
        m_link->setIntervalo(std::chrono::milliseconds(50));
        QCOMPARE(m_link->Sondea_Placa(1), answered);
        QCOMPARE(m_link->intervalo(), std::chrono::milliseconds(50));
        QCOMPARE(m_link->tiempoEspera(), std::chrono::milliseconds(50 + margin));
        // Shown once in the debug log, for a network port only.
        (void)m_link->Sondea_Placa(1);
        const QStringList expected =
            margin > 0 ? QStringList{QStringLiteral("Reply time 450 ms: 50 ms and 400 ms for the network")}
                       : QStringList{};
        QCOMPARE(m_log.lines(), expected);
    }

    // On a line that echoes, what comes back before the reply must be the request byte for byte;
    // anything else fails the attempt, and the retry reads the value.
    void echoThatDoesNotMatchIsABadFrame_data()
    {
        QTest::addColumn<int>("spoilAt");
        QTest::addColumn<bool>("dropByte");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("frames");
        QTest::newRow("intact echo") << -1 << false << 0x11 << 1;
        QTest::newRow("address byte spoiled") << 5 << false << 0x22 << 2;
        QTest::newRow("check byte spoiled") << 6 << false << 0x22 << 2;
        QTest::newRow("one byte lost") << 3 << true << 0x22 << 2;
    }

    void echoThatDoesNotMatchIsABadFrame()
    {
        QFETCH(int, spoilAt);
        QFETCH(bool, dropByte);
        QFETCH(int, value);
        QFETCH(int, frames);
        m_port->setLineEchoes(true);
        m_link->setIntervalo(std::chrono::milliseconds(30));
        int attempt = 0;
        m_port->setResponder([&](const QByteArray &frame) {
            QByteArray echo = frame;
            if (attempt++ == 0 && spoilAt >= 0) {
                if (dropByte)
                    echo.remove(spoilAt, 1);
                else
                    echo[spoilAt] = static_cast<char>(echo[spoilAt] ^ 0x01);
                return QList<QByteArray>{echo + readReply(1, 0x11)};
            }
            return QList<QByteArray>{echo + readReply(1, attempt == 1 ? 0x11 : 0x22)};
        });
        int read = -1;
        QVERIFY(m_link->Lee_Byte(1, 0x0034, read));
        QCOMPARE(read, value);
        QCOMPARE(m_port->frames().size(), frames);
    }

    // On a line not yet known to echo, noise between the handed-back request and the reply is no
    // reply, even where it looks like a sound frame behind a missing start byte.
    void noiseBehindAnEchoIsNotTheReply()
    {
        m_port->setResponder([&](const QByteArray &frame) {
            return QList<QByteArray>{frame + bytes({0x11, 0x01, 0x02, 0x30, 0x55, 0x65}), readReply(1, 0x42)};
        });
        int read = -1;
        QVERIFY(m_link->Lee_Byte(1, 0x0034, read));
        QCOMPARE(read, 0x42);
        QCOMPARE(m_port->frames().size(), 1);
    }

private:
    ScriptPort *m_port = nullptr;
    Comunicacion_TZR *m_link = nullptr;
    MemoryDebugLog m_log;
    int m_numPlaca = 1;
};

QTEST_GUILESS_MAIN(TestComunicacion)
#include "tst_comunicacion.moc"
