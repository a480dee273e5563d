#include "History.h"
#include "FilaPrueba.h"
#include "RegistroPlaca.h"
#include "TableFamily.h"
#include "Transferencias.h"
#include "UserArea.h"
#include "UsersTable.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

namespace {

RegistroEnvio user(const QString &name, const QString &code)
{
    RegistroEnvio r;
    r.fila = fila(name, QStringLiteral("0011"), QStringLiteral("101"), code);
    r.registro = Codifica_Registro(Fila_a_Ficha(r.fila, 0, 0), 0);
    return r;
}

// Runs SQL on the database member as any other tool could.
void tamper(const QString &db, const QString &sql)
{
    sqlite3 *h = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(db).constData(), &h), SQLITE_OK);
    const int rc = sqlite3_exec(h, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_close(h);
    QCOMPARE(rc, SQLITE_OK);
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    DataFileRef m_file;

    QString db() const { return m_dir.filePath(QStringLiteral("users.db")); }

    // Three entries, the second of a send that changed two codes and removed a user.
    void writeThree()
    {
        History history(m_file);
        HistoryEntry read = History::start(History::Job::Receive, 3, QStringLiteral("COM1"));
        read.read = true;
        read.outcome = History::Outcome::Done;
        history.append(read);
        HistoryEntry send = History::start(History::Job::SendChanges, 3, QStringLiteral("COM1"));
        UserArea before;
        before.setRecord(0, user(QStringLiteral("ANA"), QStringLiteral("1111")).registro);
        before.setRecord(1, user(QStringLiteral("LUIS"), QStringLiteral("2222")).registro);
        before.setRecord(2, user(QStringLiteral("EVA"), QStringLiteral("3333")).registro);
        send.changes = History::changesBetween(
            before, {user(QStringLiteral("ANA"), QStringLiteral("9876")), user(QStringLiteral("LUIS"), QStringLiteral("5432"))});
        send.outcome = History::Outcome::Done;
        history.append(send);
        HistoryEntry params = History::start(History::Job::Parameters, 3, QStringLiteral("COM1"));
        params.outcome = History::Outcome::Done;
        history.append(params);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(db());
        QFile::remove(m_dir.filePath(QStringLiteral("users.tzf")));
        for (const QString &f : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(f));
        TableFamily::create(m_dir.filePath(QStringLiteral("users")), UsersTable::descripcion());
        m_file = {m_dir.path(), QStringLiteral("users.db")};
    }

    // What a send of changes leaves in the history: the users by name, no code in clear.
    void entriesNameUsersNeverCodes()
    {
        writeThree();
        const QList<HistoryEntry> entries = History(m_file).entries();
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0].job, History::Job::Receive);
        QVERIFY(entries[0].read);
        const HistoryEntry &send = entries[1];
        QCOMPARE(send.sequence, 2);
        QCOMPARE(send.board, 3);
        QCOMPARE(send.port, QStringLiteral("COM1"));
        QVERIFY(!send.user.isEmpty());
        QVERIFY(send.time.isValid());
        QCOMPARE(send.changes.size(), 3);
        QCOMPARE(send.changes[0], (HistoryChange{1, HistoryChange::Kind::CodeChanged, QStringLiteral("ANA"), {},
                                                 {QStringLiteral("CODIGO")}}));
        QCOMPARE(send.changes[1].user, QStringLiteral("LUIS"));
        QCOMPARE(send.changes[1].kind, HistoryChange::Kind::CodeChanged);
        QCOMPARE(send.changes[2], (HistoryChange{3, HistoryChange::Kind::Removed, QStringLiteral("EVA"), {}, {}}));
        const QByteArray json = QJsonDocument(send.toJson()).toJson(QJsonDocument::Compact);
        for (const char *code : {"9876", "5432", "1111", "2222", "3333"})
            QVERIFY2(!json.contains(code), code);
        QCOMPARE(entries[2].previousHash, send.hash);
        const History::Check check = History(m_file).verify();
        QVERIFY2(check.intact, qPrintable(check.why));
        QCOMPARE(check.count, 3);
        QCOMPARE(check.lastHash, entries[2].hash);
    }

    // Any one change made to a history row with another tool is found, at the entry it touched.
    void anyChangeIsFound_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<qint64>("firstBad");
        const QString row2 = QStringLiteral("clase = 'history' AND clave = '%1'").arg(History::keyOf(2));
        // One byte of the stored value replaced at a place counted from its start or its end.
        const auto byteAt = [&row2](const QString &place, const char *with) {
            return QStringLiteral("UPDATE tzr_anexos SET valor = CAST(substr(CAST(valor AS TEXT), 1, %1 - 1) || '%2' || "
                                  "substr(CAST(valor AS TEXT), %1 + 1) AS BLOB) WHERE %3")
                .arg(place, QLatin1String(with), row2);
        };
        QTest::newRow("first byte") << byteAt(QStringLiteral("1"), "[") << qint64(2);
        QTest::newRow("a name") << QStringLiteral("UPDATE tzr_anexos SET valor = CAST(replace(CAST(valor AS TEXT), "
                                                  "'LUIS', 'LUIZ') AS BLOB) WHERE %1")
                                       .arg(row2)
                                << qint64(2);
        QTest::newRow("the board") << QStringLiteral("UPDATE tzr_anexos SET valor = CAST(replace(CAST(valor AS TEXT), "
                                                     "'\"board\":3', '\"board\":4') AS BLOB) WHERE %1")
                                          .arg(row2)
                                   << qint64(2);
        QTest::newRow("the hash's last byte")
            << byteAt(QStringLiteral("length(valor)"), "x") << qint64(2);
        QTest::newRow("the line break before the hash")
            << byteAt(QStringLiteral("length(valor) - 64"), " ") << qint64(2);
        QTest::newRow("the key") << QStringLiteral("UPDATE tzr_anexos SET clave = '%1' WHERE %2")
                                        .arg(History::keyOf(7), row2)
                                 << qint64(2);
        QTest::newRow("the kind") << QStringLiteral("UPDATE tzr_anexos SET clase = 'hiitory' WHERE %1").arg(row2)
                                  << qint64(2);
        QTest::newRow("the last entry's kind")
            << QStringLiteral("UPDATE tzr_anexos SET clase = 'historz' WHERE clase = 'history' AND clave = '%1'")
                   .arg(History::keyOf(3))
            << qint64(3);
        QTest::newRow("an entry removed") << QStringLiteral("DELETE FROM tzr_anexos WHERE %1").arg(row2) << qint64(2);
        QTest::newRow("two entries swapped")
            << QStringLiteral("UPDATE tzr_anexos SET clave = 'x' WHERE clase = 'history' AND clave = '%1'; "
                              "UPDATE tzr_anexos SET clave = '%1' WHERE clase = 'history' AND clave = '%2'; "
                              "UPDATE tzr_anexos SET clave = '%2' WHERE clase = 'history' AND clave = 'x'")
                   .arg(History::keyOf(2), History::keyOf(3))
            << qint64(2);
    }
    void anyChangeIsFound()
    {
        QFETCH(QString, sql);
        QFETCH(qint64, firstBad);
        writeThree();
        QVERIFY(History(m_file).verify().intact);
        tamper(db(), sql);
        const History::Check check = History(m_file).verify();
        QVERIFY2(!check.intact, qPrintable(sql));
        QCOMPARE(check.firstBad, firstBad);
        QVERIFY(!check.why.isEmpty());
    }

    // Save as copies the family byte for byte: the copy carries the same chain.
    void copyCarriesTheChain()
    {
        writeThree();
        const QString copy = m_dir.filePath(QStringLiteral("copy"));
        TableFamily::copy(m_dir.filePath(QStringLiteral("users")), copy);
        const History::Check original = History(m_file).verify();
        const History::Check copied = History({m_dir.path(), QStringLiteral("copy.db")}).verify();
        QVERIFY(copied.intact);
        QCOMPARE(copied.count, 3);
        QCOMPARE(copied.lastHash, original.lastHash);
    }

    // Which entries a reader asks for: by board, by part of a user's name (only that user's
    // slots kept), since a time.
    void filterKeepsWhatWasAsked_data()
    {
        QTest::addColumn<int>("board");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("future");
        QTest::addColumn<QList<int>>("slotCounts");
        QTest::newRow("all") << -1 << QString() << false << QList<int>{0, 3, 0};
        QTest::newRow("board 3") << 3 << QString() << false << QList<int>{0, 3, 0};
        QTest::newRow("board 4") << 4 << QString() << false << QList<int>{};
        QTest::newRow("part of a name, any case") << -1 << QStringLiteral("uI") << false << QList<int>{1};
        QTest::newRow("a name nowhere") << -1 << QStringLiteral("ZOE") << false << QList<int>{};
        QTest::newRow("since tomorrow") << -1 << QString() << true << QList<int>{};
    }
    void filterKeepsWhatWasAsked()
    {
        QFETCH(int, board);
        QFETCH(QString, user);
        QFETCH(bool, future);
        QFETCH(QList<int>, slotCounts);
        writeThree();
        HistoryFilter filter{board, user, future ? QDateTime::currentDateTimeUtc().addDays(1) : QDateTime()};
        QList<int> counts;
        for (const HistoryEntry &e : filter.apply(History(m_file).entries()))
            counts << e.changes.size();
        QCOMPARE(counts, slotCounts);
    }

    // Entries appended after a damaged one still chain on, and the check still names the damage.
    void appendAfterDamageKeepsItFound()
    {
        writeThree();
        tamper(db(), QStringLiteral("UPDATE tzr_anexos SET valor = CAST(replace(CAST(valor AS TEXT), 'LUIS', 'LUIZ') "
                                    "AS BLOB) WHERE clase = 'history'"));
        HistoryEntry more = History::start(History::Job::Compare, 3, QString());
        History(m_file).append(more);
        QCOMPARE(more.sequence, 4);
        const History::Check check = History(m_file).verify();
        QVERIFY(!check.intact);
        QCOMPARE(check.firstBad, 2);
        QCOMPARE(check.count, 4);
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
