#include "BoardBus.h"
#include "BusSerialPort.h"
#include "Comunicacion_TZR.h"
#include "ContraPlaca.h"
#include "MemoryDebugLog.h"
#include "Parametros.h"
#include "TzrError.h"

#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

CamposParametros validos()
{
    CamposParametros c;
    c.Edit1 = QStringLiteral("31");
    c.Edit2 = QStringLiteral("5");
    c.Edit3 = QStringLiteral("ENGLISH");
    c.Edit4 = QStringLiteral("1");
    c.Edit5 = QStringLiteral("10");
    c.Edit6 = QStringLiteral("10");
    c.Edit7 = QStringLiteral("12345");
    c.Edit8 = QStringLiteral("A0000");
    return c;
}

using Cambios = QList<QPair<int, QString>>;

QString &campo(CamposParametros &c, int n)
{
    QString *campos[] = {&c.Edit1, &c.Edit2, &c.Edit3, &c.Edit4, &c.Edit5, &c.Edit6, &c.Edit7, &c.Edit8};
    return *campos[n - 1];
}

struct Escritura
{
    int address;
    int value;
    bool operator==(const Escritura &) const = default;
};

} // namespace

Q_DECLARE_METATYPE(Cambios)

class TestParametros : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_bus = std::make_unique<BoardBus>(3);
        m_bus->addBoard(1);
        m_port = std::make_unique<BusSerialPort>(*m_bus);
        m_port->open(QStringLiteral("COM1"));
        m_link = std::make_unique<Comunicacion_TZR>();
        m_link->setPuerto(m_port.get());
        m_link->setDebugLog(&m_log);
        m_link->setIntervalo(20ms);
        m_numPlaca = 1;
        m_link->setBoard(m_numPlaca);
    }
    void cleanup()
    {
        m_link.reset();
        m_port.reset();
        m_bus.reset();
    }

    void valida_data()
    {
        QTest::addColumn<Cambios>("cambios");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("mensaje");
        QTest::newRow("all valid") << Cambios{} << true << "";
        QTest::newRow("panel 1") << Cambios{{1, "1"}} << true << "";
        QTest::newRow("panel 0") << Cambios{{1, "0"}} << false << "Panel number";
        QTest::newRow("panel 32") << Cambios{{1, "32"}} << false << "Panel number";
        QTest::newRow("panel empty") << Cambios{{1, ""}} << false << "Panel number";
        QTest::newRow("reader empty") << Cambios{{4, ""}} << false << "Reader";
        QTest::newRow("language empty") << Cambios{{3, ""}} << false << "Language";
        QTest::newRow("code length empty") << Cambios{{2, ""}} << false << "Code Length";
        QTest::newRow("code length 255 of a blank board") << Cambios{{2, "255"}} << false << "Code Length";
        QTest::newRow("code length 3") << Cambios{{2, "3"}} << false << "Code Length";
        QTest::newRow("code length 6") << Cambios{{2, "6"}} << true << "";
        QTest::newRow("time A 255 of a blank board") << Cambios{{5, "255"}} << false << "Time A";
        QTest::newRow("code read as F") << Cambios{{7, "12F45"}} << false << "Programming Code";
        QTest::newRow("master code read as C") << Cambios{{8, "C0000"}} << false << "Master Code";
        QTest::newRow("time A 3") << Cambios{{5, "3"}} << false << "Time A";
        QTest::newRow("time A 60") << Cambios{{5, "60"}} << false << "Time A";
        QTest::newRow("time A 4") << Cambios{{5, "4"}} << true << "";
        QTest::newRow("time A 59") << Cambios{{5, "59"}} << true << "";
        QTest::newRow("time B 3") << Cambios{{6, "3"}} << false << "Time B";
        QTest::newRow("time B 60") << Cambios{{6, "60"}} << false << "Time B";
        QTest::newRow("time B empty") << Cambios{{6, ""}} << false << "Time B";
        QTest::newRow("programming code short") << Cambios{{7, "1234"}} << false << "Programming Code";
        QTest::newRow("programming code B") << Cambios{{7, "B1234"}} << false << "Programming Code";
        QTest::newRow("master code short") << Cambios{{8, ""}} << false << "Master Code";
        QTest::newRow("master code B") << Cambios{{8, "B0000"}} << false << "Master Code";
        QTest::newRow("code A and digits") << Cambios{{7, "A1234"}, {8, "98765"}} << true << "";
        QTest::newRow("B inside a code") << Cambios{{7, "1B2B3"}} << true << "";
        QTest::newRow("equal codes") << Cambios{{8, "12345"}} << false << "Programming Code=Master Code";
        // Every empty field fails; the last one in check order names the message.
        QTest::newRow("several empty") << Cambios{{1, ""}, {4, ""}, {6, ""}} << false << "Time B";
        QTest::newRow("all empty") << Cambios{{1, ""}, {2, ""}, {3, ""}, {4, ""},
                                              {5, ""}, {6, ""}, {7, ""}, {8, ""}}
                                   << false << "Master Code";
        // Range and "B" checks only run while nothing has failed yet.
        QTest::newRow("range skipped after a failure") << Cambios{{4, ""}, {5, "60"}} << false << "Reader";
        QTest::newRow("B skipped after a failure")
            << Cambios{{7, "123"}, {8, "B1234"}} << false << "Programming Code";
        QTest::newRow("equality skipped after a failure")
            << Cambios{{7, "1234"}, {8, "1234"}} << false << "Master Code";
        QTest::newRow("panel range before reader") << Cambios{{1, "40"}, {4, ""}} << false << "Reader";
        QTest::newRow("not a number keeps the message so far") << Cambios{{5, "1x"}} << false << "";
    }
    void valida()
    {
        QFETCH(Cambios, cambios);
        QFETCH(bool, ok);
        QFETCH(QString, mensaje);
        CamposParametros c = validos();
        for (const auto &[n, texto] : cambios)
            campo(c, n) = texto;
        QString obtenido;
        QCOMPARE(Valida_Parametros(c, EtiquetasParametros{}, obtenido), ok);
        QCOMPARE(obtenido, mensaje);
    }

    void readsTheBoard_data()
    {
        QTest::addColumn<int>("idioma");
        QTest::addColumn<int>("lector");
        QTest::addColumn<QString>("Edit3");
        QTest::addColumn<bool>("invalido");
        QTest::addColumn<QString>("Edit4");
        QTest::addColumn<int>("tipo");
        QTest::newRow("spanish, card") << 0 << 0 << "ESPAÑOL" << false << "0" << 1;
        QTest::newRow("french, button") << 2 << 1 << "FRANÇAIS" << false << "1" << 2;
        QTest::newRow("german") << 3 << 0 << "DEUTSCH" << false << "0" << 1;
        QTest::newRow("language 4, reader 5") << 4 << 5 << "previous" << true << "" << 0;
        QTest::newRow("language 0xFF") << 0xFF << 1 << "previous" << true << "1" << 2;
    }
    void readsTheBoard()
    {
        QFETCH(int, idioma);
        QFETCH(int, lector);
        QFETCH(QString, Edit3);
        QFETCH(bool, invalido);
        QFETCH(QString, Edit4);
        QFETCH(int, tipo);
        Board &b = *m_bus->board(1);
        b.setByte(Board::ADDR_KEYPAD_LENGTH, 5);
        b.setByte(Board::ADDR_LANGUAGE, static_cast<quint8>(idioma));
        b.setByte(Board::ADDR_READER, static_cast<quint8>(lector));
        b.setByte(Board::ADDR_TIME_A, 4);
        b.setByte(Board::ADDR_TIME_B, 59);
        QVERIFY(b.setProgrammingCode(QStringLiteral("A0B12")));
        QVERIFY(b.setMasterCode(QStringLiteral("98765")));
        m_link->setTipo_lector((tipo + 1) % 3);

        CamposParametros c;
        c.Edit3 = QStringLiteral("previous");
        c.Edit4 = QStringLiteral("previous");
        bool idiomaInvalido = !invalido;
        Parametros(*m_link).Lee_Parametros(c, numPlacaTexto(), idiomaInvalido);
        QCOMPARE(idiomaInvalido, invalido);
        QCOMPARE(c.Edit1, QStringLiteral("01"));
        QCOMPARE(c.Edit2, QStringLiteral("5"));
        QCOMPARE(c.Edit3, Edit3);
        QCOMPARE(c.Edit4, Edit4);
        QCOMPARE(m_link->tipo_lector(), tipo);
        QCOMPARE(c.Edit5, QStringLiteral("4"));
        QCOMPARE(c.Edit6, QStringLiteral("59"));
        QCOMPARE(c.Edit7, QStringLiteral("A0B12"));
        QCOMPARE(c.Edit8, QStringLiteral("98765"));
        // The panel number is never read.
        QCOMPARE(m_bus->requests(BoardBus::CMD_READ, 1).front().address, int(DIR_LONGITUD_CODIGO));
        for (const BoardBus::Request &q : m_bus->requests(BoardBus::CMD_READ))
            QVERIFY(q.address != DIR_NUMERO_PANEL);
    }

    void codesWithoutMarkerKeepTheirText()
    {
        // A fresh board has neither marker set.
        CamposParametros c;
        c.Edit7 = QStringLiteral("11111");
        c.Edit8 = QString();
        bool idiomaInvalido = false;
        Parametros(*m_link).Lee_Parametros(c, numPlacaTexto(), idiomaInvalido);
        QCOMPARE(c.Edit7, QStringLiteral("11111"));
        QCOMPARE(c.Edit8, QString());
        QCOMPARE(c.Edit2, QStringLiteral("6"));
        QCOMPARE(c.Edit3, QStringLiteral("ENGLISH"));
        QCOMPARE(c.Edit4, QStringLiteral("0"));
        for (const BoardBus::Request &q : m_bus->requests(BoardBus::CMD_READ))
            QVERIFY2(q.address <= DIR_MARCA_MAESTRO, qPrintable(QString::number(q.address)));
    }

    void silentBoardLeavesEveryFieldButThePanelNumber()
    {
        m_bus->setSilentAfter(1, 0);
        CamposParametros antes = validos();
        CamposParametros c = antes;
        m_numPlaca = 1;
        m_link->setBoard(m_numPlaca);
        bool idiomaInvalido = false;
        // Typed without its leading zero.
        Parametros(*m_link).Lee_Parametros(c, QString::number(m_numPlaca), idiomaInvalido);
        QVERIFY(!idiomaInvalido);
        antes.Edit1 = QStringLiteral("1");
        // The reader type is the one field a silent board empties: no reply counts as no reader.
        antes.Edit4.clear();
        QCOMPARE(c.Edit1, antes.Edit1);
        QCOMPARE(c.Edit2, antes.Edit2);
        QCOMPARE(c.Edit3, antes.Edit3);
        QCOMPARE(c.Edit4, antes.Edit4);
        QCOMPARE(c.Edit5, antes.Edit5);
        QCOMPARE(c.Edit6, antes.Edit6);
        QCOMPARE(c.Edit7, antes.Edit7);
        QCOMPARE(c.Edit8, antes.Edit8);
        QCOMPARE(m_link->tipo_lector(), 0);
    }

    void codePositionWithoutReplyLeavesTheCodeShort()
    {
        QVERIFY(m_bus->board(1)->setMasterCode(QStringLiteral("4A1B7")));
        // Three positions are read, then the board falls silent.
        m_bus->setSilentAfter(1, 3);
        const QString codigo = Parametros(*m_link).Lee_Codigo_Placa(QLatin1Char('M'));
        QCOMPARE(codigo, QStringLiteral("4A1"));
        QCOMPARE(m_bus->count(BoardBus::CMD_READ), 3 + 2 * INTENTOS);
    }

    void markerCheck_data()
    {
        QTest::addColumn<int>("marca");
        QTest::addColumn<bool>("silenciosa");
        QTest::addColumn<bool>("resultado");
        QTest::addColumn<int>("lecturas");
        QTest::newRow("marker set") << 0x3A << false << true << 1;
        // Another byte is asked again, up to three attempts.
        QTest::newRow("other byte") << 0x30 << false << false << 3;
        QTest::newRow("erased") << 0xFF << false << false << 3;
        // No valid reply ends the check at once.
        QTest::newRow("no reply") << 0x3A << true << false << 1;
    }
    void markerCheck()
    {
        QFETCH(int, marca);
        QFETCH(bool, silenciosa);
        QFETCH(bool, resultado);
        QFETCH(int, lecturas);
        m_bus->board(1)->setByte(Board::ADDR_PROGRAMMING_MARKER, static_cast<quint8>(marca));
        if (silenciosa)
            m_bus->setSilentAfter(1, 0);
        QCOMPARE(ContraPlaca(*m_link).Comprueba_Marca_Contra(QLatin1Char('P')), resultado);
        int vistas = 0;
        for (const BoardBus::Request &q : m_bus->requests(BoardBus::CMD_READ)) {
            QCOMPARE(q.address, Board::ADDR_PROGRAMMING_MARKER);
            ++vistas;
        }
        // A silent board's frames still reach the bus.
        QCOMPARE(vistas, lecturas);
    }

    void writesInTheFixedOrder()
    {
        CamposParametros c = validos();
        c.Edit3 = QStringLiteral("deutsch");
        c.Edit5 = QStringLiteral("4");
        c.Edit6 = QStringLiteral("59");
        c.Edit7 = QStringLiteral("A01B9");
        c.Edit8 = QStringLiteral("98765");
        Parametros(*m_link).Escribe_Parametros(c);
        QCOMPARE(c.Edit3, QStringLiteral("DEUTSCH"));

        QList<Escritura> escritas;
        for (const BoardBus::Request &q : m_bus->requests(BoardBus::CMD_WRITE)) {
            QCOMPARE(q.board, 1);
            escritas << Escritura{q.address, q.value};
        }
        const QList<Escritura> esperadas{{1, 31},    {2, 5},     {3, 3},     {4, 1},     {5, 4},
                                         {6, 59},    {10, 0x3A}, {11, 0x3A}, {12, 0x30}, {13, 0x31},
                                         {14, 0x3B}, {15, 0x39}, {16, 0x3A}, {17, 0x39}, {18, 0x38},
                                         {19, 0x37}, {20, 0x36}, {21, 0x35}};
        QCOMPARE(escritas, esperadas);

        // The board keeps answering to 1 until it restarts, then it is 31.
        QVERIFY(m_bus->hasBoard(1));
        m_link->Envia_Reinicio();
        QVERIFY(m_bus->hasBoard(31));
        QVERIFY(!m_bus->hasBoard(1));
        const Board &b = *m_bus->board(31);
        QCOMPARE(b.programmingCode(), QStringLiteral("A01B9"));
        QCOMPARE(b.masterCode(), QStringLiteral("98765"));
        QCOMPARE(int(b.byte(Board::ADDR_LANGUAGE)), 3);
    }

    void languageByte_data()
    {
        QTest::addColumn<QString>("Edit3");
        QTest::addColumn<int>("valor");
        QTest::newRow("ESPAÑOL") << "ESPAÑOL" << 0;
        QTest::newRow("español") << "español" << 0;
        QTest::newRow("ENGLISH") << "ENGLISH" << 1;
        QTest::newRow("FRANÇAIS") << "FRANÇAIS" << 2;
        QTest::newRow("DEUTSCH") << "DEUTSCH" << 3;
        QTest::newRow("other") << "ITALIANO" << 1;
    }
    void languageByte()
    {
        QFETCH(QString, Edit3);
        QFETCH(int, valor);
        CamposParametros c = validos();
        c.Edit3 = Edit3;
        Parametros(*m_link).Escribe_Parametros(c);
        const QList<BoardBus::Request> escritas = m_bus->requests(BoardBus::CMD_WRITE);
        QCOMPARE(escritas.at(2).address, int(DIR_IDIOMA));
        QCOMPARE(escritas.at(2).value, valor);
    }

    void notANumberStopsTheWriting()
    {
        CamposParametros c = validos();
        c.Edit4 = QStringLiteral("x");
        QVERIFY_THROWS_EXCEPTION(ConversionError, Parametros(*m_link).Escribe_Parametros(c));
        QList<int> direcciones;
        for (const BoardBus::Request &q : m_bus->requests(BoardBus::CMD_WRITE))
            direcciones << q.address;
        QCOMPARE(direcciones, QList<int>({1, 2, 3}));
    }

private:
    std::unique_ptr<BoardBus> m_bus;
    std::unique_ptr<BusSerialPort> m_port;
    std::unique_ptr<Comunicacion_TZR> m_link;
    MemoryDebugLog m_log;
    // num_placa as the window shows it.
    QString numPlacaTexto() const { return QStringLiteral("%1").arg(m_numPlaca, 2, 10, QLatin1Char('0')); }

    int m_numPlaca = 1;
};

QTEST_GUILESS_MAIN(TestParametros)
#include "tst_parametros.moc"
