#include "BoardBus.h"
#include "BusSerialPort.h"
#include "Comunicacion_TZR.h"
#include "FixedTexts.h"
#include "MemoryDebugLog.h"
#include "TestPlacas.h"
#include "TzrError.h"

#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

class TestTestPlacas : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_bus = std::make_unique<BoardBus>(5);
        m_port = std::make_unique<BusSerialPort>(*m_bus);
        m_port->open(QStringLiteral("COM1"));
        m_link = std::make_unique<Comunicacion_TZR>();
        m_link->setPuerto(m_port.get());
        m_link->setDebugLog(&m_log);
        m_link->setBoard(7);
        m_log.clear();
    }
    void cleanup()
    {
        m_link.reset();
        m_port.reset();
        m_bus.reset();
    }

    void readerText_data()
    {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<QString>("texto");
        QTest::newRow("card") << 1 << "Card";
        QTest::newRow("button") << 2 << "Button";
        QTest::newRow("none") << 0 << "Keypad";
        QTest::newRow("unknown") << 3 << "Keypad";
    }
    void readerText()
    {
        QFETCH(int, tipo);
        QFETCH(QString, texto);
        QCOMPARE(Texto_Lector(tipo), texto);
    }

    // One run over a bus with boards at both ends and one in the middle, costing 29 reply times.
    void runListsTheBoardsThatAnswer()
    {
        m_bus->addBoard(0);
        m_bus->addBoard(3);
        m_bus->addBoard(31);
        m_bus->board(3)->setByte(Board::ADDR_KEYPAD_LENGTH, 5);
        m_bus->board(3)->setByte(Board::ADDR_READER, 1);
        // Board 31 answers the presence frame and nothing after it.
        m_bus->setSilentAfter(31, 1);
        m_link->setTipo_lector(2);

        FixedTexts textos;
        QList<int> contador;
        QStringList lineas;
        TestPlacas::Vista vista;
        vista.detener = [] { return false; };
        vista.numP = [&](int n) { contador << n; };
        vista.linea = [&](const QString &l) { lineas << l; };
        TestPlacas(*m_link, textos).ejecuta(vista);

        QCOMPARE(lineas, QStringList({QStringLiteral("Panel : 0    Length Code : 6 -- Card"),
                                      QStringLiteral("Panel : 3    Length Code : 5 -- Button"),
                                      QStringLiteral("Panel : 31    Length Code : 4 -- Keypad")}));
        QList<int> todos;
        for (int n = 0; n < 32; ++n)
            todos << n;
        QCOMPARE(contador, todos);

        QStringList esperadas{
            QStringLiteral("TF_Test.IniciarClick: Cambiamos TimerRecepcion.Interval a 200")};
        for (int n = 0; n < 32; ++n) {
            const bool ok = n == 0 || n == 3 || n == 31;
            esperadas << QStringLiteral("TF_Test.IniciarClick: %1 [%2]")
                             .arg(ok ? "Recibido OK" : "NO Recibido")
                             .arg(n);
        }
        esperadas << QStringLiteral("TF_Test.IniciarClick: Cambiamos TimerRecepcion.Interval a 100");
        QCOMPARE(m_log.lines(), esperadas);
        QCOMPARE(m_link->intervalo(), TIEMPO_RESPUESTA);

        // One presence frame per number, reads of the length and reader of the boards that answered.
        QCOMPARE(m_bus->count(BoardBus::CMD_PRESENCE), 32);
        QCOMPARE(m_bus->count(BoardBus::CMD_READ, 3), 2);
        QCOMPARE(m_bus->count(BoardBus::CMD_READ, 31), 2 * INTENTOS);
        QCOMPARE(m_bus->count(BoardBus::CMD_WRITE), 0);
        QCOMPARE(m_bus->count(BoardBus::CMD_RESTART), 0);
        QCOMPARE(m_link->tipo_lector(), 2);
    }

    void stopSkipsTheRemainingBoardsWithoutTraffic()
    {
        m_bus->addBoard(1);
        m_bus->addBoard(2);
        m_bus->addBoard(3);
        FixedTexts textos;
        textos.set(QStringLiteral("SHOW_M1"), QStringLiteral("Placa"));
        textos.set(QStringLiteral("SHOW_M2"), QStringLiteral("Longitud código"));
        bool detener = false;
        QList<int> contador;
        QStringList lineas;
        TestPlacas::Vista vista;
        vista.detener = [&] { return detener; };
        vista.numP = [&](int n) {
            contador << n;
            // Set while board 2 is polled: it is still asked, 3 and after are not.
            detener = n == 2;
        };
        vista.linea = [&](const QString &l) { lineas << l; };
        TestPlacas(*m_link, textos).ejecuta(vista);

        QCOMPARE(contador, QList<int>({0, 1, 2}));
        QList<int> sondeadas;
        for (const BoardBus::Request &q : m_bus->requests(BoardBus::CMD_PRESENCE))
            sondeadas << q.board;
        QCOMPARE(sondeadas, QList<int>({0, 1, 2}));
        QCOMPARE(lineas, QStringList({QStringLiteral("Placa : 1    Longitud código : 6 -- Card"),
                                      QStringLiteral("Placa : 2    Longitud código : 6 -- Card")}));
        QCOMPARE(m_log.lines().last(),
                 QStringLiteral("TF_Test.IniciarClick: Cambiamos TimerRecepcion.Interval a 100"));
        QCOMPARE(m_link->intervalo(), TIEMPO_RESPUESTA);
    }

    void closedPortEndsTheRunWithTheShortReplyTime()
    {
        m_port->close();
        FixedTexts textos;
        TestPlacas test(*m_link, textos);
        QVERIFY_THROWS_EXCEPTION(TzrError, test.ejecuta(TestPlacas::Vista{}));
        QCOMPARE(m_link->intervalo(), TIEMPO_RESPUESTA);
        QVERIFY(!m_link->ocupado());
        QCOMPARE(m_log.lines().last(),
                 QStringLiteral("TF_Test.IniciarClick: Cambiamos TimerRecepcion.Interval a 100"));
    }

    void lengthRead_data()
    {
        QTest::addColumn<int>("valor");
        QTest::addColumn<bool>("silenciosa");
        QTest::addColumn<int>("longitud");
        QTest::newRow("6") << 6 << false << 6;
        QTest::newRow("4") << 4 << false << 4;
        // Any byte is shown as it is; only a board that does not answer gives 4.
        QTest::newRow("9") << 9 << false << 9;
        QTest::newRow("no reply") << 6 << true << 4;
    }
    void lengthRead()
    {
        QFETCH(int, valor);
        QFETCH(bool, silenciosa);
        QFETCH(int, longitud);
        m_link->setIntervalo(20ms);
        m_bus->addBoard(9);
        m_bus->board(9)->setByte(Board::ADDR_KEYPAD_LENGTH, static_cast<quint8>(valor));
        if (silenciosa)
            m_bus->setSilentAfter(9, 0);
        FixedTexts textos;
        QCOMPARE(TestPlacas(*m_link, textos).Lee_Longitud_Placa(9), longitud);
    }

private:
    std::unique_ptr<BoardBus> m_bus;
    std::unique_ptr<BusSerialPort> m_port;
    std::unique_ptr<Comunicacion_TZR> m_link;
    MemoryDebugLog m_log;
};

QTEST_GUILESS_MAIN(TestTestPlacas)
#include "tst_testplacas.moc"
