#include "Table.h"
#include "TableCursor.h"
#include "TableFamily.h"
#include "TzrError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString NAME = QStringLiteral("NAME");
const QString CODE = QStringLiteral("CODE");

QStringList walk(TableCursor &cursor)
{
    QStringList names;
    for (cursor.first(); !cursor.eof(); cursor.next())
        names << cursor.value(NAME);
    return names;
}

} // namespace

class TestTableCursor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void walksInPrimaryAndIndexOrder();
    void insertPostStoresWithoutRules();
    void deletingEveryRowEmptiesTheTable();
    void errorsAtTheEndAndForUnknownFields();
    void rollbackPutsTheRowsBack();
    void uncommittedRowsStayInvisible();
    void commitStoresEverything();
    void closeRollsBackAnUnfinishedTransaction();
    void familyIsFiveFilesAfterATransaction();
    void crashInsideATransactionKeepsTheOldRows();

private:
    void fill(const QStringList &names);
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    TableCursor m_cursor;
};

void TestTableCursor::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
}

void TestTableCursor::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    TableFamily::create(m_dir->filePath(QStringLiteral("people")),
                        TableDescription({{NAME, 8}, {CODE, 4}}, QStringLiteral("I_NAME"), NAME));
    m_cursor.open(m_dir->path(), QStringLiteral("people.db"));
}

void TestTableCursor::cleanup()
{
    m_cursor.close();
    m_dir.reset();
}

void TestTableCursor::fill(const QStringList &names)
{
    for (const QString &n : names) {
        m_cursor.insert();
        m_cursor.setValue(NAME, n);
        m_cursor.post();
    }
}

void TestTableCursor::walksInPrimaryAndIndexOrder()
{
    fill({"PAU", "ANA", "LUIS", "ANA"});
    QCOMPARE(m_cursor.recordCount(), 4);
    QCOMPARE(walk(m_cursor), QStringList({"PAU", "ANA", "LUIS", "ANA"}));
    m_cursor.setIndexName(QStringLiteral("I_NAME"));
    QCOMPARE(walk(m_cursor), QStringList({"ANA", "ANA", "LUIS", "PAU"}));
    // A row posted under the index lands in its place.
    fill({"BEA"});
    QCOMPARE(walk(m_cursor), QStringList({"ANA", "ANA", "BEA", "LUIS", "PAU"}));
    QVERIFY_THROWS_EXCEPTION(TzrError, m_cursor.setIndexName(QStringLiteral("I_CODE")));
    QCOMPARE(m_cursor.indexName(), QStringLiteral("I_NAME"));
}

void TestTableCursor::insertPostStoresWithoutRules()
{
    m_cursor.insert();
    QVERIFY(m_cursor.isInserting());
    m_cursor.setValue(NAME, QStringLiteral("ABCDEFGHIJ  "));
    m_cursor.setValue(CODE, QStringLiteral("7   "));
    m_cursor.post();
    QVERIFY(!m_cursor.isInserting());
    QCOMPARE(m_cursor.value(NAME), QStringLiteral("ABCDEFGH"));
    QCOMPARE(m_cursor.value(CODE), QStringLiteral("7"));
    m_cursor.insert();
    m_cursor.setValue(NAME, QStringLiteral("GONE"));
    m_cursor.cancel();

    Table table;
    table.setDirectory(m_dir->path());
    table.setTableName(QStringLiteral("people.db"));
    table.open();
    QCOMPARE(table.recordCount(), 1);
    QCOMPARE(table.value(CODE), QStringLiteral("7"));
}

void TestTableCursor::deletingEveryRowEmptiesTheTable()
{
    fill({"A", "B", "C"});
    m_cursor.first();
    m_cursor.next();
    m_cursor.deleteCurrent();
    QCOMPARE(m_cursor.value(NAME), QStringLiteral("C"));
    m_cursor.first();
    while (!m_cursor.eof())
        m_cursor.deleteCurrent();
    QCOMPARE(m_cursor.recordCount(), 0);
    m_cursor.refresh();
    QCOMPARE(m_cursor.recordCount(), 0);
    QVERIFY(m_cursor.eof());
}

void TestTableCursor::errorsAtTheEndAndForUnknownFields()
{
    QVERIFY(m_cursor.eof());
    QVERIFY_THROWS_EXCEPTION(TzrError, m_cursor.value(NAME));
    QVERIFY_THROWS_EXCEPTION(TzrError, m_cursor.deleteCurrent());
    fill({"A"});
    QVERIFY_THROWS_EXCEPTION(TzrError, m_cursor.value(QStringLiteral("MISSING")));
    QVERIFY_THROWS_EXCEPTION(TzrError, m_cursor.setValue(NAME, QStringLiteral("B")));
}

void TestTableCursor::rollbackPutsTheRowsBack()
{
    fill({"OLD1", "OLD2"});
    m_cursor.begin();
    QVERIFY(m_cursor.inTransaction());
    m_cursor.first();
    while (!m_cursor.eof())
        m_cursor.deleteCurrent();
    fill({"NEW1", "NEW2", "NEW3"});
    QCOMPARE(walk(m_cursor), QStringList({"NEW1", "NEW2", "NEW3"}));
    m_cursor.rollback();
    QVERIFY(!m_cursor.inTransaction());
    QCOMPARE(walk(m_cursor), QStringList({"OLD1", "OLD2"}));

    TableCursor other;
    other.open(m_dir->path(), QStringLiteral("people.db"));
    QCOMPARE(walk(other), QStringList({"OLD1", "OLD2"}));
}

void TestTableCursor::uncommittedRowsStayInvisible()
{
    fill({"OLD"});
    m_cursor.begin();
    m_cursor.first();
    m_cursor.deleteCurrent();
    fill({"NEW"});
    TableCursor reader;
    reader.open(m_dir->path(), QStringLiteral("people.db"));
    QCOMPARE(walk(reader), QStringList{QStringLiteral("OLD")});
    m_cursor.commit();
    reader.refresh();
    QCOMPARE(walk(reader), QStringList{QStringLiteral("NEW")});
}

void TestTableCursor::commitStoresEverything()
{
    m_cursor.begin();
    QStringList names;
    for (int i = 0; i < 350; ++i)
        names << QStringLiteral("U%1").arg(i, 3, 10, QLatin1Char('0'));
    fill(names);
    m_cursor.commit();
    m_cursor.close();
    m_cursor.open(m_dir->path() + QLatin1Char('/'), QStringLiteral("people.db"));
    QCOMPARE(walk(m_cursor), names);
}

void TestTableCursor::closeRollsBackAnUnfinishedTransaction()
{
    fill({"OLD"});
    m_cursor.begin();
    fill({"NEW"});
    m_cursor.close();
    m_cursor.open(m_dir->path(), QStringLiteral("people.db"));
    QCOMPARE(walk(m_cursor), QStringList{QStringLiteral("OLD")});
}

void TestTableCursor::familyIsFiveFilesAfterATransaction()
{
    m_cursor.begin();
    fill({"A", "B"});
    m_cursor.commit();
    m_cursor.close();
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             QStringList({"people.XG0", "people.YG0", "people.db", "people.px", "people.val"}));
}

void TestTableCursor::crashInsideATransactionKeepsTheOldRows()
{
    fill({"OLD"});
    m_cursor.close();
    const qint64 sizeBefore = QFileInfo(m_dir->filePath(QStringLiteral("people.db"))).size();
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // Dies half way through replacing the rows, as a power cut would.
        TableCursor writer;
        writer.open(m_dir->path(), QStringLiteral("people.db"));
        writer.begin();
        writer.first();
        writer.deleteCurrent();
        // Enough rows to overflow the page cache, so the database file itself is changed and
        // only the journal can put it back.
        for (int i = 0; i < 60000; ++i) {
            writer.insert();
            writer.setValue(NAME, QStringLiteral("NEW%1").arg(i));
            writer.post();
        }
        _exit(0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("people.db-journal"))));
    QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("people.db"))).size() > sizeBefore);

    m_cursor.open(m_dir->path(), QStringLiteral("people.db"));
    QCOMPARE(walk(m_cursor), QStringList{QStringLiteral("OLD")});
    fill({"NEXT"});
    m_cursor.close();
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 5);
}

QTEST_GUILESS_MAIN(TestTableCursor)
#include "tst_tablecursor.moc"
