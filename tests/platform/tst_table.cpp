#include "Table.h"
#include "TableCursor.h"
#include "TableFamily.h"
#include "TzrError.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QString NAME = QStringLiteral("NAME");
const QString CODE = QStringLiteral("CODE");
const QString NOTE = QStringLiteral("NOTE");

TableDescription people()
{
    return TableDescription({{NAME, 8}, {CODE, 4, QStringLiteral("ZZ")}, {NOTE, 6}}, QStringLiteral("I_NAME"),
                            NAME);
}

// What the file holds, read through an independent handle, in primary order.
QStringList stored(const QString &folder)
{
    TableCursor cursor;
    cursor.open(folder, QStringLiteral("people.db"));
    QStringList rows;
    for (cursor.first(); !cursor.eof(); cursor.next())
        rows << cursor.value(NAME) + QLatin1Char('|') + cursor.value(CODE) + QLatin1Char('|') +
                    cursor.value(NOTE);
    return rows;
}

QStringList shown(const Table &table, const QString &field = NAME)
{
    QStringList list;
    for (int r = 0; r < table.rowCount(); ++r)
        list << table.value(r, field);
    return list;
}

} // namespace

class TestTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fieldsComeFromTheFamily();
    void openMissingFamilyFailsAndStaysClosed();
    void storedValuesAreTrimmedAndCut_data();
    void storedValuesAreTrimmedAndCut();
    void setValueNeedsEditing();
    void insertStartsWithDefaultsAtTheCurrentRow();
    void postStoresAndCancelDrops();
    void editOnEmptyTableInserts();
    void refusingHookLeavesTableAsItWas_data();
    void refusingHookLeavesTableAsItWas();
    void throwingAfterDeleteKeepsTheRow();
    void navigation();
    void movingPostsModifiedRowAndDropsUntouchedOne();
    void refusedPostStopsTheMove();
    void indexOrdersByNameThenByInsertion();
    void postedRowTakesItsPlaceInTheIndex();
    void indexChoiceOutlivesClose();
    void unknownIndexChangesNothing();
    void textHooks();
    void refreshSeesTheOtherHandle();
    void writeOnRowsChangedBehindIsRefused_data();
    void writeOnRowsChangedBehindIsRefused();
    void sideRecordBehindKeepsTheEdit();

private:
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Table> m_table;
    void add(const QString &name, const QString &code = QStringLiteral("1"));
};

void TestTable::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
}

void TestTable::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    TableFamily::create(m_dir->filePath(QStringLiteral("people")), people());
    m_table = std::make_unique<Table>();
    m_table->setDirectory(m_dir->path() + QLatin1Char('/'));
    m_table->setTableName(QStringLiteral("people.db"));
    m_table->open();
}

void TestTable::cleanup()
{
    m_table.reset();
    m_dir.reset();
}

void TestTable::add(const QString &name, const QString &code)
{
    QVERIFY(m_table->append());
    m_table->setValue(NAME, name);
    m_table->setValue(CODE, code);
    QVERIFY(m_table->post());
}

void TestTable::fieldsComeFromTheFamily()
{
    QCOMPARE(m_table->fieldCount(), 3);
    QCOMPARE(m_table->fieldName(0), NAME);
    QCOMPARE(m_table->fieldName(2), NOTE);
    QCOMPARE(m_table->fieldSize(QStringLiteral("code")), 4);
    QCOMPARE(m_table->fieldIndex(QStringLiteral("MISSING")), -1);
    QCOMPARE(m_table->state(), Table::State::Browse);
    QCOMPARE(m_table->recordCount(), 0);
    QVERIFY(m_table->eof());
    QCOMPARE(m_table->currentRow(), -1);
}

void TestTable::openMissingFamilyFailsAndStaysClosed()
{
    Table table;
    table.setDirectory(m_dir->path());
    table.setTableName(QStringLiteral("nobody.db"));
    QVERIFY_THROWS_EXCEPTION(TzrError, table.open());
    QVERIFY(!table.isOpen());
    QCOMPARE(table.state(), Table::State::Inactive);
    QVERIFY(!TableFamily::exists(m_dir->filePath(QStringLiteral("nobody"))));
}

void TestTable::storedValuesAreTrimmedAndCut_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("trailing spaces") << "ANA   "
                                     << "ANA";
    QTest::newRow("spaces only") << "      "
                                 << "";
    QTest::newRow("leading spaces stay") << "  ANA"
                                         << "  ANA";
    QTest::newRow("exact width") << "ABCDEFGH"
                                 << "ABCDEFGH";
    QTest::newRow("longer than the field") << "ABCDEFGHIJK"
                                           << "ABCDEFGH";
    QTest::newRow("cut exposes spaces") << "ABC     XYZ"
                                        << "ABC";
    QTest::newRow("not Latin-1") << QStringLiteral("ŁUKASZ  ") << QStringLiteral("ŁUKASZ");
}

void TestTable::storedValuesAreTrimmedAndCut()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QVERIFY(m_table->append());
    m_table->setValue(NAME, typed);
    QCOMPARE(m_table->value(NAME), kept);
    QVERIFY(m_table->post());
    QCOMPARE(m_table->value(NAME), kept);
    m_table->close();
    m_table->open();
    QCOMPARE(m_table->value(NAME), kept);
}

void TestTable::setValueNeedsEditing()
{
    add(QStringLiteral("ANA"));
    QVERIFY_THROWS_EXCEPTION(TzrError, m_table->setValue(NAME, QStringLiteral("EVA")));
    QVERIFY_THROWS_EXCEPTION(TzrError, m_table->value(QStringLiteral("MISSING")));
    QCOMPARE(stored(m_dir->path()), QStringList{QStringLiteral("ANA|1|")});
}

void TestTable::insertStartsWithDefaultsAtTheCurrentRow()
{
    add(QStringLiteral("ANA"));
    add(QStringLiteral("EVA"));
    QVERIFY(m_table->first());
    QVERIFY(m_table->next());
    QVERIFY(m_table->insert());
    QCOMPARE(m_table->state(), Table::State::Insert);
    QCOMPARE(m_table->currentRow(), 1);
    QCOMPARE(m_table->rowCount(), 3);
    QCOMPARE(m_table->recordCount(), 2);
    QCOMPARE(m_table->value(CODE), QStringLiteral("ZZ"));
    QCOMPARE(shown(*m_table), QStringList({"ANA", "", "EVA"}));
    QVERIFY(!m_table->isModified());
}

void TestTable::postStoresAndCancelDrops()
{
    add(QStringLiteral("ANA"));
    QVERIFY(m_table->append());
    m_table->setValue(NAME, QStringLiteral("EVA"));
    m_table->cancel();
    QCOMPARE(m_table->state(), Table::State::Browse);
    QCOMPARE(m_table->recordCount(), 1);
    QCOMPARE(m_table->currentRow(), 0);

    QVERIFY(m_table->edit());
    m_table->setValue(NOTE, QStringLiteral("HI"));
    QVERIFY(m_table->isModified());
    m_table->cancel();
    QCOMPARE(m_table->value(NOTE), QString());

    QVERIFY(m_table->edit());
    m_table->setValue(NOTE, QStringLiteral("HI"));
    QVERIFY(m_table->post());
    QCOMPARE(stored(m_dir->path()), QStringList{QStringLiteral("ANA|1|HI")});

    QVERIFY(m_table->deleteCurrent());
    QCOMPARE(m_table->recordCount(), 0);
    QVERIFY(stored(m_dir->path()).isEmpty());
    QVERIFY(!m_table->deleteCurrent());
}

void TestTable::editOnEmptyTableInserts()
{
    QVERIFY(m_table->edit());
    QCOMPARE(m_table->state(), Table::State::Insert);
    m_table->setValue(NAME, QStringLiteral("ANA"));
    QVERIFY(m_table->post());
    QCOMPARE(m_table->recordCount(), 1);
}

void TestTable::refusingHookLeavesTableAsItWas_data()
{
    QTest::addColumn<QString>("hook");
    QTest::newRow("before insert") << "beforeInsert";
    QTest::newRow("after insert") << "afterInsert";
    QTest::newRow("before post of an insert") << "beforePostInsert";
    QTest::newRow("before post of an edit") << "beforePostEdit";
    QTest::newRow("after delete") << "afterDelete";
}

void TestTable::refusingHookLeavesTableAsItWas()
{
    QFETCH(QString, hook);
    add(QStringLiteral("ANA"));
    add(QStringLiteral("EVA"));
    QVERIFY(m_table->first());
    const QStringList before = stored(m_dir->path());
    const Table::Hook refuse = [](Table &) { return false; };

    if (hook == QLatin1String("beforeInsert")) {
        m_table->setBeforeInsert(refuse);
        QVERIFY(!m_table->insert());
        QVERIFY(!m_table->append());
    } else if (hook == QLatin1String("afterInsert")) {
        m_table->setAfterInsert(refuse);
        QVERIFY(!m_table->insert());
    } else if (hook == QLatin1String("beforePostInsert")) {
        m_table->setBeforePost(refuse);
        QVERIFY(m_table->append());
        m_table->setValue(NAME, QStringLiteral("ROSA"));
        QVERIFY(!m_table->post());
        // The row stays in insertion with what was typed.
        QCOMPARE(m_table->state(), Table::State::Insert);
        QCOMPARE(m_table->value(NAME), QStringLiteral("ROSA"));
        m_table->cancel();
    } else if (hook == QLatin1String("beforePostEdit")) {
        m_table->setBeforePost(refuse);
        QVERIFY(m_table->edit());
        m_table->setValue(NAME, QStringLiteral("ROSA"));
        QVERIFY(!m_table->post());
        QCOMPARE(m_table->state(), Table::State::Edit);
        QCOMPARE(m_table->value(NAME), QStringLiteral("ROSA"));
        m_table->cancel();
    } else {
        m_table->setAfterDelete(refuse);
        QVERIFY(!m_table->deleteCurrent());
    }
    QCOMPARE(m_table->state(), Table::State::Browse);
    QCOMPARE(shown(*m_table), QStringList({"ANA", "EVA"}));
    QCOMPARE(m_table->currentRow(), 0);
    QCOMPARE(stored(m_dir->path()), before);
}

void TestTable::throwingAfterDeleteKeepsTheRow()
{
    add(QStringLiteral("ANA"));
    m_table->setAfterDelete([](Table &t) -> bool {
        // The hook sees the table without the row...
        if (t.recordCount() != 0)
            return true;
        throw TzrError(QStringLiteral("no"));
    });
    QVERIFY_THROWS_EXCEPTION(TzrError, m_table->deleteCurrent());
    // ...but the delete is undone, in memory and in the file.
    QCOMPARE(m_table->recordCount(), 1);
    QCOMPARE(stored(m_dir->path()), QStringList{QStringLiteral("ANA|1|")});
}

void TestTable::navigation()
{
    for (const char *n : {"A", "B", "C"})
        add(QString::fromLatin1(n));
    QVERIFY(m_table->first());
    QVERIFY(m_table->bof());
    QCOMPARE(m_table->value(NAME), QStringLiteral("A"));
    QVERIFY(m_table->next());
    QVERIFY(m_table->next());
    QVERIFY(!m_table->eof());
    QVERIFY(m_table->next());
    QVERIFY(m_table->eof());
    QCOMPARE(m_table->value(NAME), QStringLiteral("C"));
    QVERIFY(m_table->prior());
    QCOMPARE(m_table->value(NAME), QStringLiteral("B"));
    QVERIFY(m_table->last());
    QVERIFY(m_table->eof());
    QVERIFY(m_table->moveTo(0));
    QVERIFY(m_table->prior());
    QVERIFY(m_table->bof());
    QVERIFY(!m_table->moveTo(3));
    QCOMPARE(m_table->currentRow(), 0);
}

void TestTable::movingPostsModifiedRowAndDropsUntouchedOne()
{
    add(QStringLiteral("A"));
    add(QStringLiteral("B"));
    QVERIFY(m_table->first());
    QVERIFY(m_table->insert());
    QCOMPARE(shown(*m_table), QStringList({"", "A", "B"}));
    // Row 2 is B; the untouched new row disappears, and B is still where the move ends.
    QVERIFY(m_table->moveTo(2));
    QCOMPARE(m_table->value(NAME), QStringLiteral("B"));
    QCOMPARE(m_table->recordCount(), 2);

    QVERIFY(m_table->edit());
    m_table->setValue(NOTE, QStringLiteral("X"));
    QVERIFY(m_table->first());
    QCOMPARE(m_table->state(), Table::State::Browse);
    QCOMPARE(stored(m_dir->path()), QStringList({"A|1|", "B|1|X"}));
}

void TestTable::refusedPostStopsTheMove()
{
    add(QStringLiteral("A"));
    add(QStringLiteral("B"));
    m_table->setBeforePost([](Table &t) { return !t.value(NAME).isEmpty(); });
    QVERIFY(m_table->first());
    QVERIFY(m_table->edit());
    m_table->setValue(NAME, QString());
    QVERIFY(!m_table->next());
    QCOMPARE(m_table->state(), Table::State::Edit);
    QCOMPARE(m_table->currentRow(), 0);
    QVERIFY(!m_table->checkBrowseMode());
    m_table->cancel();
    QVERIFY(m_table->next());
    QCOMPARE(m_table->value(NAME), QStringLiteral("B"));
}

void TestTable::indexOrdersByNameThenByInsertion()
{
    add(QStringLiteral("LUIS"), QStringLiteral("1"));
    add(QStringLiteral("ANA"), QStringLiteral("2"));
    add(QStringLiteral("ZOE"), QStringLiteral("3"));
    add(QStringLiteral("ANA"), QStringLiteral("4"));
    add(QStringLiteral("ÑANDÚ"), QStringLiteral("5"));
    QVERIFY(m_table->moveTo(2));
    m_table->setIndexName(QStringLiteral("I_NAME"));
    QCOMPARE(m_table->indexName(), QStringLiteral("I_NAME"));
    QCOMPARE(shown(*m_table, CODE), QStringList({"2", "4", "1", "3", "5"}));
    // The current row stays on the same user.
    QCOMPARE(m_table->value(NAME), QStringLiteral("ZOE"));
    m_table->setIndexName(QString());
    QCOMPARE(shown(*m_table, CODE), QStringList({"1", "2", "3", "4", "5"}));
    QCOMPARE(m_table->value(NAME), QStringLiteral("ZOE"));
}

void TestTable::postedRowTakesItsPlaceInTheIndex()
{
    m_table->setIndexName(QStringLiteral("I_NAME"));
    add(QStringLiteral("MARIA"));
    add(QStringLiteral("BEA"));
    add(QStringLiteral("PAU"));
    QCOMPARE(shown(*m_table), QStringList({"BEA", "MARIA", "PAU"}));
    QCOMPARE(m_table->value(NAME), QStringLiteral("PAU"));
    QVERIFY(m_table->first());
    QVERIFY(m_table->edit());
    m_table->setValue(NAME, QStringLiteral("TERE"));
    QVERIFY(m_table->post());
    QCOMPARE(shown(*m_table), QStringList({"MARIA", "PAU", "TERE"}));
    QCOMPARE(m_table->currentRow(), 2);
    m_table->close();
    m_table->open();
    QCOMPARE(shown(*m_table), QStringList({"MARIA", "PAU", "TERE"}));
}

void TestTable::indexChoiceOutlivesClose()
{
    add(QStringLiteral("B"));
    add(QStringLiteral("A"));
    m_table->setIndexName(QStringLiteral("I_NAME"));
    m_table->close();
    QCOMPARE(m_table->indexName(), QStringLiteral("I_NAME"));
    m_table->open();
    QCOMPARE(shown(*m_table), QStringList({"A", "B"}));

    // A family whose index has another name opens in its own order.
    m_table->close();
    TableFamily::create(m_dir->filePath(QStringLiteral("other")),
                        TableDescription({{NAME, 8}}, QStringLiteral("I_OTHER"), NAME));
    m_table->setTableName(QStringLiteral("other.db"));
    m_table->open();
    QCOMPARE(m_table->indexName(), QString());
}

void TestTable::unknownIndexChangesNothing()
{
    add(QStringLiteral("B"));
    add(QStringLiteral("A"));
    QVERIFY_THROWS_EXCEPTION(TzrError, m_table->setIndexName(QStringLiteral("I_CODE")));
    QCOMPARE(m_table->indexName(), QString());
    QCOMPARE(shown(*m_table), QStringList({"B", "A"}));
}

void TestTable::textHooks()
{
    add(QStringLiteral("ANA"), QStringLiteral("NONE"));
    m_table->setGetTextHook(CODE, [](const QString &v, bool display) {
        return display && v == QLatin1String("NONE") ? QString() : v;
    });
    QCOMPARE(m_table->displayText(CODE), QString());
    QCOMPARE(m_table->editText(CODE), QStringLiteral("NONE"));
    QCOMPARE(m_table->displayText(0, CODE), QString());
    QCOMPARE(m_table->displayText(NAME), QStringLiteral("ANA"));
    m_table->close();
    m_table->open();
    QCOMPARE(m_table->displayText(CODE), QStringLiteral("NONE"));
}

void TestTable::refreshSeesTheOtherHandle()
{
    add(QStringLiteral("ANA"));
    {
        TableCursor cursor;
        cursor.open(m_dir->path(), QStringLiteral("people.db"));
        cursor.insert();
        cursor.setValue(NAME, QStringLiteral("EVA"));
        cursor.post();
    }
    QCOMPARE(m_table->recordCount(), 1);
    QVERIFY(m_table->refresh());
    QCOMPARE(shown(*m_table), QStringList({"ANA", "EVA"}));
    QCOMPARE(m_table->value(NAME), QStringLiteral("ANA"));
}

void TestTable::writeOnRowsChangedBehindIsRefused_data()
{
    QTest::addColumn<QString>("write");
    QTest::newRow("edit") << "edit";
    QTest::newRow("post of an edit started before") << "post";
    QTest::newRow("append") << "append";
    QTest::newRow("delete") << "delete";
}

// Another program replaced the rows (a receive): a write based on the old rows would land on
// the new first user, who has the old one's record number.
void TestTable::writeOnRowsChangedBehindIsRefused()
{
    QFETCH(QString, write);
    add(QStringLiteral("ANA"), QStringLiteral("0099"));
    add(QStringLiteral("LUIS"));
    if (write == QLatin1String("post")) {
        QVERIFY(m_table->edit());
        m_table->setValue(NAME, QStringLiteral("GARCIA"));
    }
    int told = 0;
    m_table->setChangedBehind([&told] { ++told; });
    {
        TableCursor cursor;
        cursor.open(m_dir->path(), QStringLiteral("people.db"));
        while (cursor.recordCount() > 0) {
            cursor.first();
            cursor.deleteCurrent();
        }
        cursor.insert();
        cursor.setValue(NAME, QStringLiteral("EVA"));
        cursor.setValue(CODE, QStringLiteral("7"));
        cursor.post();
    }
    bool done = true;
    if (write == QLatin1String("edit"))
        done = m_table->edit();
    else if (write == QLatin1String("post"))
        done = m_table->post();
    else if (write == QLatin1String("append"))
        done = m_table->append();
    else
        done = m_table->deleteCurrent();
    QVERIFY(!done);
    QCOMPARE(told, 1);
    QCOMPARE(m_table->state(), Table::State::Browse);
    QCOMPARE(shown(*m_table), QStringList{QStringLiteral("EVA")});
    QCOMPARE(stored(m_dir->path()), QStringList{QStringLiteral("EVA|7|")});
    // Once the new rows are shown, writing works again.
    QVERIFY(m_table->edit());
    m_table->setValue(NOTE, QStringLiteral("SEEN"));
    QVERIFY(m_table->post());
    QCOMPARE(stored(m_dir->path()), QStringList{QStringLiteral("EVA|7|SEEN")});
    QCOMPARE(told, 1);
}

void TestTable::sideRecordBehindKeepsTheEdit()
{
    add(QStringLiteral("ANA"));
    QVERIFY(m_table->edit());
    m_table->setValue(NOTE, QStringLiteral("X"));
    {
        TableCursor cursor;
        cursor.open(m_dir->path(), QStringLiteral("people.db"));
        cursor.setSideRecord(QStringLiteral("k"), QStringLiteral("1"), "v");
    }
    QVERIFY(m_table->post());
    QCOMPARE(stored(m_dir->path()), QStringList{QStringLiteral("ANA|1|X")});
}

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
