#include "ConexionPrueba.h"
#include "FilaPrueba.h"
#include "FixedTexts.h"
#include "History.h"
#include "HistoryDialog.h"
#include "Lenguaje.h"
#include "TableFamily.h"
#include "Transferencias.h"
#include "UserArea.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

namespace {

constexpr int COLUMN_TIME = 0;
constexpr int COLUMN_WHO = 1;
constexpr int COLUMN_BOARD = 2;
constexpr int COLUMN_JOB = 3;
constexpr int COLUMN_OUTCOME = 4;
constexpr int COLUMN_CHANGES = 5;

// Every code the entries below ever held.
const char *const CODES[] = {"1111", "2222", "3333", "9876", "5432", "4444", "5555"};

RegistroEnvio user(const QString &name, const QString &code)
{
    RegistroEnvio r;
    r.fila = fila(name, QStringLiteral("0011"), QStringLiteral("101"), code);
    r.registro = Codifica_Registro(Fila_a_Ficha(r.fila, 0, 0), 0);
    return r;
}

// Four jobs: a receive and a send of changes on board 3, a send and the parameters on board 5.
void writeFour(const DataFileRef &file)
{
    History history(file);
    HistoryEntry read = History::start(History::Job::Receive, 3, QStringLiteral("COM1"));
    read.read = true;
    read.outcome = History::Outcome::Done;
    history.append(read);
    HistoryEntry changes = History::start(History::Job::SendChanges, 3, QStringLiteral("COM1"));
    UserArea before;
    before.setRecord(0, user(QStringLiteral("ANA"), QStringLiteral("1111")).registro);
    before.setRecord(1, user(QStringLiteral("LUIS"), QStringLiteral("2222")).registro);
    before.setRecord(2, user(QStringLiteral("EVA"), QStringLiteral("3333")).registro);
    changes.changes = History::changesBetween(
        before, {user(QStringLiteral("ANA"), QStringLiteral("9876")), user(QStringLiteral("LUIS"), QStringLiteral("5432"))});
    changes.outcome = History::Outcome::Done;
    history.append(changes);
    HistoryEntry send = History::start(History::Job::Send, 5, QStringLiteral("COM3"));
    send.changes =
        History::written({user(QStringLiteral("ANA"), QStringLiteral("4444")), user(QStringLiteral("BOB"), QStringLiteral("5555"))});
    send.outcome = History::Outcome::Incomplete;
    history.append(send);
    HistoryEntry params = History::start(History::Job::Parameters, 5, QStringLiteral("COM3"));
    params.outcome = History::Outcome::Done;
    history.append(params);
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

QString renameLuis()
{
    return QStringLiteral("UPDATE tzr_anexos SET valor = CAST(replace(CAST(valor AS TEXT), 'LUIS', 'LUIZ') AS BLOB) "
                          "WHERE clase = 'history'");
}

QStringList column(const QTableWidget &table, int column)
{
    QStringList cells;
    for (int row = 0; row < table.rowCount(); ++row)
        cells << (table.item(row, column) ? table.item(row, column)->text() : QString());
    return cells;
}

void filter(HistoryDialog &dialog, const QString &user, int board)
{
    dialog.findChild<QLineEdit *>(QStringLiteral("userFilter"))->setText(user);
    auto *boards = dialog.findChild<QComboBox *>(QStringLiteral("boardFilter"));
    boards->setCurrentIndex(boards->findData(board));
}

QString languageFile()
{
    return qEnvironmentVariable("TZR_SOURCE_DIR") + QStringLiteral("/data/TZR_LANG.ini");
}

} // namespace

class TestHistoryDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_xdg;
    std::unique_ptr<QTemporaryDir> m_dir;
    DataFileRef m_file;
    FixedTexts m_english;

    QString db() const { return m_dir->filePath(QStringLiteral("users.db")); }

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_xdg.path().toUtf8());
        // Far from UTC, so that a time shown in UTC is told from local time.
        qputenv("TZ", "Pacific/Kiritimati");
        History::setProgram(QStringLiteral("tzrusers"), QStringLiteral("9.8.7"));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        TableFamily::create(m_dir->filePath(QStringLiteral("users")), UsersTable::descripcion());
        m_file = {m_dir->path(), QStringLiteral("users.db")};
        writeFour(m_file);
    }

    // Every entry, newest last, as the table shows it.
    void listsEveryEntry()
    {
        const QList<HistoryEntry> entries = History(m_file).entries();
        HistoryDialog dialog(m_english, m_file);
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("table"));
        QCOMPARE(table->rowCount(), 4);
        QCOMPARE(column(*table, COLUMN_JOB),
                 (QStringList{"Receive", "Send changes", "Send", "Parameters"}));
        QCOMPARE(column(*table, COLUMN_BOARD), (QStringList{"03", "03", "05", "05"}));
        QCOMPARE(column(*table, COLUMN_OUTCOME), (QStringList{"Done", "Done", "Incomplete", "Done"}));
        QCOMPARE(column(*table, COLUMN_CHANGES),
                 (QStringList{QString(), "ANA: code changed; LUIS: code changed; EVA: removed",
                              "ANA: written; BOB: written", QString()}));
        QCOMPARE(table->item(0, COLUMN_TIME)->text(),
                 entries.first().time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QCOMPARE(table->item(3, COLUMN_WHO)->text(),
                 QStringLiteral("%1@%2, tzrusers 9.8.7").arg(entries.last().user, entries.last().host));
        for (int row = 0; row < table->rowCount(); ++row) {
            for (int col = 0; col < table->columnCount(); ++col) {
                const QTableWidgetItem *item = table->item(row, col);
                for (const char *code : CODES) {
                    QVERIFY2(!item->text().contains(QLatin1String(code)), code);
                    QVERIFY2(!item->toolTip().contains(QLatin1String(code)), code);
                }
            }
        }
        auto *check = dialog.findChild<QLabel *>(QStringLiteral("check"));
        QCOMPARE(check->text(), QStringLiteral("The history is intact: 4 entries."));
        QVERIFY(!check->styleSheet().contains(QLatin1String("red")));
    }

    void filtersNarrowTheRows_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("board");
        QTest::addColumn<QStringList>("jobs");
        QTest::addColumn<QStringList>("changes");
        QTest::newRow("board 3") << QString() << 3 << QStringList{"Receive", "Send changes"}
                                 << QStringList{QString(), "ANA: code changed; LUIS: code changed; EVA: removed"};
        QTest::newRow("board 5") << QString() << 5 << QStringList{"Send", "Parameters"}
                                 << QStringList{"ANA: written; BOB: written", QString()};
        QTest::newRow("a board without entries") << QString() << 31 << QStringList{} << QStringList{};
        QTest::newRow("a user, any letter case") << QStringLiteral("ana") << -1 << QStringList{"Send changes", "Send"}
                                                 << QStringList{"ANA: code changed", "ANA: written"};
        QTest::newRow("part of a name") << QStringLiteral("VA") << -1 << QStringList{"Send changes"}
                                        << QStringList{"EVA: removed"};
        QTest::newRow("a user on a board") << QStringLiteral("ana") << 5 << QStringList{"Send"}
                                           << QStringList{"ANA: written"};
        QTest::newRow("a user not on that board") << QStringLiteral("bob") << 3 << QStringList{} << QStringList{};
    }
    void filtersNarrowTheRows()
    {
        QFETCH(QString, user);
        QFETCH(int, board);
        QFETCH(QStringList, jobs);
        QFETCH(QStringList, changes);
        HistoryDialog dialog(m_english, m_file);
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("table"));
        filter(dialog, user, board);
        QCOMPARE(column(*table, COLUMN_JOB), jobs);
        QCOMPARE(column(*table, COLUMN_CHANGES), changes);
        QCOMPARE(dialog.shownEntries().size(), jobs.size());
        // Cleared, every entry is back.
        filter(dialog, QString(), -1);
        QCOMPARE(table->rowCount(), 4);
    }

    // What the filters keep is what is saved: one line per entry and slot below the titles.
    void savesTheShownRows_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("board");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("all") << QString() << -1 << QStringList{"receive", "send-changes", "EVA", "parameters"}
                             << QStringList{};
        QTest::newRow("board 5") << QString() << 5 << QStringList{"BOB", "parameters"}
                                 << QStringList{"receive", "EVA", "LUIS"};
        QTest::newRow("user luis") << QStringLiteral("luis") << -1 << QStringList{"LUIS"}
                                   << QStringList{"receive", "parameters", "EVA", "BOB"};
    }
    void savesTheShownRows()
    {
        QFETCH(QString, user);
        QFETCH(int, board);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, left);
        HistoryDialog dialog(m_english, m_file);
        filter(dialog, user, board);
        const QString path = m_dir->filePath(QStringLiteral("history.csv"));
        QString error;
        QVERIFY2(dialog.saveCsv(path, error), qPrintable(error));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray csv = f.readAll();
        QCOMPARE(csv, History::toCsv(dialog.shownEntries()));
        for (const QString &k : kept)
            QVERIFY2(csv.contains(k.toUtf8()), qPrintable(k));
        for (const QString &l : left)
            QVERIFY2(!csv.contains(l.toUtf8()), qPrintable(l));
        for (const char *code : CODES)
            QVERIFY2(!csv.contains(code), code);
    }

    void aFailedSaveSaysWhy()
    {
        HistoryDialog dialog(m_english, m_file);
        QString error;
        QVERIFY(!dialog.saveCsv(m_dir->filePath(QStringLiteral("no/such/folder/history.csv")), error));
        QVERIFY(!error.isEmpty());
    }

    // A history changed with another tool shows which entry no longer fits, in red.
    void aTamperedHistoryFailsTheCheck()
    {
        tamper(db(), renameLuis());
        HistoryDialog dialog(m_english, m_file);
        auto *check = dialog.findChild<QLabel *>(QStringLiteral("check"));
        QVERIFY2(check->text().startsWith(QLatin1String("The check failed at entry 2: ")), qPrintable(check->text()));
        QVERIFY(check->styleSheet().contains(QLatin1String("red")));
        // The entries are still listed, as they now read.
        QCOMPARE(dialog.findChild<QTableWidget *>(QStringLiteral("table"))->rowCount(), 4);
    }

    void textsInTheChosenLanguage_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QStringList>("jobs");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("changes");
        QTest::addColumn<QString>("check");
        QTest::newRow("ESPAÑOL") << QStringLiteral("ESPAÑOL")
                                 << QStringList{"Recepción", "Envío de cambios", "Envío", "Parámetros"}
                                 << QStringLiteral("Incompleto")
                                 << QStringLiteral("ANA: código cambiado; LUIS: código cambiado; EVA: eliminado")
                                 << QStringLiteral("El historial está intacto: 4 entradas.");
        QTest::newRow("FRANÇAIS") << QStringLiteral("FRANÇAIS")
                                  << QStringList{"Réception", "Envoi des modifications", "Envoi", "Paramètres"}
                                  << QStringLiteral("Incomplet")
                                  << QStringLiteral("ANA: code modifié; LUIS: code modifié; EVA: supprimé")
                                  << QStringLiteral("L'historique est intact : 4 entrées.");
        QTest::newRow("ENGLISH") << QStringLiteral("ENGLISH")
                                 << QStringList{"Receive", "Send changes", "Send", "Parameters"}
                                 << QStringLiteral("Incomplete")
                                 << QStringLiteral("ANA: code changed; LUIS: code changed; EVA: removed")
                                 << QStringLiteral("The history is intact: 4 entries.");
    }
    void textsInTheChosenLanguage()
    {
        QFETCH(QString, section);
        QFETCH(QStringList, jobs);
        QFETCH(QString, outcome);
        QFETCH(QString, changes);
        QFETCH(QString, check);
        const Lenguaje texts(languageFile(), [section] { return section; });
        HistoryDialog dialog(texts, m_file);
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("table"));
        QCOMPARE(column(*table, COLUMN_JOB), jobs);
        QCOMPARE(table->item(2, COLUMN_OUTCOME)->text(), outcome);
        QCOMPARE(table->item(1, COLUMN_CHANGES)->text(), changes);
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("check"))->text(), check);
    }

    // File > History…: after the menu's own entries, usable with a data file open, and it shows
    // that file's history, the check included, while the grid holds the file.
    void theMenuEntryOpensIt()
    {
        ConexionPrueba p;
        p.arrancaDesbloqueado();
        QMenu *archivo = p.hijo<QMenu>(QStringLiteral("Archivo1"));
        QVERIFY(archivo);
        QStringList names;
        for (QAction *a : archivo->actions())
            names << a->objectName();
        QCOMPARE(names.mid(names.indexOf(QLatin1String("Idioma1"))),
                 (QStringList{"Idioma1", "miHistorial", "N4", "Salir1"}));
        QAction *entry = p.accion(QStringLiteral("miHistorial"));
        emit archivo->aboutToShow();
        QVERIFY(!entry->isEnabled());

        p.abreFichero();
        emit archivo->aboutToShow();
        QVERIFY(entry->isEnabled());
        QCOMPARE(entry->text(), QStringLiteral("History…"));
        const DataFileRef file{p.m_ctx.fichero->Directorio_Trabajo(), p.m_ctx.fichero->Nombre_Tabla()};
        writeFour(file);
        entry->trigger();
        auto *dialog = p.principal().findChild<HistoryDialog *>(QStringLiteral("HistoryDialog"));
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->findChild<QTableWidget *>(QStringLiteral("table"))->rowCount(), 4);
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("check"))->text(),
                 QStringLiteral("The history is intact: 4 entries."));

        // A second click reads the history afresh, tampered meanwhile.
        tamper(QDir(file.directory).filePath(file.table), renameLuis());
        entry->trigger();
        QTRY_COMPARE(p.principal().findChildren<HistoryDialog *>().size(), 1);
        dialog = p.principal().findChild<HistoryDialog *>(QStringLiteral("HistoryDialog"));
        QVERIFY(dialog->findChild<QLabel *>(QStringLiteral("check"))->text().startsWith(
            QLatin1String("The check failed at entry 2")));
        dialog->close();
        QTRY_VERIFY(!p.principal().findChild<HistoryDialog *>(QStringLiteral("HistoryDialog")));
    }
};

QTEST_MAIN(TestHistoryDialog)
#include "tst_historydialog.moc"
