#include "UsuariosPrueba.h"

#include "DataFileCopy.h"
#include "Lenguaje.h"
#include "TableCursor.h"
#include "UsersTableRules.h"

#include <QAccessible>
#include <QClipboard>
#include <QHeaderView>
#include <QStyle>

using C = Table1Model;

namespace {

// A data file with these users, written through a handle of its own.
void escribeFichero(const QString &ruta, const QString &korvel, const QStringList &nombres)
{
    Copia_Patron(ruta, korvel);
    TableCursor cursor;
    cursor.open(QFileInfo(ruta).path(), QFileInfo(ruta).fileName());
    cursor.begin();
    for (const QString &nombre : nombres) {
        cursor.insert();
        cursor.setValue(Campo::NOMBRE, nombre);
        cursor.setValue(Campo::CALL, QStringLiteral("0001"));
        cursor.setValue(Campo::TZR, QStringLiteral("001"));
        cursor.setValue(Campo::CODIGO, CODIGO_VACIO);
        cursor.post();
    }
    cursor.commit();
}

} // namespace

class tst_PrincipalUsuarios : public QObject
{
    Q_OBJECT

private:
    // Unlocked, with a new data file of these users open in the grid.
    static bool abre(UsuariosPrueba &p, const QStringList &nombres = {})
    {
        if (!p.arrancaDesbloqueado())
            return false;
        const QString ruta = p.ruta(QStringLiteral("usuarios.db"));
        escribeFichero(ruta, p.korvel(), nombres);
        p.orden("ToolFicheros", ruta);
        return p.DBGrid1()->isVisible() && p.tabla().recordCount() == nombres.size();
    }

private slots:
    void gridShowsTheSevenColumns()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p));
        QTableView *grid = p.DBGrid1();
        QStringList titulos;
        QList<int> anchos;
        for (int c = 0; c < C::COLUMNAS; ++c) {
            titulos << grid->model()->headerData(c, Qt::Horizontal).toString();
            anchos << grid->horizontalHeader()->sectionSize(c);
        }
        QCOMPARE(titulos, QStringList({"Name", "Call", "TZR", "Code", "Line 2", "L2", "Type"}));
        // The designed widths, all scaled by one factor for this font.
        for (int c = 0; c < C::COLUMNAS; ++c)
            QVERIFY(qAbs(double(anchos.at(c)) / C::ancho(c) - double(anchos.at(0)) / C::ancho(0)) < 0.05);
        QVERIFY(grid->horizontalHeader()->isVisible());
        QVERIFY(grid->verticalHeader()->isVisible());
        QVERIFY(grid->showGrid());
        QVERIFY(grid->tabKeyNavigation());
        QVERIFY(p.modelo()->flags(p.modelo()->index(0, C::NOMBRE)) & Qt::ItemIsEditable);
        QVERIFY(!(p.modelo()->flags(p.modelo()->index(0, C::TIPO_CODE)) & Qt::ItemIsEditable));
        // An empty data file offers one blank row to type into.
        QCOMPARE(p.modelo()->rowCount(), 1);
        QCOMPARE(p.tabla().rowCount(), 0);
        QCOMPARE(p.principal().L_Fichero()->text(), QStringLiteral("usuarios"));
    }

    // Each column shows its widest content whole (a card code, the kind texts) in each language.
    void columnsShowTheirContentWhole_data()
    {
        QTest::addColumn<QByteArray>("idioma");
        QTest::newRow("es") << QByteArray("ESPA\xD1"
                                          "OL");
        QTest::newRow("fr") << QByteArray("FRAN\xC7"
                                          "AIS");
        QTest::newRow("en") << QByteArray("ENGLISH");
    }
    void columnsShowTheirContentWhole()
    {
        QFETCH(QByteArray, idioma);
        UsuariosPrueba p;
        p.escribeIni("[TZR]\r\nIDIOMA=" + idioma + "\r\n");
        QVERIFY(p.arrancaDesbloqueado());
        const QString ruta = p.ruta(QStringLiteral("anchos.db"));
        Copia_Patron(ruta, p.korvel());
        {
            TableCursor cursor;
            cursor.open(p.carpeta(), QStringLiteral("anchos.db"));
            cursor.begin();
            for (const char *tipo : {"K_TECLADO", "K_TARJETA", "K_LLAVE"}) {
                cursor.insert();
                cursor.setValue(Campo::NOMBRE, QStringLiteral("WWWWWWWWWWWWWWWW"));
                cursor.setValue(Campo::CALL, QStringLiteral("8888"));
                cursor.setValue(Campo::TZR, QStringLiteral("888"));
                cursor.setValue(Campo::CODIGO, QStringLiteral("3E6BE4A0F1"));
                cursor.setValue(Campo::LINEA2, QStringLiteral("MMMMMMMMMMMMMMMM"));
                cursor.setValue(Campo::LINEA2_ON, QStringLiteral("X"));
                cursor.setValue(Campo::TIPO_CODE, p.m_ctx.lenguaje->texto(QString::fromLatin1(tipo), {}));
                cursor.post();
            }
            cursor.commit();
        }
        p.orden("ToolFicheros", ruta);
        QTableView *grid = p.DBGrid1();
        const int margen = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
        for (int fila = 0; fila < 3; ++fila) {
            for (int c = 0; c < C::COLUMNAS; ++c) {
                const QString texto = p.muestra(fila, c);
                QVERIFY(!texto.isEmpty());
                QVERIFY2(grid->fontMetrics().horizontalAdvance(texto) + margen <=
                             grid->horizontalHeader()->sectionSize(c),
                         qPrintable(texto));
            }
        }
    }

    void keyFilters_data()
    {
        QTest::addColumn<int>("columna");
        QTest::addColumn<QString>("tecleado");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("lower-case b") << int(C::NOMBRE) << "b"
                                      << "B";
        QTest::newRow("hyphen, full stop, comma, accent") << int(C::NOMBRE) << "a-.,éb"
                                                          << "AB";
        QTest::newRow("first key refused") << int(C::NOMBRE) << "-b"
                                           << "B";
        QTest::newRow("star, space, digits") << int(C::NOMBRE) << "* 9z"
                                             << "* 9Z";
        QTest::newRow("16 characters") << int(C::NOMBRE) << "abcdefghijklmnopq"
                                       << "ABCDEFGHIJKLMNOP";
        QTest::newRow("line 2") << int(C::LINEA2) << "x-y"
                                << "XY";
        QTest::newRow("letter in CALL") << int(C::CALL) << "7a"
                                        << "70";
        QTest::newRow("CALL width") << int(C::CALL) << "12345"
                                    << "1234";
        QTest::newRow("letter in TZR") << int(C::TZR) << "x5"
                                       << "05";
        QTest::newRow("letter in LINEA2_ON") << int(C::LINEA2_ON) << "q"
                                             << "X";
        QTest::newRow("digit in LINEA2_ON") << int(C::LINEA2_ON) << "1"
                                            << "X";
    }

    void keyFilters()
    {
        QFETCH(int, columna);
        QFETCH(QString, tecleado);
        QFETCH(QString, esperado);
        UsuariosPrueba p;
        QVERIFY(abre(p));
        p.celda(0, columna);
        p.teclea(tecleado);
        p.pulsa(Qt::Key_Return);
        QCOMPARE(p.tabla().value(C::campo(columna)), esperado);
        QCOMPARE(p.muestra(0, columna), esperado);
    }

    void pasteIsRefused()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p));
        QGuiApplication::clipboard()->setText(QStringLiteral("zz-"));
        p.celda(0, C::NOMBRE);
        p.teclea(QStringLiteral("a"));
        auto *editor = qobject_cast<QLineEdit *>(p.foco());
        QVERIFY(editor);
        QCOMPARE(editor->contextMenuPolicy(), Qt::NoContextMenu);
        p.pulsa(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(editor->text(), QStringLiteral("A"));
    }

    // Text that reaches a cell editor other than by typed keys gets the column's rule for text
    // arriving whole: a name or second line keeps what a board record can hold, as an import
    // does; the other columns their key filter.
    void otherRoutesGetTheColumnRule_data()
    {
        QTest::addColumn<int>("columna");
        QTest::addColumn<QString>("llega");
        QTest::addColumn<QString>("queda");
        QTest::newRow("name") << int(C::NOMBRE) << QString::fromUtf8("ana-maría.b€\t")
                              << QString::fromUtf8("ana-maría.b");
        QTest::newRow("line 2 width") << int(C::LINEA2) << "abcdefghijklmnopqrs"
                                      << "abcdefghijklmnop";
        QTest::newRow("call") << int(C::CALL) << "1x2"
                              << "102";
        QTest::newRow("TZR") << int(C::TZR) << "9999"
                             << "999";
        QTest::newRow("line 2 on") << int(C::LINEA2_ON) << "1"
                                   << "X";
    }
    void otherRoutesGetTheColumnRule()
    {
        QFETCH(int, columna);
        QFETCH(QString, llega);
        QFETCH(QString, queda);
        UsuariosPrueba p;
        QVERIFY(abre(p));
        p.celda(0, columna);
        p.pulsa(Qt::Key_F2);
        auto *editor = qobject_cast<QLineEdit *>(p.foco());
        QVERIFY(editor);
        QAccessible::queryAccessibleInterface(editor)->setText(QAccessible::Value, llega);
        QCOMPARE(editor->text(), queda);
        editor->clear();
        QGuiApplication::clipboard()->setText(llega);
        QTest::keyClick(editor, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(editor->text(), queda);
    }

    // A pasted "ghij" is not a keypad code: the code editor keeps hexadecimal digits only.
    void codeEditorTakesNoPastedLetters()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA")}));
        p.celda(0, C::CODIGO);
        QLineEdit *codigo = p.edtCode();
        QVERIFY(codigo->isVisible());
        codigo->clear();
        QAccessible::queryAccessibleInterface(codigo)->setText(QAccessible::Value, QStringLiteral("ghij"));
        QCOMPARE(codigo->text(), QString());
        QGuiApplication::clipboard()->setText(QStringLiteral("1g2h"));
        QTest::keyClick(codigo, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(codigo->text(), QStringLiteral("12"));
    }

    void newRowIsZeroFilled()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p));
        p.celda(0, C::NOMBRE);
        p.teclea(QStringLiteral("ana"));
        p.pulsa(Qt::Key_Tab);
        p.teclea(QStringLiteral("7"));
        p.pulsa(Qt::Key_Tab);
        p.teclea(QStringLiteral("5"));
        p.pulsa(Qt::Key_Return);
        // Moving down past the last row stores it and starts the next.
        p.pulsa(Qt::Key_Down);
        Table &t = p.tabla();
        QCOMPARE(t.recordCount(), 1);
        QCOMPARE(t.value(0, Campo::NOMBRE), QStringLiteral("ANA"));
        QCOMPARE(t.value(0, Campo::CALL), QStringLiteral("0007"));
        QCOMPARE(t.value(0, Campo::TZR), QStringLiteral("005"));
        QCOMPARE(t.value(0, Campo::CODIGO), QString(CODIGO_VACIO));
        QCOMPARE(t.value(0, Campo::TIPO_CODE), QString());
        QCOMPARE(p.muestra(0, C::CALL), QStringLiteral("0007"));
        QCOMPARE(p.muestra(0, C::CODIGO), QString());
        QCOMPARE(t.state(), Table::State::Insert);
        QCOMPARE(p.modelo()->rowCount(), 2);
        QCOMPARE(p.DBGrid1()->currentIndex().row(), 1);
    }

    void rowWithoutCallStaysInEditing()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p));
        p.celda(0, C::NOMBRE);
        p.teclea(QStringLiteral("ana"));
        p.pulsa(Qt::Key_Return);
        p.pulsa(Qt::Key_Down);
        Table &t = p.tabla();
        QCOMPARE(t.recordCount(), 0);
        QCOMPARE(t.state(), Table::State::Insert);
        QCOMPARE(p.DBGrid1()->currentIndex().row(), 0);
        QCOMPARE(p.muestra(0, C::NOMBRE), QStringLiteral("ANA"));

        p.celda(0, C::CALL);
        p.teclea(QStringLiteral("12"));
        p.pulsa(Qt::Key_Tab);
        p.teclea(QStringLiteral("3"));
        // Still in the cell editor: moving down stores what it holds.
        p.pulsa(Qt::Key_Down);
        QCOMPARE(t.recordCount(), 1);
        QCOMPARE(t.value(0, Campo::TZR), QStringLiteral("003"));
    }

    void codeEntry_data()
    {
        QTest::addColumn<QString>("tecleado");
        QTest::addColumn<int>("tecla");
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<QString>("tipo");
        QTest::addColumn<QString>("mostrado");
        QTest::newRow("4 digits") << "1234" << int(Qt::Key_Return) << "123400"
                                  << "Keypad"
                                  << "123400";
        QTest::newRow("6 digits, tab") << "123456" << int(Qt::Key_Tab) << "123456"
                                       << "Keypad"
                                       << "123456";
        QTest::newRow("7 digits") << "1234567" << int(Qt::Key_Return) << "1234567000"
                                  << "Card"
                                  << "1234567000";
        QTest::newRow("10 characters") << "abcdef1234" << int(Qt::Key_Return) << "ABCDEF1234"
                                       << "Card"
                                       << "ABCDEF1234";
        QTest::newRow("cleared") << "" << int(Qt::Key_Return) << "FFFFFFFFFF"
                                 << ""
                                 << "";
    }

    void codeEntry()
    {
        QFETCH(QString, tecleado);
        QFETCH(int, tecla);
        QFETCH(QString, codigo);
        QFETCH(QString, tipo);
        QFETCH(QString, mostrado);
        UsuariosPrueba p;
        QVERIFY(abre(p));
        p.celda(0, C::NOMBRE);
        p.tecleaUsuario(QStringLiteral("ana"), QStringLiteral("7"), QStringLiteral("5"));
        QVERIFY(p.edtCode()->isVisible());
        QCOMPARE(p.foco(), p.edtCode());
        p.teclea(tecleado);
        p.pulsa(Qt::Key(tecla));

        Table &t = p.tabla();
        QCOMPARE(t.recordCount(), 1);
        QCOMPARE(t.state(), Table::State::Browse);
        QCOMPARE(t.value(0, Campo::CODIGO), codigo);
        QCOMPARE(t.value(0, Campo::TIPO_CODE), tipo);
        QCOMPARE(t.value(0, Campo::CALL), QStringLiteral("0007"));
        QCOMPARE(p.muestra(0, C::CODIGO), mostrado);
        QCOMPARE(p.muestra(0, C::TIPO_CODE), tipo);
        QVERIFY(!p.edtCode()->isVisible());
        QCOMPARE(p.DBGrid1()->currentIndex().column(), int(C::LINEA2));
        QCOMPARE(p.foco(), p.DBGrid1());

        // Back on the cell the editor holds the stored code, "FFFFFFFFFF" for none.
        p.celda(0, C::CODIGO);
        QVERIFY(p.edtCode()->isVisible());
        QCOMPARE(p.edtCode()->text(), codigo);
    }

    // A code cell made current, not opened, is replaced by what is typed; the kind changes only
    // with what the user typed, never by passing through the cell.
    void typingOverASelectedCode_data()
    {
        QTest::addColumn<QString>("guardado");
        QTest::addColumn<QString>("tipoGuardado");
        QTest::addColumn<bool>("abierta");
        QTest::addColumn<QString>("tecleado");
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<QString>("tipo");
        QTest::newRow("typed over") << "123400" << "Keypad" << false << "9999" << "999900" << "Keypad";
        QTest::newRow("typed over, a card code") << "123400" << "Keypad" << false << "1234567" << "1234567000"
                                                 << "Card";
        QTest::newRow("passed through, a button") << "1234567890" << "Button" << false << "" << "1234567890"
                                                  << "Button";
        QTest::newRow("opened with F2, appended") << "1234" << "Keypad" << true << "56" << "123456"
                                                  << "Keypad";
    }

    void typingOverASelectedCode()
    {
        QFETCH(QString, guardado);
        QFETCH(QString, tipoGuardado);
        QFETCH(bool, abierta);
        QFETCH(QString, tecleado);
        QFETCH(QString, codigo);
        QFETCH(QString, tipo);
        UsuariosPrueba p;
        QVERIFY(abre(p));
        Table &t = p.tabla();
        p.rejilla().cambiaTabla([&] {
            QVERIFY(t.append());
            t.setValue(Campo::NOMBRE, QStringLiteral("ANA"));
            t.setValue(Campo::CALL, QStringLiteral("0001"));
            t.setValue(Campo::TZR, QStringLiteral("001"));
            t.setValue(Campo::CODIGO, guardado);
            t.setValue(Campo::TIPO_CODE, tipoGuardado);
            QVERIFY(t.post());
        });
        p.celda(0, C::NOMBRE);
        p.pulsa(Qt::Key_Tab);
        p.pulsa(Qt::Key_Tab);
        p.pulsa(Qt::Key_Tab);
        QCOMPARE(p.foco(), p.edtCode());
        QCOMPARE(p.edtCode()->text(), guardado);
        if (abierta)
            p.pulsa(Qt::Key_F2);
        p.teclea(tecleado);
        p.pulsa(Qt::Key_Tab);
        QCOMPARE(t.value(0, Campo::CODIGO), codigo);
        QCOMPARE(t.value(0, Campo::TIPO_CODE), tipo);
        QCOMPARE(p.DBGrid1()->currentIndex().column(), int(C::LINEA2));
    }

    void codeEditorTakesHexadecimalOnly()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA")}));
        p.celda(0, C::CODIGO);
        QLineEdit *e = p.edtCode();
        QCOMPARE(e->text(), QString(CODIGO_VACIO));
        e->clear();
        p.teclea(QStringLiteral("g"));
        QCOMPARE(e->text(), QString());
        p.teclea(QStringLiteral("a"));
        QCOMPARE(e->text(), QStringLiteral("A"));
        p.teclea(QStringLiteral("-z9 b*0123456789"));
        QCOMPARE(e->text(), QStringLiteral("A9B0123456"));
        QCOMPARE(e->maxLength(), 10);
        QCOMPARE(e->focusPolicy(), Qt::ClickFocus);
    }

    void clearedCodeShowsEmpty()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA")}));
        p.celda(0, C::CODIGO);
        p.edtCode()->clear();
        p.teclea(QStringLiteral("1234"));
        p.pulsa(Qt::Key_Return);
        QCOMPARE(p.tabla().value(0, Campo::TIPO_CODE), QStringLiteral("Keypad"));

        p.celda(0, C::CODIGO);
        QCOMPARE(p.edtCode()->text(), QStringLiteral("123400"));
        p.edtCode()->selectAll();
        p.pulsa(Qt::Key_Backspace);
        p.pulsa(Qt::Key_Return);
        QCOMPARE(p.tabla().value(0, Campo::CODIGO), QString(CODIGO_VACIO));
        QCOMPARE(p.tabla().value(0, Campo::TIPO_CODE), QString());
        QCOMPARE(p.muestra(0, C::CODIGO), QString());
        p.celda(0, C::CODIGO);
        QCOMPARE(p.edtCode()->text(), QString(CODIGO_VACIO));
    }

    void shortCodeBeepsAndKeepsTheFocus()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA")}));
        p.celda(0, C::CODIGO);
        p.edtCode()->clear();
        p.teclea(QStringLiteral("12"));
        p.pulsa(Qt::Key_Return);
        QCOMPARE(p.m_pitidos, 1);
        QCOMPARE(p.foco(), p.edtCode());
        QCOMPARE(p.edtCode()->cursorPosition(), 2);
        QCOMPARE(p.tabla().value(0, Campo::CODIGO), QString(CODIGO_VACIO));

        // Clicking elsewhere beeps too and the focus comes back.
        p.principal().num_placa()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(p.m_pitidos, 2);
        QTRY_COMPARE(p.foco(), p.edtCode());
        QVERIFY(p.edtCode()->isVisible());
        // Nor can another cell be chosen while the code is short.
        p.DBGrid1()->setCurrentIndex(p.modelo()->index(0, C::NOMBRE));
        QCOMPARE(p.DBGrid1()->currentIndex().column(), int(C::CODIGO));
        QCOMPARE(p.tabla().value(0, Campo::CODIGO), QString(CODIGO_VACIO));
        QCOMPARE(p.edtCode()->text(), QStringLiteral("12"));
    }

    void finishingTwiceStoresTheSame()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA")}));
        p.celda(0, C::CODIGO);
        p.edtCode()->clear();
        p.teclea(QStringLiteral("1234567"));
        p.pulsa(Qt::Key_Tab);
        QCOMPARE(p.tabla().value(0, Campo::CODIGO), QStringLiteral("1234567000"));
        QCOMPARE(p.tabla().value(0, Campo::TIPO_CODE), QStringLiteral("Card"));
        // The loss of focus that may follow a finishing key runs it again on the stored text.
        p.rejilla().edtCodeExit(true);
        QCOMPARE(p.tabla().value(0, Campo::CODIGO), QStringLiteral("1234567000"));
        QCOMPARE(p.tabla().value(0, Campo::TIPO_CODE), QStringLiteral("Card"));
        QCOMPARE(p.tabla().recordCount(), 1);
        QCOMPARE(p.tabla().state(), Table::State::Browse);
        QCOMPARE(p.m_pitidos, 0);
    }

    void leavingTheCodeByFocusStoresIt()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA"), QStringLiteral("BEA")}));
        p.celda(0, C::CODIGO);
        p.edtCode()->clear();
        p.teclea(QStringLiteral("abcd"));
        // A click on another row: the grid takes the focus first, then the row changes.
        p.DBGrid1()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(p.tabla().value(0, Campo::CODIGO), QStringLiteral("ABCD00"));
        QVERIFY(!p.edtCode()->isVisible());
        p.DBGrid1()->setCurrentIndex(p.modelo()->index(1, C::NOMBRE));
        QCOMPARE(p.DBGrid1()->currentIndex().row(), 1);
        QCOMPARE(p.m_pitidos, 0);
    }

    void codeEditorLiesOverTheCell()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA"), QStringLiteral("BEA")}));
        p.celda(1, C::CODIGO);
        QLineEdit *e = p.edtCode();
        QVERIFY(e->isVisible());
        const QRect celda = p.DBGrid1()->visualRect(p.modelo()->index(1, C::CODIGO));
        QCOMPARE(e->mapToGlobal(QPoint(0, 0)), p.DBGrid1()->viewport()->mapToGlobal(celda.topLeft()));
        QCOMPARE(e->size(), celda.size());
        p.DBGrid1()->horizontalHeader()->resizeSection(C::NOMBRE, 120);
        const QRect movida = p.DBGrid1()->visualRect(p.modelo()->index(1, C::CODIGO));
        QCOMPARE(e->mapToGlobal(QPoint(0, 0)), p.DBGrid1()->viewport()->mapToGlobal(movida.topLeft()));
    }

    void ctrlDeleteDeletesWithoutAsking()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA"), QStringLiteral("BEA"), QStringLiteral("CLO")}));
        p.celda(0, C::NOMBRE);
        p.pulsa(Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"BEA", "CLO"}));
        // Also while the cell editor is open.
        p.teclea(QStringLiteral("x"));
        QVERIFY(qobject_cast<QLineEdit *>(p.foco()));
        p.pulsa(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"CLO"}));
        QCOMPARE(p.tabla().recordCount(), 1);
    }

    void rowLimitThroughTheGrid_data()
    {
        QTest::addColumn<int>("filas");
        QTest::addColumn<int>("despues");
        QTest::newRow("349 take one more") << 349 << 350;
        QTest::newRow("350 take none") << 350 << 350;
    }

    void rowLimitThroughTheGrid()
    {
        QFETCH(int, filas);
        QFETCH(int, despues);
        QStringList nombres;
        for (int i = 0; i < filas; ++i)
            nombres << QStringLiteral("U%1").arg(i, 3, 10, QLatin1Char('0'));
        UsuariosPrueba p;
        QVERIFY(abre(p, nombres));
        p.celda(filas - 1, C::NOMBRE);
        p.pulsa(Qt::Key_Down);
        QCOMPARE(p.modelo()->rowCount(), despues);
        QCOMPARE(p.tabla().state(), filas < LIMITE_FILAS ? Table::State::Insert : Table::State::Browse);
        QCOMPARE(p.DBGrid1()->currentIndex().row(), despues - 1);
        if (filas == LIMITE_FILAS) {
            p.pulsa(Qt::Key_Insert);
            QCOMPARE(p.modelo()->rowCount(), LIMITE_FILAS);
            QCOMPARE(p.tabla().state(), Table::State::Browse);
        }
    }

    void untouchedNewRowIsDroppedOnLeavingTheGrid()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA")}));
        p.celda(0, C::NOMBRE);
        p.pulsa(Qt::Key_Down);
        QCOMPARE(p.modelo()->rowCount(), 2);
        // Down again on a new row never typed into does not add another.
        p.pulsa(Qt::Key_Down);
        QCOMPARE(p.modelo()->rowCount(), 2);
        p.principal().num_placa()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(p.modelo()->rowCount(), 1);
        QCOMPARE(p.tabla().state(), Table::State::Browse);

        // The code editor is part of the grid: going there keeps the new row.
        p.celda(0, C::NOMBRE);
        p.pulsa(Qt::Key_Insert);
        QCOMPARE(p.modelo()->rowCount(), 2);
        QCOMPARE(p.DBGrid1()->currentIndex().row(), 0);
        p.celda(0, C::CODIGO);
        QCOMPARE(p.foco(), p.edtCode());
        QCOMPARE(p.tabla().state(), Table::State::Insert);

        // A new row typed into stays when the focus leaves.
        p.celda(0, C::NOMBRE);
        p.teclea(QStringLiteral("bea"));
        p.principal().num_placa()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(p.modelo()->rowCount(), 2);
        QCOMPARE(p.tabla().state(), Table::State::Insert);
        QCOMPARE(p.muestra(0, C::NOMBRE), QStringLiteral("BEA"));
    }

    void escapeDropsTheNewRow()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA")}));
        p.celda(0, C::NOMBRE);
        p.pulsa(Qt::Key_Down);
        p.teclea(QStringLiteral("bea"));
        p.pulsa(Qt::Key_Escape);
        QCOMPARE(p.modelo()->rowCount(), 2);
        p.pulsa(Qt::Key_Escape);
        QCOMPARE(p.modelo()->rowCount(), 1);
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"ANA"}));
    }

    void orderingReordersTheGrid()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("CLO"), QStringLiteral("ANA"), QStringLiteral("BEA")}));
        p.celda(0, C::CALL);
        QAction *orden = p.accion(QStringLiteral("ToolOrden"));
        QVERIFY(orden->isCheckable());
        orden->trigger();
        QVERIFY(orden->isChecked());
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"ANA", "BEA", "CLO"}));
        // The grid stays on the same user and column.
        QCOMPARE(p.DBGrid1()->currentIndex(), p.modelo()->index(2, C::CALL));
        orden->trigger();
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"CLO", "ANA", "BEA"}));
        QCOMPARE(p.DBGrid1()->currentIndex(), p.modelo()->index(0, C::CALL));
    }

    // Enter after an edit leaves the cursor on the row just edited; where the order by name moves
    // that row (a finished code stores it), the cursor goes with it.
    void enterKeepsTheEditedRow_data()
    {
        QTest::addColumn<bool>("ordenado");
        QTest::addColumn<int>("fila");
        QTest::addColumn<int>("columna");
        QTest::addColumn<QString>("tecleado");
        QTest::addColumn<int>("filaDespues");
        QTest::addColumn<QString>("nombre");
        const int nombre = C::NOMBRE;
        const int codigo = C::CODIGO;
        QTest::newRow("call, last row") << false << 2 << int(C::CALL) << "12" << 2 << "BEA";
        QTest::newRow("name, middle row") << false << 1 << nombre << "anna" << 1 << "ANNA";
        QTest::newRow("name, ordered") << true << 1 << nombre << "bob" << 1 << "BOB";
        QTest::newRow("code, last row") << false << 2 << codigo << "123456" << 2 << "BEA";
        QTest::newRow("code, middle row") << false << 1 << codigo << "123456" << 1 << "ANA";
        QTest::newRow("code, ordered, last row") << true << 2 << codigo << "123456" << 2 << "CLO";
        QTest::newRow("renamed, code, ordered, moves down") << true << 0 << nombre << "dan" << 2 << "DAN";
        QTest::newRow("renamed, code, ordered, moves up") << true << 2 << nombre << "ab" << 0 << "AB";
    }

    void enterKeepsTheEditedRow()
    {
        QFETCH(bool, ordenado);
        QFETCH(int, fila);
        QFETCH(int, columna);
        QFETCH(QString, tecleado);
        QFETCH(int, filaDespues);
        QFETCH(QString, nombre);
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("CLO"), QStringLiteral("ANA"), QStringLiteral("BEA")}));
        if (ordenado)
            p.accion(QStringLiteral("ToolOrden"))->trigger();
        p.celda(fila, columna);
        if (columna != C::CODIGO) {
            // The cell editor opens with its text selected: what is typed replaces it.
            p.pulsa(Qt::Key_F2);
            p.teclea(tecleado);
            p.pulsa(Qt::Key_Return);
            QCOMPARE(p.DBGrid1()->currentIndex(), p.modelo()->index(fila, columna));
            QCOMPARE(p.muestra(fila, C::NOMBRE), nombre);
            if (!QTest::currentDataTag() || !QByteArray(QTest::currentDataTag()).startsWith("renamed"))
                return;
            // Then a code finishes the row, which the order puts elsewhere.
            p.celda(fila, C::CODIGO);
            tecleado = QStringLiteral("123456");
        }
        QVERIFY(p.edtCode()->isVisible());
        p.edtCode()->setFocus();
        p.edtCode()->selectAll();
        p.teclea(tecleado);
        p.pulsa(Qt::Key_Return);
        QCOMPARE(p.tabla().state(), Table::State::Browse);
        QCOMPARE(p.DBGrid1()->currentIndex(), p.modelo()->index(filaDespues, C::LINEA2));
        QCOMPARE(p.muestra(filaDespues, C::NOMBRE), nombre);
    }

    void tableReopenedBehindTheGridIsFollowed()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA"), QStringLiteral("BEA")}));
        p.celda(1, C::CALL);
        // A transfer closes Table1, writes through a handle of its own and opens Table1 again;
        // the grid follows at once, with no paint or input in between.
        p.m_ctx.usuarios->Activa_Tabla(false);
        QCOMPARE(p.DBGrid1()->verticalHeader()->count(), 0);
        {
            TableCursor cursor;
            cursor.open(p.carpeta(), QStringLiteral("usuarios.db"));
            cursor.insert();
            cursor.setValue(Campo::NOMBRE, QStringLiteral("CLO"));
            cursor.post();
        }
        p.m_ctx.usuarios->Activa_Tabla(true);
        QCOMPARE(p.DBGrid1()->verticalHeader()->count(), 3);
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"ANA", "BEA", "CLO"}));
        QCOMPARE(p.DBGrid1()->currentIndex(), p.modelo()->index(0, C::NOMBRE));
    }

    void lockingClosesTheGrid()
    {
        UsuariosPrueba p;
        QVERIFY(abre(p, {QStringLiteral("ANA")}));
        p.celda(0, C::CODIGO);
        p.edtCode()->clear();
        p.teclea(QStringLiteral("12"));
        p.principal().conecta_APLICACION(false);
        QVERIFY(!p.DBGrid1()->isVisible());
        QVERIFY(!p.edtCode()->isVisible());
        QVERIFY(!p.tabla().isOpen());
        QCOMPARE(p.modelo()->rowCount(), 0);
        QCOMPARE(p.principal().L_Fichero()->text(), QString());
        QCOMPARE(p.m_pitidos, 0);
    }
};

QTEST_MAIN(tst_PrincipalUsuarios)
#include "tst_principal_usuarios.moc"
