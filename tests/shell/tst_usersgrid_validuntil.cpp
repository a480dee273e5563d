#include "UsuariosPrueba.h"

#include "CompareReport.h"
#include "DataFileCopy.h"
#include "EndDates.h"
#include "FixedTexts.h"
#include "TF_Comparacion.h"
#include "TableCursor.h"
#include "UsersTableRules.h"

#include <QBrush>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>

using C = Table1Model;

namespace {

struct User
{
    QString name;
    QString code;
    QDate until;
};

// A data file with these users and their end dates, written through a handle of its own.
void writeFile(const QString &path, const QString &korvel, const QList<User> &users)
{
    Copia_Patron(path, korvel);
    TableCursor cursor;
    cursor.open(QFileInfo(path).path(), QFileInfo(path).fileName());
    cursor.begin();
    for (const User &u : users) {
        cursor.insert();
        cursor.setValue(Campo::NOMBRE, u.name);
        cursor.setValue(Campo::CALL, QStringLiteral("0001"));
        cursor.setValue(Campo::TZR, QStringLiteral("001"));
        cursor.setValue(Campo::CODIGO, u.code);
        cursor.post();
        if (u.until.isValid())
            EndDates::set(cursor, u.name, u.code, u.until);
    }
    cursor.commit();
}

// The end dates as another program reads them from the file.
EndDates storedDates(const QString &path)
{
    TableCursor cursor;
    cursor.open(QFileInfo(path).path(), QFileInfo(path).fileName());
    return EndDates::load(cursor);
}

const QDate SOME_END{2031, 3, 14};

} // namespace

class tst_UsersGridValidUntil : public QObject
{
    Q_OBJECT

private:
    static QString path(UsuariosPrueba &p) { return p.ruta(QStringLiteral("usuarios.db")); }

    // Unlocked, with a data file of these users open in the grid.
    static bool open(UsuariosPrueba &p, const QList<User> &users)
    {
        if (!p.arrancaDesbloqueado())
            return false;
        writeFile(path(p), p.korvel(), users);
        p.orden("ToolFicheros", path(p));
        return p.DBGrid1()->isVisible() && p.tabla().recordCount() == users.size();
    }

    // The cell editor opened on the end date of row, its text replaced by typed (cleared when
    // empty), and closed with Return.
    static void typeDate(UsuariosPrueba &p, int row, const QString &typed)
    {
        p.celda(row, C::VALID_UNTIL);
        p.pulsa(Qt::Key_F2);
        p.pulsa(Qt::Key_End);
        p.pulsa(Qt::Key_Home, Qt::ShiftModifier);
        if (typed.isEmpty())
            p.pulsa(Qt::Key_Backspace);
        else
            p.teclea(typed);
        p.pulsa(Qt::Key_Return);
    }

private slots:
    void columnComesAfterTheFields_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QString>("title");
        QTest::newRow("es") << QByteArray("ESPA\xD1"
                                          "OL")
                            << QStringLiteral("Válido hasta");
        QTest::newRow("fr") << QByteArray("FRAN\xC7"
                                          "AIS")
                            << QStringLiteral("Valable jusqu'au");
        QTest::newRow("en") << QByteArray("ENGLISH") << QStringLiteral("Valid until");
    }
    void columnComesAfterTheFields()
    {
        QFETCH(QByteArray, language);
        QFETCH(QString, title);
        UsuariosPrueba p;
        p.escribeIni("[TZR]\r\nIDIOMA=" + language + "\r\n");
        QVERIFY(open(p, {{QStringLiteral("ANA"), QStringLiteral("123456"), SOME_END}}));
        QCOMPARE(p.modelo()->columnCount(), C::COLUMNAS + 1);
        QCOMPARE(p.modelo()->headerData(C::VALID_UNTIL, Qt::Horizontal).toString(), title);
        QVERIFY(C::campo(C::VALID_UNTIL).isEmpty());
        // Wide enough for its title and a whole date.
        QHeaderView *header = p.DBGrid1()->horizontalHeader();
        QVERIFY(header->sectionSize(C::VALID_UNTIL) > header->fontMetrics().horizontalAdvance(title));
        QVERIFY(header->sectionSize(C::VALID_UNTIL) >
                p.DBGrid1()->fontMetrics().horizontalAdvance(QStringLiteral("2031-03-14")));
        // The users table keeps its fields.
        QCOMPARE(p.tabla().fieldCount(), int(C::COLUMNAS));
    }

    void showsTheStoredDate_data()
    {
        QTest::addColumn<int>("daysFromToday");
        QTest::addColumn<bool>("dated");
        QTest::addColumn<bool>("expired");
        QTest::newRow("none") << 0 << false << false;
        QTest::newRow("far ahead") << 4000 << true << false;
        QTest::newRow("today, its last day") << 0 << true << false;
        QTest::newRow("yesterday") << -1 << true << true;
        QTest::newRow("long past") << -9000 << true << true;
    }
    void showsTheStoredDate()
    {
        QFETCH(int, daysFromToday);
        QFETCH(bool, dated);
        QFETCH(bool, expired);
        const QDate until = dated ? QDate::currentDate().addDays(daysFromToday) : QDate();
        UsuariosPrueba p;
        QVERIFY(open(p, {{QStringLiteral("ANA"), QStringLiteral("123456"), SOME_END},
                         {QStringLiteral("BEA"), QStringLiteral("654321"), until}}));
        QCOMPARE(p.muestra(0, C::VALID_UNTIL), QStringLiteral("2031-03-14"));
        QCOMPARE(p.muestra(1, C::VALID_UNTIL), dated ? until.toString(Qt::ISODate) : QString());
        const QModelIndex cell = p.modelo()->index(1, C::VALID_UNTIL);
        const QVariant foreground = cell.data(Qt::ForegroundRole);
        const QVariant tip = cell.data(Qt::ToolTipRole);
        QCOMPARE(foreground.isValid(), expired);
        QCOMPARE(tip.isValid(), expired);
        if (expired) {
            QCOMPARE(foreground.value<QBrush>().color(), QColor(0xC0, 0x00, 0x00));
            QCOMPARE(tip.toString(), QStringLiteral("Expired: this user is left out of every send"));
        }
        QVERIFY(!p.modelo()->index(0, C::VALID_UNTIL).data(Qt::ForegroundRole).isValid());
    }

    void editingTheCellStoresTheDate_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QDate>("stored");
        QTest::newRow("a date") << "2030-05-17" << QDate(2030, 5, 17);
        QTest::newRow("a past date") << "2001-01-31" << QDate(2001, 1, 31);
        QTest::newRow("cleared") << "" << QDate();
        QTest::newRow("no such month") << "2030-13-01" << SOME_END;
        QTest::newRow("no such day") << "2030-02-30" << SOME_END;
        QTest::newRow("half a date") << "2030-5" << SOME_END;
        QTest::newRow("letters") << "tomorrow" << SOME_END;
    }
    void editingTheCellStoresTheDate()
    {
        QFETCH(QString, typed);
        QFETCH(QDate, stored);
        UsuariosPrueba p;
        QVERIFY(open(p, {{QStringLiteral("ANA"), QStringLiteral("123456"), SOME_END},
                         {QStringLiteral("BEA"), QStringLiteral("654321"), {}}}));
        typeDate(p, 0, typed);
        QCOMPARE(p.tabla().state(), Table::State::Browse);
        const EndDates dates = storedDates(path(p));
        QCOMPARE(dates.dateOf(QStringLiteral("ANA"), QStringLiteral("123456")), stored);
        QCOMPARE(dates.size(), stored.isValid() ? 1 : 0);
        QCOMPARE(p.muestra(0, C::VALID_UNTIL), stored.isValid() ? stored.toString(Qt::ISODate) : QString());
        QCOMPARE(p.muestra(1, C::VALID_UNTIL), QString());
        QVERIFY(p.m_errores.isEmpty());
        // The rows themselves are untouched, and the grid did not take the write for another
        // program's.
        QCOMPARE(p.tabla().value(0, Campo::NOMBRE), QStringLiteral("ANA"));
        QCOMPARE(p.DBGrid1()->currentIndex(), p.modelo()->index(0, C::VALID_UNTIL));
    }

    void dateEditorTakesDigitsAndDashesOnly()
    {
        UsuariosPrueba p;
        QVERIFY(open(p, {{QStringLiteral("ANA"), QStringLiteral("123456"), {}}}));
        p.celda(0, C::VALID_UNTIL);
        p.pulsa(Qt::Key_F2);
        p.teclea(QStringLiteral("20a30/-0b5-1 7-9"));
        auto *editor = qobject_cast<QLineEdit *>(p.foco());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("2030-05-17"));
        p.pulsa(Qt::Key_Return);
        QCOMPARE(storedDates(path(p)).dateOf(QStringLiteral("ANA"), QStringLiteral("123456")), QDate(2030, 5, 17));
    }

    void aNewRowTakesNoDateUntilStored()
    {
        UsuariosPrueba p;
        QVERIFY(open(p, {{QStringLiteral("ANA"), QStringLiteral("123456"), {}}}));
        p.celda(0, C::NOMBRE);
        p.pulsa(Qt::Key_Down);
        QCOMPARE(p.tabla().state(), Table::State::Insert);
        QVERIFY(!(p.modelo()->flags(p.modelo()->index(1, C::VALID_UNTIL)) & Qt::ItemIsEditable));
        QVERIFY(p.modelo()->flags(p.modelo()->index(0, C::VALID_UNTIL)) & Qt::ItemIsEditable);
        QVERIFY(!p.modelo()->setData(p.modelo()->index(1, C::VALID_UNTIL), QStringLiteral("2030-01-01")));
        QCOMPARE(storedDates(path(p)).size(), 0);
    }

    void theDateFollowsAnEditedUser_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("code");
        QTest::newRow("name") << int(C::NOMBRE) << "anna" << "ANNA" << "123456";
        QTest::newRow("code") << int(C::CODIGO) << "9876" << "ANA" << "987600";
    }
    void theDateFollowsAnEditedUser()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, name);
        QFETCH(QString, code);
        UsuariosPrueba p;
        QVERIFY(open(p, {{QStringLiteral("ANA"), QStringLiteral("123456"), SOME_END},
                         {QStringLiteral("BEA"), QStringLiteral("654321"), {}}}));
        p.celda(0, column);
        if (column == C::CODIGO) {
            QVERIFY(p.edtCode()->isVisible());
            p.edtCode()->setFocus();
            p.edtCode()->selectAll();
        } else {
            p.pulsa(Qt::Key_F2);
            p.pulsa(Qt::Key_End);
            p.pulsa(Qt::Key_Home, Qt::ShiftModifier);
        }
        p.teclea(typed);
        p.pulsa(Qt::Key_Return);
        // While the row is in editing the date stays where it is shown.
        QCOMPARE(p.muestra(0, C::VALID_UNTIL), QStringLiteral("2031-03-14"));
        // Moving to another row posts it.
        p.celda(1, C::CALL);
        QCOMPARE(p.tabla().state(), Table::State::Browse);
        QCOMPARE(p.tabla().value(0, Campo::NOMBRE), name);
        QCOMPARE(p.tabla().value(0, Campo::CODIGO), code);
        const EndDates dates = storedDates(path(p));
        QCOMPARE(dates.dateOf(name, code), SOME_END);
        QVERIFY(!dates.dateOf(QStringLiteral("ANA"), QStringLiteral("123456")).isValid());
        QCOMPARE(dates.size(), 1);
        QCOMPARE(p.muestra(0, C::VALID_UNTIL), QStringLiteral("2031-03-14"));
        QCOMPARE(p.muestra(1, C::VALID_UNTIL), QString());
    }

    // Two rows of one name and code are one user: the renamed row takes a copy of the date.
    void renamingOneRowOfAUserTwiceOverCopiesTheDate()
    {
        UsuariosPrueba p;
        QVERIFY(open(p, {{QStringLiteral("ANA"), QStringLiteral("123456"), SOME_END},
                         {QStringLiteral("ANA"), QStringLiteral("123456"), {}}}));
        p.celda(1, C::NOMBRE);
        p.pulsa(Qt::Key_F2);
        p.pulsa(Qt::Key_End);
        p.teclea(QStringLiteral("X"));
        p.pulsa(Qt::Key_Return);
        p.celda(0, C::CALL);
        QCOMPARE(p.tabla().value(1, Campo::NOMBRE), QStringLiteral("ANAX"));
        const EndDates dates = storedDates(path(p));
        QCOMPARE(dates.dateOf(QStringLiteral("ANA"), QStringLiteral("123456")), SOME_END);
        QCOMPARE(dates.dateOf(QStringLiteral("ANAX"), QStringLiteral("123456")), SOME_END);
        QCOMPARE(p.columna(C::VALID_UNTIL), QStringList({"2031-03-14", "2031-03-14"}));
    }

    // Typed before the name is: the date is kept under the name the row is stored with, and
    // goes with the new name when the row is posted.
    void aDateTypedWhileTheNameIsEditedFollowsIt()
    {
        UsuariosPrueba p;
        QVERIFY(open(p, {{QStringLiteral("ANA"), QStringLiteral("123456"), {}},
                         {QStringLiteral("BEA"), QStringLiteral("654321"), {}}}));
        p.celda(0, C::NOMBRE);
        p.pulsa(Qt::Key_F2);
        p.pulsa(Qt::Key_End);
        p.teclea(QStringLiteral("X"));
        p.pulsa(Qt::Key_Return);
        QCOMPARE(p.tabla().state(), Table::State::Edit);
        typeDate(p, 0, QStringLiteral("2032-08-01"));
        QCOMPARE(storedDates(path(p)).dateOf(QStringLiteral("ANA"), QStringLiteral("123456")), QDate(2032, 8, 1));
        p.celda(1, C::CALL);
        QCOMPARE(p.tabla().value(0, Campo::NOMBRE), QStringLiteral("ANAX"));
        const EndDates dates = storedDates(path(p));
        QCOMPARE(dates.dateOf(QStringLiteral("ANAX"), QStringLiteral("123456")), QDate(2032, 8, 1));
        QCOMPARE(dates.size(), 1);
    }

    void aDeletedUserTakesItsDate_data()
    {
        QTest::addColumn<QString>("otherName");
        QTest::addColumn<int>("datesLeft");
        QTest::newRow("alone") << "BEA" << 0;
        // Another row of the same name and code is the same user: it keeps the date.
        QTest::newRow("same user twice") << "ANA" << 1;
    }
    void aDeletedUserTakesItsDate()
    {
        QFETCH(QString, otherName);
        QFETCH(int, datesLeft);
        UsuariosPrueba p;
        QVERIFY(open(p, {{QStringLiteral("ANA"), QStringLiteral("123456"), SOME_END},
                         {otherName, QStringLiteral("123456"), {}}}));
        QCOMPARE(storedDates(path(p)).size(), 1);
        p.celda(0, C::NOMBRE);
        p.pulsa(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(p.tabla().recordCount(), 1);
        QCOMPARE(storedDates(path(p)).size(), datesLeft);
        QCOMPARE(p.muestra(0, C::VALID_UNTIL), datesLeft ? QStringLiteral("2031-03-14") : QString());
    }

    // The compare window names an expired user the board still holds, and counts it.
    void compareWindowShowsExpiredUsers()
    {
        UserArea board;
        RegistroPlaca record{};
        record.fill(0x20);
        for (int i = 0; i < 3; ++i)
            record[i] = "BOB"[i];
        record[OFS_CODIGO] = 0x30;
        board.setRecord(0, record);
        RegistroEnvio bob;
        bob.fila.NOMBRE = QStringLiteral("BOB");
        bob.leftOut = true;
        const FixedTexts texts;
        TF_Comparacion window(texts, {});
        window.muestra(CompareReport::compare(board, {bob}), QStringLiteral("01"), QStringLiteral("f.db"));
        QCOMPARE(window.lista()->topLevelItemCount(), 1);
        QCOMPARE(window.lista()->topLevelItem(0)->text(1), QStringLiteral("Expired, still on the board"));
        QCOMPARE(window.lista()->topLevelItem(0)->text(2), QStringLiteral("BOB"));
        QVERIFY2(window.resumen()->text().contains(QStringLiteral("Expired, still on the board: 1.")),
                 qPrintable(window.resumen()->text()));
        // Without one, the summary is as it always was.
        window.muestra(CompareReport::compare(UserArea(), QList<RegistroEnvio>{}), QStringLiteral("01"), QStringLiteral("f.db"));
        QVERIFY(!window.resumen()->text().contains(QStringLiteral("Expired")));
    }
};

QTEST_MAIN(tst_UsersGridValidUntil)
#include "tst_usersgrid_validuntil.moc"
