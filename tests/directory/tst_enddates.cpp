#include "CsvText.h"
#include "DataFileCopy.h"
#include "EndDates.h"
#include "FixedTexts.h"
#include "Table.h"
#include "TableCursor.h"
#include "UsersExport.h"
#include "UsersImport.h"
#include "UsersTableRules.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString carpetaPatron()
{
    return qEnvironmentVariable("TZR_BUILD_DIR") + QStringLiteral("/data");
}

QString languageFile()
{
    return qEnvironmentVariable("TZR_SOURCE_DIR") + QStringLiteral("/data/TZR_LANG.ini");
}

QList<SheetRow> sheet(const QList<QStringList> &rows, const QList<int> &numbers = {})
{
    QList<SheetRow> result;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        SheetRow row{static_cast<int>(i) + 1, rows.at(i)};
        for (int n : numbers)
            row.numbers << n;
        result << row;
    }
    return result;
}

const QStringList ANA{"ANA", "0001", "001", "123400", "", "", ""};
const QStringList BEA{"BEA", "0002", "002", "567800", "", "", ""};

} // namespace

class TestEndDates : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        Copia_Patron(m_dir->filePath(QStringLiteral("users.db")), carpetaPatron());
    }

    void cleanup() { m_dir.reset(); }

    void datesAndTheirEnd_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<bool>("expiredOn20261210");
        QTest::newRow("yesterday") << "2026-12-09" << QDate(2026, 12, 9) << true;
        QTest::newRow("today: still let in") << "2026-12-10" << QDate(2026, 12, 10) << false;
        QTest::newRow("tomorrow") << "2026-12-11" << QDate(2026, 12, 11) << false;
        QTest::newRow("spaces around") << " 2027-01-31 " << QDate(2027, 1, 31) << false;
        QTest::newRow("no such day") << "2026-02-30" << QDate() << false;
        QTest::newRow("one-digit month") << "2026-2-01" << QDate() << false;
        QTest::newRow("local form") << "10/12/2026" << QDate() << false;
        QTest::newRow("time behind") << "2026-12-01T10:00" << QDate() << false;
        QTest::newRow("empty: no end") << "" << QDate() << false;
    }
    void datesAndTheirEnd()
    {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        QFETCH(bool, expiredOn20261210);
        QCOMPARE(EndDates::parse(text), date);
        QCOMPARE(EndDates::expired(EndDates::parse(text), QDate(2026, 12, 10)), expiredOn20261210);
    }

    // The key is the stored name and code: what a receive brings back for the same user.
    void aDateBelongsToNameAndCode()
    {
        TableStore store;
        store.open(m_dir->filePath(QStringLiteral("users.db")));
        EndDates::set(store, QStringLiteral("ANA  "), QStringLiteral("123400"), QDate(2027, 3, 1));
        const EndDates dates = EndDates::load(store);
        QCOMPARE(dates.dateOf(QStringLiteral("ANA"), QStringLiteral("123400")), QDate(2027, 3, 1));
        QCOMPARE(dates.dateOf(QStringLiteral("ANA"), QStringLiteral("999900")), QDate());
        QCOMPARE(dates.dateOf(QStringLiteral("ANNA"), QStringLiteral("123400")), QDate());
        // The code is not kept a second time, in any form that reads as the code.
        for (const TableStore::SideRecord &r : store.sideRecords(QString::fromLatin1(EndDates::Kind)))
            QVERIFY(!r.key.contains(QLatin1String("1234")) && !r.value.contains("1234"));

        EndDates::follow(store, QStringLiteral("ANA"), QStringLiteral("123400"), QStringLiteral("ANA"),
                         QStringLiteral("555500"));
        QCOMPARE(EndDates::load(store).dateOf(QStringLiteral("ANA"), QStringLiteral("555500")), QDate(2027, 3, 1));
        QCOMPARE(EndDates::load(store).size(), 1);
        EndDates::set(store, QStringLiteral("ANA"), QStringLiteral("555500"), QDate());
        QVERIFY(EndDates::load(store).isEmpty());

        // An end no one can read is taken as passed: the code is not kept alive on a doubt.
        store.setSideRecord(QString::fromLatin1(EndDates::Kind), EndDates::keyOf(QStringLiteral("BEA"), QStringLiteral("1")),
                            "20x7-01-01");
        QVERIFY(EndDates::expired(EndDates::load(store).dateOf(QStringLiteral("BEA"), QStringLiteral("1")),
                                  QDate(2026, 12, 10)));
    }

    // Save as copies the family: the ends go with it.
    void datesTravelWithACopy()
    {
        {
            TableStore store;
            store.open(m_dir->filePath(QStringLiteral("users.db")));
            EndDates::set(store, QStringLiteral("ANA"), QStringLiteral("123400"), QDate(2027, 3, 1));
        }
        Table table;
        table.setDirectory(m_dir->path() + QLatin1Char('/'));
        table.setTableName(QStringLiteral("users.db"));
        table.open();
        Copia_Tabla(m_dir->filePath(QStringLiteral("copy.db")), table);
        table.close();
        TableStore copy;
        copy.open(m_dir->filePath(QStringLiteral("copy.db")));
        QCOMPARE(EndDates::load(copy).dateOf(QStringLiteral("ANA"), QStringLiteral("123400")), QDate(2027, 3, 1));
    }

    void importReadsTheColumn_data()
    {
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<QList<int>>("numbers");
        QTest::addColumn<bool>("hasEndDates");
        QTest::addColumn<QList<QDate>>("dates");
        QTest::addColumn<int>("problems");
        const QStringList title{"Name", "Call", "TZR", "Code", "Line 2", "L2", "Type"};
        QTest::newRow("VALID_UNTIL title")
            << QList<QStringList>{title + QStringList{"VALID_UNTIL"}, ANA + QStringList{"2027-01-31"}, BEA + QStringList{""}}
            << QList<int>{} << true << QList<QDate>{QDate(2027, 1, 31), QDate()} << 0;
        QTest::newRow("Spanish title, before the fields")
            << QList<QStringList>{QStringList{QString::fromUtf8("Válido hasta"), "Nombre", "Llamada", "TZR", "Código"},
                                  QStringList{"2026-12-01", "ANA", "0001", "001", "123400"}}
            << QList<int>{} << true << QList<QDate>{QDate(2026, 12, 1)} << 0;
        QTest::newRow("French title")
            << QList<QStringList>{QStringList{"Nom", "Appel", "TZR", "Code", "Valable jusqu'au"},
                                  QStringList{"ANA", "0001", "001", "123400", "2027-06-30"}}
            << QList<int>{} << true << QList<QDate>{QDate(2027, 6, 30)} << 0;
        QTest::newRow("a bad date refuses its row only")
            << QList<QStringList>{title + QStringList{"VALID_UNTIL"}, ANA + QStringList{"31/01/2027"}, BEA + QStringList{"2027-02-01"}}
            << QList<int>{} << true << QList<QDate>{QDate(2027, 2, 1)} << 1;
        QTest::newRow("workbook date cell")
            << QList<QStringList>{title + QStringList{"VALID_UNTIL"}, ANA + QStringList{"46418"}}
            << QList<int>{7} << true << QList<QDate>{QDate(2027, 1, 31)} << 0;
        QTest::newRow("no titles: after the fields, as exported")
            << QList<QStringList>{ANA + QStringList{"2027-01-31"}, BEA}
            << QList<int>{} << true << QList<QDate>{QDate(2027, 1, 31), QDate()} << 0;
        QTest::newRow("no titles, an empty cell at the end is no column")
            << QList<QStringList>{ANA + QStringList{""}, BEA}
            << QList<int>{} << false << QList<QDate>{} << 0;
        QTest::newRow("no column") << QList<QStringList>{title, ANA} << QList<int>{} << false << QList<QDate>{} << 0;
    }
    void importReadsTheColumn()
    {
        QFETCH(QList<QStringList>, rows);
        QFETCH(QList<int>, numbers);
        QFETCH(bool, hasEndDates);
        QFETCH(QList<QDate>, dates);
        QFETCH(int, problems);
        const UsersImport import(m_texts, languageFile());
        const ImportPlan plan = import.plan(sheet(rows, numbers), ImportMode::Replace, 0);
        QCOMPARE(plan.problems.size(), problems);
        QCOMPARE(plan.hasEndDates, hasEndDates);
        QCOMPARE(plan.endDates, dates);
        if (problems > 0)
            QVERIFY2(plan.problems.at(0).reason.contains(QLatin1String("YYYY-MM-DD")), qPrintable(plan.problems.at(0).reason));
    }

    // Stored with the rows; a replace with the column makes the file's ends the list's, one
    // without it leaves them.
    void importStoresTheDates_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("withColumn");
        QTest::addColumn<QDate>("ana");
        QTest::addColumn<QDate>("bea");
        QTest::newRow("replace with the column") << int(ImportMode::Replace) << true << QDate(2027, 1, 31) << QDate();
        QTest::newRow("append with the column") << int(ImportMode::Append) << true << QDate(2027, 1, 31) << QDate(2030, 1, 1);
        QTest::newRow("replace without it") << int(ImportMode::Replace) << false << QDate(2029, 1, 1) << QDate(2030, 1, 1);
    }
    void importStoresTheDates()
    {
        QFETCH(int, mode);
        QFETCH(bool, withColumn);
        QFETCH(QDate, ana);
        QFETCH(QDate, bea);
        {
            TableStore store;
            store.open(m_dir->filePath(QStringLiteral("users.db")));
            EndDates::set(store, QStringLiteral("ANA"), QStringLiteral("123400"), QDate(2029, 1, 1));
            EndDates::set(store, QStringLiteral("BEA"), QStringLiteral("567800"), QDate(2030, 1, 1));
        }
        const UsersImport import(m_texts, languageFile());
        const QStringList title{"Name", "Call", "TZR", "Code"};
        const QList<QStringList> rows = withColumn
                                            ? QList<QStringList>{title + QStringList{"VALID_UNTIL"},
                                                                 ANA.mid(0, 4) + QStringList{"2027-01-31"}}
                                            : QList<QStringList>{title, ANA.mid(0, 4)};
        const ImportPlan plan = import.plan(sheet(rows), ImportMode(mode), 0);
        QVERIFY(plan.problems.isEmpty());
        UsersImport::apply(m_dir->path(), QStringLiteral("users.db"), plan, ImportMode(mode));
        TableStore store;
        store.open(m_dir->filePath(QStringLiteral("users.db")));
        const EndDates dates = EndDates::load(store);
        QCOMPARE(dates.dateOf(QStringLiteral("ANA"), QStringLiteral("123400")), ana);
        QCOMPARE(dates.dateOf(QStringLiteral("BEA"), QStringLiteral("567800")), bea);
    }

    void exportWritesTheDatesAfterTheFields_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("dated");
        QTest::newRow("csv, dated") << "csv" << true;
        QTest::newRow("xls, dated") << "xls" << true;
        QTest::newRow("csv, no dates: as before") << "csv" << false;
    }
    void exportWritesTheDatesAfterTheFields()
    {
        QFETCH(QString, suffix);
        QFETCH(bool, dated);
        ImportPlan rows;
        rows.rows = {ANA, BEA};
        UsersImport::apply(m_dir->path(), QStringLiteral("users.db"), rows, ImportMode::Replace);
        Table table;
        table.setDirectory(m_dir->path() + QLatin1Char('/'));
        table.setTableName(QStringLiteral("users.db"));
        table.open();
        table.setGetTextHook(Campo::CODIGO, codigoGetText);
        if (dated)
            EndDates::set(table, QStringLiteral("BEA"), table.value(1, Campo::CODIGO), QDate(2027, 5, 1));
        const QList<QStringList> cells = exportRows(table);
        QCOMPARE(cells.value(0).size(), dated ? 8 : 7);
        if (dated)
            QCOMPARE(cells.value(1).value(7), QStringLiteral("2027-05-01"));
        const QString out = m_dir->filePath(QStringLiteral("out.") + suffix);
        if (suffix == QLatin1String("csv")) {
            QFile file(out);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(CsvText::write(cells));
        } else {
            QVERIFY(ToolExcelClick(table, out));
        }
        table.close();
        // Read back into another file, the date comes with its user.
        Copia_Patron(m_dir->filePath(QStringLiteral("back.db")), carpetaPatron());
        const UsersImport import(m_texts, languageFile());
        const ImportPlan plan = import.plan(UsersImport::readFile(out), ImportMode::Replace, 0);
        QVERIFY(plan.problems.isEmpty());
        UsersImport::apply(m_dir->path(), QStringLiteral("back.db"), plan, ImportMode::Replace);
        TableStore back;
        back.open(m_dir->filePath(QStringLiteral("back.db")));
        QCOMPARE(EndDates::load(back).dateOf(QStringLiteral("BEA"), QStringLiteral("567800")),
                 dated ? QDate(2027, 5, 1) : QDate());
        QCOMPARE(EndDates::load(back).size(), dated ? 1 : 0);
    }

private:
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    FixedTexts m_texts;
};

QTEST_GUILESS_MAIN(TestEndDates)
#include "tst_enddates.moc"
