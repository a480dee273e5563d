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
        m_link->setFuentePlaca([this] { return m_numPlaca; });
        m_log.clear();
        m_numPlaca = QStringLiteral("01");
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

    void unwantedCharactersAreLoggedAndLeftUnread()
    {
        m_port->inject(bytes({0x11, 0x22}));
        QTRY_COMPARE(m_log.lines().size(), 1);
        QCOMPARE(m_log.lines().first(), QStringLiteral("Recibida trama no deseada."));
        QCOMPARE(m_port->bytesAvailable(), 2);
        QVERIFY(!Comunicacion_TZRPrivate(*m_link).fin_espera());
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
        m_numPlaca = QStringLiteral("17");
        m_link->Envia_Reinicio();
        QCOMPARE(m_port->frames().size(), 1);
        QCOMPARE(static_cast<int>(m_port->frames().at(0)[1]), 17);
        m_numPlaca = QString();
        QVERIFY_THROWS_EXCEPTION(ConversionError, m_link->Envia_Reinicio());
        m_numPlaca = QStringLiteral("x1");
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

private:
    ScriptPort *m_port = nullptr;
    Comunicacion_TZR *m_link = nullptr;
    MemoryDebugLog m_log;
    QString m_numPlaca;
};

QTEST_GUILESS_MAIN(TestComunicacion)
#include "tst_comunicacion.moc"
