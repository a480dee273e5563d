#include "AlAbrir.h"
#include "ArranquePrueba.h"

#include "EntryGuard.h"
#include "TF_Mensaje_Parametros.h"
#include "TF_Parametros.h"
#include "TF_ShowMessage.h"
#include "TF_Solicita_Contra.h"
#include "TfrmDebug.h"

#include <QAccessible>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QToolButton>

using namespace std::chrono_literals;

namespace {

struct Escritura
{
    int address;
    int value;
    bool operator==(const Escritura &) const = default;
};

QString ficheroIdioma()
{
    return qEnvironmentVariable("TZR_SOURCE_DIR") + QStringLiteral("/data/TZR_LANG.ini");
}

// A run in English on a bus holding board 1, port COM1 open and the window unlocked.
void prepara(ArranquePrueba &p)
{
    QVERIFY(QFile::copy(ficheroIdioma(), p.korvel() + QStringLiteral("/TZR_LANG.ini")));
    p.escribeIni("[TZR]\r\nComPort=1\r\nIDIOMA=ENGLISH\r\n");
    p.arranca();
    p.principal().conecta_APLICACION(true);
    p.m_bus.clearLog();
}

template <typename T = QWidget> T *hijo(QWidget *ventana, const char *nombre)
{
    return ventana->findChild<T *>(QString::fromLatin1(nombre));
}

QLineEdit *edit(QWidget *ventana, const char *nombre)
{
    return hijo<QLineEdit>(ventana, nombre);
}

QString texto(QWidget *ventana, const char *nombre)
{
    return hijo<QLabel>(ventana, nombre)->text();
}

QComboBox *idioma(QWidget *ventana)
{
    return hijo<QComboBox>(ventana, "Edit3");
}

// Fields that pass the check, in the English captions' window.
void rellena(QWidget *v)
{
    edit(v, "Edit1")->setText(QStringLiteral("5"));
    edit(v, "Edit4")->setText(QStringLiteral("1"));
    idioma(v)->setCurrentIndex(1);
    edit(v, "Edit2")->setText(QStringLiteral("4"));
    edit(v, "Edit5")->setText(QStringLiteral("10"));
    edit(v, "Edit6")->setText(QStringLiteral("20"));
    edit(v, "Edit7")->setText(QStringLiteral("12345"));
    edit(v, "Edit8")->setText(QStringLiteral("54321"));
}

QList<Escritura> escritas(const BoardBus &bus)
{
    QList<Escritura> r;
    for (const BoardBus::Request &q : bus.requests(BoardBus::CMD_WRITE))
        r << Escritura{q.address, q.value};
    return r;
}

// The reply times the debug log was told about, in order (reply marks follow a line's text).
QStringList intervalos(const TfrmDebug &debug)
{
    static const QRegularExpression linea(
        QStringLiteral("TF_Test\\.IniciarClick: Cambiamos TimerRecepcion\\.Interval a (\\d+)"));
    QStringList r;
    for (auto it = linea.globalMatch(debug.texto()); it.hasNext();)
        r << it.next().captured(1);
    return r;
}

// Presses ToolSistema and answers the master code dialog with codigo; accion gets the parameters
// window, which is closed afterwards by its close box if accion left it open. Returns whether the
// window opened.
bool abreParametros(ArranquePrueba &p, const QString &codigo,
                    const std::function<void(TF_Parametros *)> &accion)
{
    AlAbrir<TF_Solicita_Contra> contra([codigo](TF_Solicita_Contra *d) {
        d->E_Contra()->setText(codigo);
        hijo<QPushButton>(d, "Aceptar")->click();
    });
    AlAbrir<TF_Parametros> ventana([&accion](TF_Parametros *v) {
        accion(v);
        if (v->isVisible())
            v->close();
    });
    p.accion(QStringLiteral("ToolSistema"))->trigger();
    return ventana.hecho();
}

} // namespace

class TestTF_Parametros : public QObject
{
    Q_OBJECT

private slots:
    void windowAsDesigned()
    {
        ArranquePrueba p({1});
        prepara(p);
        TF_Parametros *v = p.m_ctx.parametros;
        QCOMPARE(v->windowTitle(), QStringLiteral("TZRUsers"));
        QVERIFY(v->windowFlags() & Qt::WindowStaysOnTopHint);
        auto *aceptar = hijo<QPushButton>(v, "Aceptar");
        QCOMPARE(aceptar->text(), QStringLiteral("Change"));
        QVERIFY(aceptar->isHidden());
        QVERIFY(hijo<QToolButton>(v, "SpeedButton1"));
        QCOMPARE(texto(v, "L_TITULO"), QStringLiteral("TZR - User Management"));
        QCOMPARE(texto(v, "Label15"), QStringLiteral("System Parameters"));
        auto *paginas = hijo<QTabWidget>(v, "PageControl1");
        QCOMPARE(paginas->currentWidget()->objectName(), QStringLiteral("TabSheet1"));
        QCOMPARE(paginas->tabText(0), QStringLiteral("Parameters"));
        QCOMPARE(paginas->tabText(1), QStringLiteral("Help"));
        // The two hints without a key keep their design texts.
        QCOMPARE(texto(v, "Label19"), QStringLiteral("0 : Card, 1 : Button"));
        QCOMPARE(texto(v, "Label20"), QStringLiteral("4, 5, 6."));
        QCOMPARE(texto(v, "Label16"), QStringLiteral("Master code"));
        QCOMPARE(texto(v, "Label18"), QStringLiteral("from 1 to 31"));

        // The lengths limit what is typed; a value read from the board is shown whole.
        const QList<QPair<const char *, int>> longitudes{
            {"Edit1", 2}, {"Edit4", 1}, {"Edit2", 1}, {"Edit5", 2}, {"Edit6", 2}, {"Edit7", 5}, {"Edit8", 5}};
        v->show();
        for (const auto &[nombre, longitud] : longitudes) {
            QLineEdit *e = edit(v, nombre);
            e->clear();
            e->setFocus();
            QTest::keyClicks(e, QStringLiteral("1111111"));
            QTest::keyClicks(e, QStringLiteral("4444444"));
            QCOMPARE(e->text().size(), longitud);
            QCOMPARE(e->echoMode(), QLineEdit::Normal);
            e->clear();
        }
        v->hide();
        QComboBox *e3 = idioma(v);
        QVERIFY(!e3->isEditable());
        QCOMPARE(e3->currentText(), QString());
        const QStringList items{"ESPAÑOL", "ENGLISH", "FRANÇAIS", "DEUTSCH"};
        for (int i = 0; i < items.size(); ++i)
            QCOMPARE(e3->itemText(i), items.at(i));

        // Tab order follows the display order of the fields.
        QStringList orden;
        QWidget *w = edit(v, "Edit1");
        for (int i = 0; i < 8; ++i) {
            orden << w->objectName();
            w = w->nextInFocusChain();
            while (w && !w->objectName().startsWith(QLatin1String("Edit")))
                w = w->nextInFocusChain();
        }
        QCOMPARE(orden,
                 QStringList({"Edit1", "Edit4", "Edit3", "Edit2", "Edit5", "Edit6", "Edit7", "Edit8"}));

        hijo<QToolButton>(v, "SpeedButton2")->click();
        QCOMPARE(paginas->currentWidget()->objectName(), QStringLiteral("TabSheet2"));
    }

    void keyFilters_data()
    {
        QTest::addColumn<QString>("campo");
        QTest::addColumn<QString>("tecleado");
        QTest::addColumn<QString>("resultado");
        QTest::newRow("panel digits") << "Edit1"
                                      << "a1-2"
                                      << "12";
        QTest::newRow("panel at most 2") << "Edit1"
                                         << "315"
                                         << "31";
        QTest::newRow("reader 0 or 1") << "Edit4"
                                       << "2x1"
                                       << "1";
        QTest::newRow("code length 4 to 6") << "Edit2"
                                            << "37"
                                            << "";
        QTest::newRow("code length 5") << "Edit2"
                                       << "95"
                                       << "5";
        QTest::newRow("time A digits") << "Edit5"
                                       << "5 9"
                                       << "59";
        QTest::newRow("time B digits") << "Edit6"
                                       << "+04"
                                       << "04";
        QTest::newRow("code upper case") << "Edit7"
                                         << "a1b2"
                                         << "A1B2";
        QTest::newRow("code not starting with B") << "Edit7"
                                                  << "bB1b"
                                                  << "1B";
        QTest::newRow("code letters A and B only") << "Edit7"
                                                   << "1cdefB"
                                                   << "1B";
        QTest::newRow("code at most 5") << "Edit8"
                                        << "1234567"
                                        << "12345";
        QTest::newRow("master code") << "Edit8"
                                     << "b0a"
                                     << "0A";
    }
    void keyFilters()
    {
        QFETCH(QString, campo);
        QFETCH(QString, tecleado);
        QFETCH(QString, resultado);
        ArranquePrueba p;
        p.arranca();
        TF_Parametros *v = p.m_ctx.parametros;
        v->show();
        QLineEdit *e = edit(v, campo.toLatin1().constData());
        e->setFocus();
        QTest::keyClicks(e, tecleado);
        QCOMPARE(e->text(), resultado);
        // Editing keys still work.
        QTest::keyClick(e, Qt::Key_Backspace);
        QCOMPARE(e->text(), resultado.chopped(resultado.isEmpty() ? 0 : 1));
        v->hide();
    }

    void keyHandlers()
    {
        ArranquePrueba p;
        p.arranca();
        TF_Parametros &v = *p.m_ctx.parametros;
        const QChar retorno(13);
        for (QChar c : {QChar(8), QChar(9), QChar(10), retorno}) {
            QCOMPARE(v.Edit1KeyPress(c), c);
            QCOMPARE(v.Edit7KeyPress(c), c);
        }
        QCOMPARE(v.Edit1KeyPress(QChar(27)), retorno);
        QCOMPARE(v.Edit3KeyPress(QLatin1Char('E')), retorno);
        QCOMPARE(v.Edit3KeyPress(QChar(8)), retorno);
        QCOMPARE(v.Edit7KeyPress(QLatin1Char('a')), QLatin1Char('A'));
        QCOMPARE(v.Edit7KeyPress(QLatin1Char('b')), retorno);
        edit(&v, "Edit8")->setText(QStringLiteral("1"));
        QCOMPARE(v.Edit8KeyPress(QLatin1Char('b')), QLatin1Char('B'));
        QCOMPARE(v.Edit7KeyPress(QLatin1Char('b')), retorno);
    }

    void languageListCannotBeTyped()
    {
        ArranquePrueba p;
        p.arranca();
        TF_Parametros *v = p.m_ctx.parametros;
        v->show();
        QComboBox *e3 = idioma(v);
        e3->setCurrentIndex(1);
        QTest::keyClicks(e3, QStringLiteral("Deutsch"));
        QCOMPARE(e3->currentText(), QStringLiteral("ENGLISH"));
        v->hide();
    }

    void pasteDoesNotReachTheFields()
    {
        ArranquePrueba p;
        p.arranca();
        TF_Parametros *v = p.m_ctx.parametros;
        v->show();
        QGuiApplication::clipboard()->setText(QStringLiteral("BBxx9"));
        for (const char *nombre : {"Edit1", "Edit7"}) {
            QLineEdit *e = edit(v, nombre);
            QTest::keySequence(e, QKeySequence::Paste);
            QCOMPARE(e->text(), QString());
            QCOMPARE(e->contextMenuPolicy(), Qt::NoContextMenu);
        }
        v->hide();
    }

    // Text that arrives by other routes than typed keys (the selection paste, an assistive
    // tool) gets the field's key filter and length all the same.
    void otherRoutesGetTheKeyFilter_data()
    {
        QTest::addColumn<QString>("campo");
        QTest::addColumn<QString>("llega");
        QTest::addColumn<QString>("queda");
        QTest::newRow("panel") << "Edit1"
                               << "x7-45"
                               << "74";
        QTest::newRow("reader") << "Edit4"
                                << "21"
                                << "1";
        QTest::newRow("code length") << "Edit2"
                                     << "255"
                                     << "5";
        QTest::newRow("time A") << "Edit5"
                                << "255"
                                << "25";
        QTest::newRow("programming code") << "Edit7"
                                          << "bcd1b2a99"
                                          << "1B2A9";
    }
    void otherRoutesGetTheKeyFilter()
    {
        QFETCH(QString, campo);
        QFETCH(QString, llega);
        QFETCH(QString, queda);
        ArranquePrueba p;
        p.arranca();
        TF_Parametros *v = p.m_ctx.parametros;
        v->show();
        QLineEdit *e = edit(v, campo.toLatin1().constData());
        QAccessibleInterface *accesible = QAccessible::queryAccessibleInterface(e);
        QVERIFY(accesible);
        accesible->setText(QAccessible::Value, llega);
        QCOMPARE(e->text(), queda);
        e->clear();
        e->insert(llega);
        QCOMPARE(e->text(), queda);
        v->hide();
    }

    // A blank board holds 255 where the window expects a number: it is shown whole, the check
    // refuses it, and nothing reaches the board until the user types a value.
    void blankBoardValuesAreShownWholeAndRefused()
    {
        ArranquePrueba p({1});
        prepara(p);
        Board &b = *p.m_bus.board(1);
        for (int direccion : {2, 5, 6})
            b.setByte(direccion, 0xFF);
        QStringList mensajes;
        const bool abierta = abreParametros(p, QStringLiteral("40962"), [&](TF_Parametros *v) {
            for (const char *nombre : {"Edit2", "Edit5", "Edit6"})
                QCOMPARE(edit(v, nombre)->text(), QStringLiteral("255"));
            edit(v, "Edit7")->setText(QStringLiteral("12345"));
            edit(v, "Edit8")->setText(QStringLiteral("54321"));
            AlAbrir<TF_Mensaje_Parametros> mensaje([&](TF_Mensaje_Parametros *m) {
                mensajes << m->L2();
                hijo<QPushButton>(m, "B_Aceptar")->click();
            });
            p.m_bus.clearLog();
            hijo<QToolButton>(v, "SpeedButton1")->click();
            QVERIFY(mensaje.hecho());
            QVERIFY(v->isVisible());
            QCOMPARE(escritas(p.m_bus), QList<Escritura>());
        });
        QVERIFY(abierta);
        QCOMPARE(mensajes, QStringList({"Code length"}));
    }

    // The message names the field by its caption in the current language.
    void checkRefusesAndWritesNothing_data()
    {
        QTest::addColumn<QString>("campo");
        QTest::addColumn<QString>("valor");
        QTest::addColumn<QString>("mensaje");
        QTest::newRow("panel 32") << "Edit1"
                                  << "32"
                                  << "Panel number";
        QTest::newRow("reader empty") << "Edit4"
                                      << ""
                                      << "Reader";
        QTest::newRow("time A 60") << "Edit5"
                                   << "60"
                                   << "Time A";
        QTest::newRow("programming code B") << "Edit7"
                                            << "B1234"
                                            << "Programming code";
        QTest::newRow("equal codes") << "Edit8"
                                     << "12345"
                                     << "Programming code=Master code";
    }
    void checkRefusesAndWritesNothing()
    {
        QFETCH(QString, campo);
        QFETCH(QString, valor);
        QFETCH(QString, mensaje);
        ArranquePrueba p({1});
        prepara(p);
        TF_Parametros *v = p.m_ctx.parametros;
        v->show();
        rellena(v);
        // As a value read from the board would stand there.
        EntryGuard::muestra(edit(v, campo.toLatin1().constData()), valor);
        QString visto;
        QString primera;
        AlAbrir<TF_Mensaje_Parametros> mensajeVisto([&](TF_Mensaje_Parametros *m) {
            visto = m->L2();
            primera = texto(m, "L1");
            hijo<QPushButton>(m, "B_Aceptar")->click();
        });
        hijo<QToolButton>(v, "SpeedButton1")->click();
        QVERIFY(mensajeVisto.hecho());
        QCOMPARE(visto, mensaje);
        QCOMPARE(primera, QStringLiteral("No changes made"));
        QVERIFY(v->isVisible());
        QVERIFY(!v->parametros_grabados());
        QCOMPARE(edit(v, campo.toLatin1().constData())->text(), valor);
        QCOMPARE(p.m_bus.requests().size(), 0);
        v->hide();
    }

    void readAndWriteWithTheMasterCode()
    {
        ArranquePrueba p({1});
        prepara(p);
        Board &b = *p.m_bus.board(1);
        b.setByte(Board::ADDR_LANGUAGE, 2);
        b.setByte(Board::ADDR_READER, 0);
        p.m_link.setTipo_lector(0);

        const bool abierta = abreParametros(p, QStringLiteral("40962"), [&](TF_Parametros *v) {
            QCOMPARE(p.m_link.intervalo(), TIEMPO_RESPUESTA_LENTO);
            QCOMPARE(v->placa_parametros(), QStringLiteral("01"));
            QCOMPARE(edit(v, "Edit1")->text(), QStringLiteral("01"));
            QCOMPARE(idioma(v)->currentText(), QStringLiteral("FRANÇAIS"));
            QCOMPARE(edit(v, "Edit4")->text(), QStringLiteral("0"));
            QCOMPARE(edit(v, "Edit2")->text(), QStringLiteral("6"));
            QCOMPARE(edit(v, "Edit5")->text(), QStringLiteral("10"));
            QCOMPARE(edit(v, "Edit6")->text(), QStringLiteral("10"));
            // A fresh board stores no codes: both fields start empty.
            QCOMPARE(edit(v, "Edit7")->text(), QString());
            QCOMPARE(edit(v, "Edit8")->text(), QString());
            QCOMPARE(p.m_link.tipo_lector(), 1);

            edit(v, "Edit1")->setText(QStringLiteral("31"));
            idioma(v)->setCurrentIndex(3);
            edit(v, "Edit5")->setText(QStringLiteral("4"));
            edit(v, "Edit6")->setText(QStringLiteral("59"));
            edit(v, "Edit7")->setText(QStringLiteral("A1234"));
            edit(v, "Edit8")->setText(QStringLiteral("9B870"));
            hijo<QToolButton>(v, "SpeedButton1")->click();
            QVERIFY(!v->isVisible());
        });
        QVERIFY(abierta);

        const QList<Escritura> esperadas{{1, 31},    {2, 6},     {3, 3},     {4, 0},     {5, 4},
                                         {6, 59},    {10, 0x3A}, {11, 0x3A}, {12, 0x31}, {13, 0x32},
                                         {14, 0x33}, {15, 0x34}, {16, 0x3A}, {17, 0x39}, {18, 0x3B},
                                         {19, 0x38}, {20, 0x37}, {21, 0x30}};
        QCOMPARE(escritas(p.m_bus), esperadas);
        for (const BoardBus::Request &q : p.m_bus.requests(BoardBus::CMD_WRITE))
            QCOMPARE(q.board, 1);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_RESTART, 1), 1);
        QCOMPARE(p.principal().num_placa()->text(), QStringLiteral("31"));
        QCOMPARE(p.nodos(), QStringList());
        QVERIFY(p.principal().TIEMPO_REINICIA_PLACA()->isActive());
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QCOMPARE(p.m_link.intervalo(), TIEMPO_RESPUESTA);
        QCOMPARE(intervalos(*p.m_ctx.debug), QStringList({"200", "100"}));

        // The scan after the restart finds the board under its new number.
        p.principal().TIEMPO_REINICIA_PLACA()->stop();
        p.principal().TIEMPO_REINICIA_PLACATimer();
        QCOMPARE(p.nodos(), QStringList({"31"}));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(!p.principal().TIEMPO_REINICIA_PLACA()->isActive());
        const Board &nueva = *p.m_bus.board(31);
        QCOMPARE(int(nueva.byte(Board::ADDR_LANGUAGE)), 3);
        QCOMPARE(nueva.programmingCode(), QStringLiteral("A1234"));
        QCOMPARE(nueva.masterCode(), QStringLiteral("9B870"));
    }

    void closeBoxWritesNothingAndFieldsStay()
    {
        ArranquePrueba p({1});
        prepara(p);
        QVERIFY(abreParametros(p, QStringLiteral("40962"), [](TF_Parametros *v) {
            edit(v, "Edit1")->setText(QStringLiteral("31"));
            edit(v, "Edit7")->setText(QStringLiteral("55555"));
            v->close();
        }));
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_RESTART), 0);
        QCOMPARE(p.principal().num_placa()->text(), QStringLiteral("01"));
        QVERIFY(!p.principal().TIEMPO_REINICIA_PLACA()->isActive());
        QCOMPARE(p.nodos(), QStringList({"01"}));
        QCOMPARE(p.m_link.intervalo(), TIEMPO_RESPUESTA);

        // The board stores no programming code, so the field shows what it held last time.
        QString codigo;
        QString panel;
        QVERIFY(abreParametros(p, QStringLiteral("40962"), [&](TF_Parametros *v) {
            codigo = edit(v, "Edit7")->text();
            panel = edit(v, "Edit1")->text();
        }));
        QCOMPARE(codigo, QStringLiteral("55555"));
        QCOMPARE(panel, QStringLiteral("01"));
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);
    }

    void masterCode_data()
    {
        QTest::addColumn<QString>("guardado");
        QTest::addColumn<QString>("tecleado");
        QTest::addColumn<bool>("abre");
        QTest::newRow("fresh board, default code") << ""
                                                   << "40962" << true;
        QTest::newRow("fresh board, other code") << ""
                                                 << "11111" << false;
        QTest::newRow("stored code") << "A0B12"
                                     << "A0B12" << true;
        QTest::newRow("stored code, default typed") << "A0B12"
                                                    << "40962" << false;
    }
    void masterCode()
    {
        QFETCH(QString, guardado);
        QFETCH(QString, tecleado);
        QFETCH(bool, abre);
        ArranquePrueba p({1});
        prepara(p);
        if (!guardado.isEmpty())
            QVERIFY(p.m_bus.board(1)->setMasterCode(guardado));
        QString codigo;
        QCOMPARE(abreParametros(p, tecleado, [&](TF_Parametros *v) { codigo = edit(v, "Edit8")->text(); }),
                 abre);
        if (abre && !guardado.isEmpty())
            QCOMPARE(codigo, guardado);
        QCOMPARE(p.m_link.intervalo(), TIEMPO_RESPUESTA);
        QCOMPARE(intervalos(*p.m_ctx.debug), QStringList({"200", "100"}));
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);
    }

    void languageOutsideTheFourMarksTheCaption()
    {
        ArranquePrueba p({1});
        prepara(p);
        p.m_bus.board(1)->setByte(Board::ADDR_LANGUAGE, 9);
        QString titulo;
        QString texto3 = QStringLiteral("unset");
        QVERIFY(abreParametros(p, QStringLiteral("40962"), [&](TF_Parametros *v) {
            titulo = v->windowTitle();
            texto3 = idioma(v)->currentText();
        }));
        QCOMPARE(titulo, QStringLiteral("???"));
        QCOMPARE(texto3, QString());

        // The mark stays for the rest of the run.
        p.m_bus.board(1)->setByte(Board::ADDR_LANGUAGE, 0);
        QVERIFY(abreParametros(p, QStringLiteral("40962"), [&](TF_Parametros *v) {
            titulo = v->windowTitle();
            texto3 = idioma(v)->currentText();
        }));
        QCOMPARE(titulo, QStringLiteral("???"));
        QCOMPARE(texto3, QStringLiteral("ESPAÑOL"));
    }

    void unknownReaderFailsTheCheckOnReader()
    {
        ArranquePrueba p({1});
        prepara(p);
        p.m_bus.board(1)->setByte(Board::ADDR_READER, 5);
        p.m_link.setTipo_lector(2);
        QString lector = QStringLiteral("unset");
        QString visto;
        QVERIFY(abreParametros(p, QStringLiteral("40962"), [&](TF_Parametros *v) {
            lector = edit(v, "Edit4")->text();
            edit(v, "Edit7")->setText(QStringLiteral("12345"));
            edit(v, "Edit8")->setText(QStringLiteral("54321"));
            AlAbrir<TF_Mensaje_Parametros> mensaje([&](TF_Mensaje_Parametros *m) {
                visto = m->L2();
                m->close();
            });
            v->AceptarClick();
            // The user types a valid reader and the check passes.
            QVERIFY(v->isVisible());
            QTest::keyClicks(edit(v, "Edit4"), QStringLiteral("0"));
            v->AceptarClick();
        }));
        QCOMPARE(lector, QString());
        QCOMPARE(visto, QStringLiteral("Reader"));
        QCOMPARE(p.m_link.tipo_lector(), 0);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 18);
        QCOMPARE(p.m_bus.requests(BoardBus::CMD_WRITE).at(3).value, 0);
        p.principal().TIEMPO_REINICIA_PLACA()->stop();
        QApplication::restoreOverrideCursor();
    }

    // A board that acknowledges the master code's writes without keeping them: the window says
    // what the board holds, the message naming the master code as not changed.
    void writesNotKeptAreSaid()
    {
        ArranquePrueba p({1});
        prepara(p);
        BoardBus::Faults faults;
        faults.lostWriteAddresses = {16, 17, 18, 19, 20, 21};
        p.m_bus.setFaults(faults);
        QStringList mensaje;
        QTimer cierra;
        QObject::connect(&cierra, &QTimer::timeout, [&mensaje] {
            if (auto *box = qobject_cast<TF_ShowMessage *>(QApplication::activeModalWidget())) {
                mensaje = QStringList{box->linea1(), box->linea2()};
                box->B_OKClick();
            }
        });
        cierra.start(5);
        QVERIFY(abreParametros(p, QStringLiteral("40962"), [&](TF_Parametros *v) {
            rellena(v);
            hijo<QToolButton>(v, "SpeedButton1")->click();
        }));
        QCOMPARE(mensaje.value(0), QStringLiteral("Parameters not all written."));
        QVERIFY2(mensaje.value(1).contains(QStringLiteral("The master code was not changed.")), qPrintable(mensaje.value(1)));
        QVERIFY2(mensaje.value(1).contains(QStringLiteral("The programming code was changed.")), qPrintable(mensaje.value(1)));
        // The board restarted as panel 5 (written and kept) and keeps the default master code.
        QVERIFY(p.m_bus.hasBoard(5));
        QCOMPARE(p.m_bus.board(5)->masterCode(), QString());
        p.principal().TIEMPO_REINICIA_PLACA()->stop();
        QApplication::restoreOverrideCursor();
    }

    void errorWhileWritingKeepsTheWindowOpen()
    {
        ArranquePrueba p({1});
        prepara(p);
        bool abiertaTrasError = false;
        CierraMensajes mensajes;
        QVERIFY(abreParametros(p, QStringLiteral("40962"), [&](TF_Parametros *v) {
            rellena(v);
            // Every field passes the check; the adapter goes after the twelve reads of the codes
            // as they were (7 bytes each) and three writes of 8 bytes.
            p.m_port.unplugAfterWrites(12 * 7 + 3 * 8);
            hijo<QToolButton>(v, "SpeedButton1")->click();
            abiertaTrasError = v->isVisible();
        }));
        QVERIFY(abiertaTrasError);
        QCOMPARE(mensajes.m_textos.size(), 1);
        QList<int> direcciones;
        for (const Escritura &e : escritas(p.m_bus))
            direcciones << e.address;
        QCOMPARE(direcciones, QList<int>({1, 2, 3}));
        QCOMPARE(p.m_bus.count(BoardBus::CMD_RESTART), 0);
        // The writing had started: the bus is scanned again, the board number is unchanged.
        QCOMPARE(p.principal().num_placa()->text(), QStringLiteral("01"));
        QVERIFY(p.principal().TIEMPO_REINICIA_PLACA()->isActive());
        p.principal().TIEMPO_REINICIA_PLACA()->stop();
        QApplication::restoreOverrideCursor();
    }

    void emptyBoardNumberEndsWithAnErrorAndTheShortReplyTime()
    {
        ArranquePrueba p({1});
        prepara(p);
        QStringList errores;
        p.principal().setAvisoError([&](const QString &m) { errores << m; });
        p.principal().num_placa()->clear();
        AlAbrir<TF_Solicita_Contra> contra([](TF_Solicita_Contra *d) { d->close(); });
        p.accion(QStringLiteral("ToolSistema"))->trigger();
        QVERIFY(contra.hecho());
        QCOMPARE(errores.size(), 1);
        QCOMPARE(p.m_link.intervalo(), TIEMPO_RESPUESTA);
        QCOMPARE(intervalos(*p.m_ctx.debug), QStringList({"200", "100"}));
        QVERIFY(!p.m_ctx.parametros->isVisible());
        QVERIFY(!p.m_link.ocupado());
    }

    void refusedWhileTheLinkIsBusy()
    {
        ArranquePrueba p({1});
        prepara(p);
        p.m_ctx.estado->setConfirmado(true);
        {
            const Comunicacion_TZR::Reserva reserva(p.m_link);
            p.accion(QStringLiteral("ToolSistema"))->trigger();
        }
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(p.m_bus.requests().size(), 0);
        QCOMPARE(intervalos(*p.m_ctx.debug), QStringList());
        QVERIFY(p.m_ctx.estado->confirmado());
    }

    void messageWindowAsDesigned()
    {
        ArranquePrueba p;
        prepara(p);
        TF_Mensaje_Parametros *m = p.m_ctx.mensajeParametros;
        QCOMPARE(m->windowTitle(), QStringLiteral("TZRUsers"));
        QCOMPARE(texto(m, "L1"), QStringLiteral("No changes made"));
        QCOMPARE(m->L2(), QStringLiteral("Test values"));
        QCOMPARE(hijo<QPushButton>(m, "B_Aceptar")->text(), QStringLiteral("OK"));
        QVERIFY(hijo<QLabel>(m, "Image1"));
    }
};

QTEST_MAIN(TestTF_Parametros)
#include "tst_TF_Parametros.moc"
