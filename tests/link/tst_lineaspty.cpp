#include "Clock.h"
#include "Comunicacion_TZR.h"
#include "FilaPrueba.h"
#include "FixedTexts.h"
#include "MemoryTable.h"
#include "Parametros.h"
#include "QtSerialPort.h"
#include "StandIn.h"
#include "TestPlacas.h"
#include "Transferencias.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QList<FilaUsuario> Enviadas{fila("ANA", "0001", "001", "123456"), fila("BEA", "0002", "002", "0A1B22"),
                                  fila("CAROL", "0103", "103", "654321", "SECOND LINE", "X")};

QList<FilaUsuario> sinTipo(QList<FilaUsuario> rows)
{
    for (FilaUsuario &f : rows)
        f.TIPO_CODE.clear();
    return rows;
}

enum class Transferencia
{
    Recibir,
    Enviar
};

} // namespace

// The link over the stand-in's pseudo-terminal, on lines that echo, hold bytes back or vanish.
class TestLineasPty : public QObject
{
    Q_OBJECT

private:
    void arranca(const QStringList &opciones)
    {
        const QString error = m_sim.start(QStringList{QStringLiteral("--port"), QStringLiteral("41"),
                                                      QStringLiteral("--boards"), QStringLiteral("1,4")} +
                                              opciones,
                                          m_dir.path());
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QString pty = m_sim.pty();
        m_port = std::make_unique<QtSerialPort>([pty](const QString &) { return pty; });
        QVERIFY2(m_port->open(QStringLiteral("COM41")), qPrintable(m_port->errorString()));
        m_link.setPuerto(m_port.get());
        m_link.setBoard(1);
    }

    QList<int> escanea()
    {
        QList<int> presentes;
        for (int placa = 0; placa < 32; ++placa) {
            if (m_link.Sondea_Placa(placa))
                presentes << placa;
        }
        return presentes;
    }

private slots:
    void init()
    {
        if (!QFileInfo(StandIn::program()).isExecutable())
            QSKIP("tzr-panel-sim has not been built");
    }

    void cleanup()
    {
        m_link.setPuerto(nullptr);
        m_port.reset();
        m_sim.stop();
    }

    // Scan, read, send and receive give the clean line's results on a line that echoes (with
    // the setting on) and on an adapter that holds bytes back.
    void sameResultsAsACleanLine_data()
    {
        QTest::addColumn<QStringList>("opciones");
        QTest::addColumn<bool>("eco");
        QTest::newRow("clean") << QStringList() << false;
        QTest::newRow("echo, setting on") << QStringList({"--echo"}) << true;
        QTest::newRow("echo behind a USB adapter") << QStringList({"--echo", "--usb-latency", "2"}) << true;
    }
    void sameResultsAsACleanLine()
    {
        QFETCH(QStringList, opciones);
        QFETCH(bool, eco);
        arranca(opciones);
        m_port->setLineEchoes(eco);
        QSignalSpy detectado(&m_link, &Comunicacion_TZR::ecoDetectado);
        QCOMPARE(escanea(), QList<int>({1, 4}));
        int valor = -1;
        QVERIFY(m_link.Lee_Byte(4, 1, valor));
        QCOMPARE(valor, 4);

        FixedTexts textos;
        Clock reloj;
        Transferencias transferencias(m_link, textos, reloj);
        QList<RegistroEnvio> registros;
        FilaRechazada rechazo;
        QVERIFY(transferencias.Prepara_Envio(Enviadas, registros, rechazo));
        QVERIFY(m_link.Modo_Transferencia(true));
        QVERIFY(transferencias.Envio_General(registros, QStringLiteral("COM41")).completo());
        MemoryTable tabla;
        QVERIFY(transferencias.Conexion_General(tabla).completa());
        QCOMPARE(sinTipo(tabla.filas()), Enviadas);

        // Parameters written and read back, then the board test's list.
        Parametros parametros(m_link);
        CamposParametros campos;
        bool idiomaInvalido = false;
        parametros.Lee_Parametros(campos, QStringLiteral("01"), idiomaInvalido);
        QCOMPARE(campos.Edit1, QStringLiteral("01"));
        campos.Edit5 = QStringLiteral("25");
        parametros.Escribe_Parametros(campos);
        CamposParametros leidos;
        parametros.Lee_Parametros(leidos, QStringLiteral("01"), idiomaInvalido);
        QCOMPARE(leidos.Edit5, QStringLiteral("25"));
        QStringList lineas;
        TestPlacas(m_link, textos)
            .ejecuta({[] { return false; }, [](int) {}, [&](const QString &l) { lineas << l; }, {}});
        QCOMPARE(lineas.size(), 2);
        QVERIFY(lineas.at(0).startsWith(QStringLiteral("Panel : 1 ")));
        QVERIFY(lineas.at(1).startsWith(QStringLiteral("Panel : 4 ")));
        QCOMPARE(detectado.size(), 0);
    }

    // Without the setting the first read meets its own request: the echo is recognised, the
    // setting turned on, and the board's value still read.
    void readDetectsTheEcho()
    {
        arranca({QStringLiteral("--echo")});
        QSignalSpy detectado(&m_link, &Comunicacion_TZR::ecoDetectado);
        // Every presence request comes back as its own acknowledgement, so absent boards seem to
        // answer. A present board's own acknowledgement comes behind the echo: glued to it, it
        // spoils the frame; a moment later, it answers no request and the scan says so.
        QList<int> presentes;
        bool desalineadas = false;
        try {
            presentes = escanea();
        } catch (const RepliesMisaligned &) {
            desalineadas = true;
        }
        QVERIFY(desalineadas || presentes.size() > 2);
        m_port->purge();
        int valor = -1;
        QVERIFY(m_link.Lee_Byte(1, 1, valor));
        QCOMPARE(valor, 1);
        QCOMPARE(detectado.size(), 1);
        QVERIFY(m_port->lineEchoes());
        QCOMPARE(escanea(), QList<int>({1, 4}));
        QVERIFY(m_link.Lee_Byte(4, 1, valor));
        QCOMPARE(valor, 4);
        QCOMPARE(detectado.size(), 1);
    }

    // The stand-in goes away part-way: the transfer ends at once, a receive keeps the table's
    // rows, a send says how many users got through.
    void standInRemovedEndsTheTransfer_data()
    {
        QTest::addColumn<Transferencia>("transferencia");
        QTest::newRow("receive") << Transferencia::Recibir;
        QTest::newRow("send") << Transferencia::Enviar;
    }
    void standInRemovedEndsTheTransfer()
    {
        QFETCH(Transferencia, transferencia);
        arranca({});
        FixedTexts textos;
        Clock reloj;
        Transferencias transferencias(m_link, textos, reloj);
        int intercambios = 0;
        // Killed in the middle: after the erase, during the second user of a send.
        const int corte = transferencia == Transferencia::Recibir ? 200 : 350 + 45 + 20;
        QObject contexto;
        connect(&m_link, &Comunicacion_TZR::intercambioTerminado, &contexto, [&] {
            if (++intercambios == corte) {
                m_sim.kill();
            }
        });
        const QList<FilaUsuario> antes{fila("OLD", "0001", "001", "123456")};
        MemoryTable tabla;
        tabla.setFilas(antes);
        if (transferencia == Transferencia::Recibir) {
            QVERIFY_THROWS_EXCEPTION(PuertoPerdido, transferencias.Conexion_General(tabla));
            QCOMPARE(tabla.filas(), antes);
        } else {
            QList<RegistroEnvio> registros;
            FilaRechazada rechazo;
            QVERIFY(transferencias.Prepara_Envio(Enviadas, registros, rechazo));
            const ResultadoEnvio r = transferencias.Envio_General(registros, QStringLiteral("COM41"));
            QCOMPARE(int(r.interrupcion), int(Interrupcion::PuertoPerdido));
            QCOMPARE(r.usuarios, 1);
            QVERIFY(!r.completo());
        }
        // It ended at the first exchange after the line went, not after retries of every byte.
        QCOMPARE(intercambios, corte);
        QVERIFY(m_port->isLost());
        QVERIFY_THROWS_EXCEPTION(PuertoPerdido, m_link.Sondea_Placa(1));
    }

private:
    QTemporaryDir m_dir;
    StandIn m_sim;
    std::unique_ptr<QtSerialPort> m_port;
    Comunicacion_TZR m_link;
};

QTEST_GUILESS_MAIN(TestLineasPty)
#include "tst_lineaspty.moc"
