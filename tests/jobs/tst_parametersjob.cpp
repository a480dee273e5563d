#include "BoardBus.h"
#include "BusSerialPort.h"
#include "Comunicacion_TZR.h"
#include "FixedTexts.h"
#include "ParametersJob.h"

#include <QtTest>

// The one check of new parameters that the window and "tzr params" share.
class TestParametersJob : public QObject
{
    Q_OBJECT

private slots:
    void validate_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("refused");

        QTest::newRow("all good") << "" << "" << "";
        QTest::newRow("panel 31") << "Edit1" << "31" << "";
        QTest::newRow("panel with a sign") << "Edit1" << "+5" << "Panel number";
        QTest::newRow("panel with a space") << "Edit1" << " 5" << "Panel number";
        QTest::newRow("panel of three digits") << "Edit1" << "005" << "Panel number";
        QTest::newRow("reader 1") << "Edit4" << "1" << "";
        QTest::newRow("reader 9") << "Edit4" << "9" << "Reader";
        QTest::newRow("reader 300") << "Edit4" << "300" << "Reader";
        QTest::newRow("reader 01") << "Edit4" << "01" << "Reader";
        QTest::newRow("language not on the board") << "Edit3" << "KLINGON" << "Language";
        QTest::newRow("language in lower case") << "Edit3" << "english" << "Language";
        QTest::newRow("code length 06") << "Edit2" << "06" << "Code Length";
        QTest::newRow("time A of three digits") << "Edit5" << "010" << "Time A";
        QTest::newRow("time B with a sign") << "Edit6" << "+9" << "Time B";
        QTest::newRow("programming code of 6") << "Edit7" << "123456" << "Programming Code";
        QTest::newRow("master code of 6") << "Edit8" << "543210" << "Master Code";
        QTest::newRow("master code with B inside") << "Edit8" << "1B345" << "";
        QTest::newRow("master code in lower case") << "Edit8" << "1b345" << "Master Code";
    }
    void validate()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, refused);
        CamposParametros c{QStringLiteral("3"),     QStringLiteral("5"),     QStringLiteral("ENGLISH"),
                           QStringLiteral("0"),     QStringLiteral("10"),    QStringLiteral("20"),
                           QStringLiteral("12345"), QStringLiteral("54321")};
        QString *fields[] = {&c.Edit1, &c.Edit2, &c.Edit3, &c.Edit4, &c.Edit5, &c.Edit6, &c.Edit7, &c.Edit8};
        if (!field.isEmpty())
            *fields[field.mid(4).toInt() - 1] = value;
        QString mensaje = QStringLiteral("untouched");
        QCOMPARE(ParametersJob::validate(c, EtiquetasParametros{}, mensaje), refused.isEmpty());
        if (!refused.isEmpty())
            QCOMPARE(mensaje, refused);
    }

    // Writes acknowledged but not kept: the result says what the board holds, code by code,
    // and never that the parameters were written; a write lost once is mended by the retry.
    void writeIsReadBack_data()
    {
        QTest::addColumn<QList<int>>("lost");
        QTest::addColumn<int>("times");
        QTest::addColumn<QString>("master");
        QTest::addColumn<QString>("programming");
        QTest::addColumn<QString>("settings");
        QTest::newRow("all kept") << QList<int>{} << -1 << "12345" << "" << "";
        QTest::newRow("lost once") << QList<int>{16, 17, 18, 19, 20, 21, 5} << 1 << "12345" << "" << "";
        QTest::newRow("master code none kept")
            << QList<int>{16, 17, 18, 19, 20, 21} << -1 << "The master code was not changed." << "The programming code was changed." << "";
        QTest::newRow("master code one byte kept")
            << QList<int>{16, 18, 19, 20, 21} << -1 << "The master code may be partly changed; the board's master code is not known."
            << "The programming code was changed." << "";
        QTest::newRow("time A lost") << QList<int>{5} << -1 << "The master code was changed."
                                     << "The programming code was changed." << "Not written: Time A.";
    }
    void writeIsReadBack()
    {
        QFETCH(QList<int>, lost);
        QFETCH(int, times);
        QFETCH(QString, master);
        QFETCH(QString, programming);
        QFETCH(QString, settings);
        BoardBus bus;
        bus.addBoard(1);
        QVERIFY(bus.board(1)->setMasterCode(QStringLiteral("40962")));
        BoardBus::Faults faults;
        faults.lostWriteAddresses = QSet<int>(lost.begin(), lost.end());
        faults.lostWriteTimes = times;
        bus.setFaults(faults);
        BusSerialPort port(bus);
        QVERIFY(port.open(QStringLiteral("COM1")));
        Comunicacion_TZR link;
        link.setPuerto(&port);
        link.setBoard(1);
        const ParametersJob job(link, false);
        CamposParametros c{QStringLiteral("1"),     QStringLiteral("5"),     QStringLiteral("ENGLISH"),
                           QStringLiteral("0"),     QStringLiteral("30"),    QStringLiteral("20"),
                           QStringLiteral("11111"), QStringLiteral("12345")};
        const ParametersWrite w = ParametersJob::writeFields(link, c, EtiquetasParametros{}, QStringLiteral("01"));
        QVERIFY(w.written);
        // Every write was acknowledged: only the reading back tells.
        QCOMPARE(bus.requests(BoardBus::CMD_WRITE).size() >= 18, true);
        const bool kept = settings.isEmpty() && master == QLatin1String("12345");
        QCOMPARE(w.complete(), kept);
        QCOMPARE(bus.board(1)->masterCode() == QStringLiteral("12345"), kept || !settings.isEmpty());
        const QStringList lines = ParametersJob::describe(w, FixedTexts{});
        if (kept) {
            QVERIFY(lines.isEmpty());
            return;
        }
        QCOMPARE(lines.value(0), programming);
        QCOMPARE(lines.value(1), master);
        QCOMPARE(lines.value(2), settings);
    }

    // The longer reply time lasts exactly as long as the job.
    void replyTimeFollowsTheJob()
    {
        Comunicacion_TZR link;
        {
            const ParametersJob job(link, false);
            QCOMPARE(link.intervalo(), TIEMPO_RESPUESTA_LENTO);
        }
        QCOMPARE(link.intervalo(), TIEMPO_RESPUESTA);
    }
};

QTEST_GUILESS_MAIN(TestParametersJob)
#include "tst_parametersjob.moc"
