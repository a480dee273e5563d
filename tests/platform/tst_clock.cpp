#include "Clock.h"

#include <QTimeZone>
#include <QtTest>

class TestClock : public QObject
{
    Q_OBJECT

private slots:
    void split_data();
    void split();
    void longTimeFormat_data();
    void longTimeFormat();
    void longTimeShowsNoTimeZone();
};

// clang-format off
void TestClock::split_data()
{
    QTest::addColumn<qint64>("difference");
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("milliseconds");

    QTest::newRow("none") << qint64(0) << 0 << 0 << 0 << 0;
    QTest::newRow("one millisecond") << qint64(1) << 0 << 0 << 0 << 1;
    QTest::newRow("every part") << qint64(((1 * 60 + 2) * 60 + 3) * 1000 + 4) << 1 << 2 << 3 << 4;
    QTest::newRow("last of a day") << qint64(24LL * 3600 * 1000 - 1) << 23 << 59 << 59 << 999;
    QTest::newRow("whole days dropped") << qint64(2 * 24LL * 3600 * 1000 + 5000) << 0 << 0 << 5 << 0;
    QTest::newRow("clock set back a second") << qint64(-1000) << 0 << 0 << 1 << 0;
    QTest::newRow("clock set back a day and a minute")
        << qint64(-(24LL * 3600 + 60) * 1000) << 0 << 1 << 0 << 0;
}
// clang-format on

void TestClock::split()
{
    QFETCH(qint64, difference);
    QFETCH(int, hours);
    QFETCH(int, minutes);
    QFETCH(int, seconds);
    QFETCH(int, milliseconds);

    const QDateTime earlier(QDate(2026, 12, 7), QTime(23, 30, 0, 500));
    const Clock::Parts parts = Clock::split(earlier.addMSecs(difference), earlier);
    QCOMPARE(parts.hours, hours);
    QCOMPARE(parts.minutes, minutes);
    QCOMPARE(parts.seconds, seconds);
    QCOMPARE(parts.milliseconds, milliseconds);
}

// clang-format off
void TestClock::longTimeFormat_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");
    QTest::newRow("C") << "C" << "HH:mm:ss";
    QTest::newRow("Spanish") << "es_ES" << "H:mm:ss";
    QTest::newRow("French") << "fr_FR" << "HH:mm:ss";
    QTest::newRow("American") << "en_US" << "h:mm:ss AP";
}
// clang-format on

void TestClock::longTimeFormat()
{
    QFETCH(QString, locale);
    QFETCH(QString, expected);
    QCOMPARE(Clock::longTimeFormat(QLocale(locale)), expected);
}

void TestClock::longTimeShowsNoTimeZone()
{
    const QString text = Clock::longTime(QTime(1, 5, 9));
    QVERIFY2(text.contains(QStringLiteral("1:05:09")), qPrintable(text));
    const QString zone = QTimeZone::systemTimeZone().abbreviation(QDateTime::currentDateTime());
    if (!zone.isEmpty())
        QVERIFY2(!text.contains(zone), qPrintable(text));
    QVERIFY2(!text.contains(QLatin1Char('(')), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
