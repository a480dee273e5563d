#include "Comunicacion_TZR.h"
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
