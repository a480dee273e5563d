#include "UsuariosPrueba.h"

#include "DataFileLock.h"
#include "FicheroActual.h"
#include "TF_ShowMessage.h"
#include "TableCursor.h"
#include "UsersTableRules.h"

#include "ModalDriver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QListWidget>
#include <QProcess>

using C = Table1Model;

namespace {

const char *LECTOR = R"(
import json, sys, xlrd
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
json.dump([[sheet.cell_value(r, c) for c in range(sheet.ncols)] for r in range(sheet.nrows)], sys.stdout)
)";

// The cells of a workbook's first sheet as an independent reader sees them.
QList<QStringList> leeLibro(const QString &fichero)
{
    QProcess lector;
    lector.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromLatin1(LECTOR), fichero});
    if (!lector.waitForFinished(60000) || lector.exitCode() != 0) {
        qWarning() << lector.readAllStandardError();
        return {};
    }
    QList<QStringList> filas;
    for (const QJsonValue &fila : QJsonDocument::fromJson(lector.readAllStandardOutput()).array()) {
        QStringList celdas;
        for (const QJsonValue &celda : fila.toArray())
            celdas << celda.toString();
        filas << celdas;
    }
    return filas;
}

QStringList nombresEn(const QString &carpeta, const QString &fichero)
{
    TableCursor cursor;
    cursor.open(carpeta, fichero);
    QStringList r;
    for (cursor.first(); !cursor.eof(); cursor.next())
        r << cursor.value(Campo::NOMBRE);
    return r;
}

} // namespace

class tst_PrincipalFicheros : public QObject
{
    Q_OBJECT

private:
    static bool arranca(UsuariosPrueba &p)
    {
        p.escribeIni("[TZR]\r\nTZR_Senda=" + p.carpeta().toUtf8() + "/\r\n");
        return p.arrancaDesbloqueado();
    }

    // Users entered through Table1 with its rules, as the grid enters them; each is NOMBRE, CALL,
    // TZR, CODIGO, LINEA2, LINEA2_ON, TIPO_CODE.
    static void agrega(UsuariosPrueba &p, const QList<QStringList> &usuarios)
    {
        Table &t = p.tabla();
        p.rejilla().cambiaTabla([&] {
            for (const QStringList &u : usuarios) {
                QVERIFY(t.append());
                for (int c = 0; c < C::COLUMNAS; ++c)
                    t.setValue(C::campo(c), u.value(c));
                QVERIFY(t.post());
            }
        });
    }

    static QStringList lineasDelMensaje(UsuariosPrueba &p, const char *accion, const QString &respuesta)
    {
        QStringList lineas;
        onNextModal([&lineas](QWidget *w) {
            if (auto *m = qobject_cast<TF_ShowMessage *>(w)) {
                lineas << m->linea1() << m->linea2();
                m->B_OKClick();
            } else {
                w->close();
            }
        });
        p.orden(accion, respuesta);
        return lineas;
    }

private slots:
    void fileDialogs_data()
    {
        QTest::addColumn<QString>("accion");
        QTest::addColumn<QString>("dialogo");
        QTest::addColumn<int>("modo");
        QTest::addColumn<int>("ficheros");
        QTest::addColumn<QString>("filtro");
        QTest::addColumn<QString>("sufijo");
        QTest::addColumn<bool>("preguntaSiExiste");
        QTest::newRow("open") << "ToolFicheros"
                              << "OpenFi" << int(QFileDialog::AcceptOpen) << int(QFileDialog::ExistingFile)
                              << "TZR Data Files (*.db)"
                              << "db" << true;
        QTest::newRow("open from the menu") << "DirectoriodeTrabajo1"
                                            << "OpenFi" << int(QFileDialog::AcceptOpen)
                                            << int(QFileDialog::ExistingFile) << "TZR Data Files (*.db)"
                                            << "db" << true;
        QTest::newRow("new") << "ToolNuevo"
                             << "Salvar" << int(QFileDialog::AcceptSave) << int(QFileDialog::AnyFile)
                             << "TZR Data Files (*.db)"
                             << "db" << true;
        QTest::newRow("new from the menu") << "N2"
                                           << "Salvar" << int(QFileDialog::AcceptSave)
                                           << int(QFileDialog::AnyFile) << "TZR Data Files (*.db)"
                                           << "db" << true;
        QTest::newRow("save as") << "ToolSalvar"
                                 << "Salvar_COMO" << int(QFileDialog::AcceptSave) << int(QFileDialog::AnyFile)
                                 << "TZR Data Files (*.db)"
                                 << "db" << true;
        QTest::newRow("export") << "ToolExcel"
                                << "Dialogo1" << int(QFileDialog::AcceptSave) << int(QFileDialog::AnyFile)
                                << "Excel Files (*.xls)"
                                << "xls" << false;
    }

    void fileDialogs()
    {
        QFETCH(QString, accion);
        QFETCH(QString, dialogo);
        QFETCH(int, modo);
        QFETCH(int, ficheros);
        QFETCH(QString, filtro);
        QFETCH(QString, sufijo);
        QFETCH(bool, preguntaSiExiste);
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        // Save as asks for a name only while a data file is open.
        p.nuevo(QStringLiteral("abierto.db"));
        p.m_dialogos.clear();
        p.m_directorios.clear();
        p.orden(accion.toLatin1().constData(), QString());

        QCOMPARE(p.m_dialogos, QStringList{dialogo});
        QCOMPARE(p.m_directorios, QStringList{p.carpeta()});
        QCOMPARE(p.m_cursorEnDialogo.last(), false);
        auto *d = p.principal().findChild<QFileDialog *>(dialogo);
        QVERIFY(d);
        QCOMPARE(int(d->acceptMode()), modo);
        QCOMPARE(int(d->fileMode()), ficheros);
        QCOMPARE(d->nameFilters(), QStringList{filtro});
        QCOMPARE(d->defaultSuffix(), sufijo);
        QCOMPARE(!d->testOption(QFileDialog::DontConfirmOverwrite), preguntaSiExiste);
        QVERIFY(d->isSizeGripEnabled());
        // A cancelled dialog changes nothing.
        QCOMPARE(p.principal().L_Fichero()->text(), QStringLiteral("abierto"));
        QCOMPARE(p.tabla().tableName(), QStringLiteral("abierto.db"));
        QVERIFY(!QApplication::overrideCursor());
    }

    void fileFiltersInTheLanguage_data()
    {
        QTest::addColumn<QByteArray>("idioma");
        QTest::addColumn<QString>("datos");
        QTest::addColumn<QString>("excel");
        QTest::newRow("French") << QByteArray("FRAN\xC7" "AIS") << QString::fromUtf8("Fichiers de données TZR (*.db)")
                                << QStringLiteral("Fichiers Excel (*.xls)");
        QTest::newRow("Spanish") << QByteArray("ESPA\xD1OL") << QStringLiteral("Ficheros de datos TZR (*.db)")
                                 << QStringLiteral("Ficheros de Excel (*.xls)");
    }

    void fileFiltersInTheLanguage()
    {
        QFETCH(QByteArray, idioma);
        QFETCH(QString, datos);
        QFETCH(QString, excel);
        UsuariosPrueba p;
        p.escribeIni("[TZR]\r\nTZR_Senda=" + p.carpeta().toUtf8() + "/\r\nIDIOMA=" + idioma + "\r\n");
        QVERIFY(p.arrancaDesbloqueado());
        p.nuevo(QStringLiteral("abierto.db"));
        QCOMPARE(p.principal().findChild<QFileDialog *>(QStringLiteral("Salvar"))->nameFilters(), QStringList{datos});
        p.orden("ToolExcel", QString());
        QCOMPARE(p.principal().findChild<QFileDialog *>(QStringLiteral("Dialogo1"))->nameFilters(), QStringList{excel});
    }

    void typingAfterNewGoesIntoTheGrid()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.principal().show();
        QVERIFY(QTest::qWaitForWindowExposed(&p.principal()));
        p.principal().Arbol()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(p.principal().Arbol()));
        p.nuevo(QStringLiteral("nuevo.db"));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(p.DBGrid1()));
    }

    void newMakesTheFileAndKeepsItsDirectory()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        const QString otra = p.m_dir.filePath(QStringLiteral("otra"));
        QVERIFY(QDir().mkpath(otra));
        // Typed without its extension.
        p.orden("ToolNuevo", otra + QStringLiteral("/nuevo"));
        for (const char *ext : {".db", ".px", ".val", ".XG0", ".YG0"})
            QVERIFY2(QFile::exists(otra + QStringLiteral("/nuevo") + QLatin1String(ext)), ext);
        QCOMPARE(p.principal().L_Fichero()->text(), QStringLiteral("nuevo"));
        QVERIFY(p.DBGrid1()->isVisible());
        QVERIFY(p.tabla().isOpen());
        QCOMPARE(p.tabla().recordCount(), 0);
        QCOMPARE(p.m_ctx.fichero->Directorio_Trabajo(), otra + QLatin1Char('/'));
        QVERIFY(p.leeIni().contains(QStringLiteral("TZR_Senda=") + otra + QLatin1Char('/')));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(p.m_errores.isEmpty());

        p.orden("ToolFicheros", QString());
        QCOMPARE(p.m_directorios.last(), otra);
    }

    void extensionInAnyCase_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::newRow("upper") << ".DB";
        QTest::newRow("mixed") << ".Db";
        QTest::newRow("lower") << ".db";
    }

    // New, Save as and Open each open the family they name, whatever the case of ".db".
    void extensionInAnyCase()
    {
        QFETCH(QString, extension);
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("USERS") + extension);
        QVERIFY(p.m_errores.isEmpty());
        QVERIFY(p.tabla().isOpen());
        QVERIFY(QFile::exists(p.ruta(QStringLiteral("USERS.db"))));
        agrega(p, {{"ANA", "1", "1"}});
        p.orden("ToolSalvar", p.ruta(QStringLiteral("COPIA") + extension));
        QVERIFY(p.m_errores.isEmpty());
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"ANA"}));
        QCOMPARE(p.principal().L_Fichero()->text(), QStringLiteral("COPIA"));
        p.orden("ToolFicheros", p.ruta(QStringLiteral("USERS") + extension));
        QVERIFY(p.m_errores.isEmpty());
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"ANA"}));
    }

    void openShowsTheRowsOfTheFile()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("primero.db"));
        agrega(p, {{"ANA", "1", "1"}, {"BEA", "2", "2"}});
        p.nuevo(QStringLiteral("segundo.db"));
        QCOMPARE(p.modelo()->rowCount(), 1);
        p.orden("ToolFicheros", p.ruta(QStringLiteral("primero.db")));
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"ANA", "BEA"}));
        QCOMPARE(p.columna(C::CALL), QStringList({"0001", "0002"}));
        QCOMPARE(p.principal().L_Fichero()->text(), QStringLiteral("primero"));
        QCOMPARE(p.DBGrid1()->currentIndex(), p.modelo()->index(0, C::NOMBRE));
    }

    void openOfAMissingFileShowsTheError()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("bueno.db"));
        QVERIFY(p.DBGrid1()->isVisible());
        p.orden("ToolFicheros", p.ruta(QStringLiteral("falta.db")));
        QCOMPARE(p.m_errores.size(), 1);
        QVERIFY(!p.DBGrid1()->isVisible());
        QVERIFY(!p.tabla().isOpen());
        QCOMPARE(p.modelo()->rowCount(), 0);
        QVERIFY(!QApplication::overrideCursor());
    }

    // One program at a time: the window holds the file it shows (through Save as too), and a
    // file another program holds is not opened or written over.
    void aFileIsHeldByOneProgram()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("uno.db"));
        const qint64 yo = QCoreApplication::applicationPid();
        QCOMPARE(DataFileLock::holderOf(p.ruta(QStringLiteral("uno.db"))).value_or(DataFileLock::Holder{}).pid, yo);
        p.orden("ToolSalvar", p.ruta(QStringLiteral("dos.db")));
        QCOMPARE(DataFileLock::holderOf(p.ruta(QStringLiteral("dos.db"))).value_or(DataFileLock::Holder{}).pid, yo);
        QVERIFY(!DataFileLock::holderOf(p.ruta(QStringLiteral("uno.db"))).has_value());

        DataFileLock otro;
        otro.lock(p.ruta(QStringLiteral("uno.db")));
        p.orden("ToolFicheros", p.ruta(QStringLiteral("uno.db")));
        QCOMPARE(p.m_errores.size(), 1);
        QVERIFY2(p.m_errores.last().startsWith(QStringLiteral("uno.db is in use by another program.\nClose it in ")),
                 qPrintable(p.m_errores.last()));
        QVERIFY(!p.tabla().isOpen());
        p.orden("ToolNuevo", p.ruta(QStringLiteral("uno.db")));
        QCOMPARE(p.m_errores.size(), 2);
        QVERIFY(p.m_errores.last().contains(QStringLiteral("in use")));

        otro.unlock();
        p.orden("ToolFicheros", p.ruta(QStringLiteral("uno.db")));
        QCOMPARE(p.m_errores.size(), 2);
        QVERIFY(p.tabla().isOpen());
        // Locking the application lets go of the file.
        p.principal().conecta_APLICACION(false);
        QVERIFY(!DataFileLock::holderOf(p.ruta(QStringLiteral("uno.db"))).has_value());
    }

    // Written behind the window's back anyway (a program that takes no lock): the window shows
    // the file as it now is when it comes back to the front, and a write refuses to land on rows
    // nobody saw.
    void aChangeBehindTheWindowIsReadBeforeAnyWrite()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("tres.db"));
        agrega(p, {{"GARCIA ANA", "1", "1", "0099"}, {"LUIS", "2", "2"}});
        const auto reemplaza = [&p](const QString &nombre) {
            TableCursor cursor;
            cursor.open(p.carpeta(), QStringLiteral("tres.db"));
            while (cursor.recordCount() > 0) {
                cursor.first();
                cursor.deleteCurrent();
            }
            cursor.insert();
            cursor.setValue(Campo::NOMBRE, nombre);
            cursor.setValue(Campo::CALL, QStringLiteral("0007"));
            cursor.post();
        };
        reemplaza(QStringLiteral("PLACA TRES"));
        QEvent activa(QEvent::ActivationChange);
        p.principal().activateWindow();
        QTRY_VERIFY(p.principal().isActiveWindow());
        QCoreApplication::sendEvent(&p.principal(), &activa);
        QTRY_COMPARE(p.columna(C::NOMBRE), QStringList{QStringLiteral("PLACA TRES")});
        QTRY_VERIFY(p.principal().textoEstado().contains(QStringLiteral("changed by another program")));

        reemplaza(QStringLiteral("PLACA CUATRO"));
        p.celda(0, C::NOMBRE);
        p.teclea(QStringLiteral("X"));
        p.pulsa(Qt::Key_Return);
        QTRY_COMPARE(p.columna(C::NOMBRE), QStringList{QStringLiteral("PLACA CUATRO")});
        QCOMPARE(p.tabla().state(), Table::State::Browse);
        QCOMPARE(nombresEn(p.carpeta(), QStringLiteral("tres.db")), QStringList{QStringLiteral("PLACA CUATRO")});
    }

    void saveAsToAnotherDirectoryKeepsTheOldFile()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("viejo.db"));
        agrega(p, {{"ANA", "1", "1"}, {"BEA", "2", "2"}});
        const QString otra = p.m_dir.filePath(QStringLiteral("otra"));
        QVERIFY(QDir().mkpath(otra));
        p.orden("ToolSalvar", otra + QStringLiteral("/copia"));

        QVERIFY(p.m_errores.isEmpty());
        QCOMPARE(p.m_dialogos.last(), QStringLiteral("Salvar_COMO"));
        QCOMPARE(p.principal().L_Fichero()->text(), QStringLiteral("copia"));
        QCOMPARE(p.tabla().filePath(), otra + QStringLiteral("/copia.db"));
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"ANA", "BEA"}));
        QCOMPARE(nombresEn(p.carpeta(), QStringLiteral("viejo.db")), QStringList({"ANA", "BEA"}));
        for (const QString &dir : {p.carpeta(), otra})
            QVERIFY(QDir(dir).entryList({QStringLiteral("temp*")}, QDir::Files).isEmpty());

        p.orden("ToolFicheros", p.ruta(QStringLiteral("viejo.db")));
        QCOMPARE(p.principal().L_Fichero()->text(), QStringLiteral("viejo"));
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"ANA", "BEA"}));
        QVERIFY(!QApplication::overrideCursor());
    }

    void saveAsToTheSameNameIsRefused()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("mismo.db"));
        agrega(p, {{"ANA", "1", "1"}});
        const QStringList lineas = lineasDelMensaje(p, "ToolSalvar", p.ruta(QStringLiteral("mismo.db")));
        QCOMPARE(lineas, QStringList({"Cannot do that operation :", "it is the same data file."}));
        QVERIFY(p.m_errores.isEmpty());
        QVERIFY(p.tabla().isOpen());
        QCOMPARE(p.tabla().filePath(), p.ruta(QStringLiteral("mismo.db")));
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"ANA"}));
        QCOMPARE(p.principal().L_Fichero()->text(), QStringLiteral("mismo"));
        QVERIFY(p.DBGrid1()->isVisible());
        QVERIFY(!QApplication::overrideCursor());
    }

    void saveAsWithoutATableAsksNothing()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.orden("ToolSalvar", p.ruta(QStringLiteral("nada.db")));
        QVERIFY(p.m_dialogos.isEmpty());
        QVERIFY(!QFile::exists(p.ruta(QStringLiteral("nada.db"))));
    }

    void exportWritesTheRowsAsShown()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("lista.db"));
        agrega(p, {{QStringLiteral("ÑANDÚ"), "1", "2", "123400", "SEGUNDA", "X", "Keypad"},
                   {"BEA", "0002", "002", "", "", "", ""},
                   {"CLO", "3", "3", "1234567000", "", "", "Card"}});
        p.orden("ToolExcel", p.ruta(QStringLiteral("lista")));

        QCOMPARE(p.m_dialogos.last(), QStringLiteral("Dialogo1"));
        QVERIFY(p.m_errores.isEmpty());
        const QList<QStringList> esperado{
            {QStringLiteral("ÑANDÚ"), "0001", "002", "123400", "SEGUNDA", "X", "Keypad"},
            {"BEA", "0002", "002", "", "", "", ""},
            {"CLO", "0003", "003", "1234567000", "", "", "Card"}};
        QCOMPARE(leeLibro(p.ruta(QStringLiteral("lista.xls"))), esperado);
        QCOMPARE(p.principal().Lista_solo_EXCEL()->count(), 0);
        QVERIFY(!QApplication::overrideCursor());
    }

    void exportDialogStartsWithoutAName()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("nombres.db"));
        agrega(p, {{"ANA", "1", "1"}});
        QStringList nombresAlAbrir;
        p.principal().setEligeFichero([&](QFileDialog *d) {
            auto *edit = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            nombresAlAbrir << (edit ? edit->text() : QStringLiteral("<none>"));
            // What the user types stays in the dialog, as a real dialog keeps it.
            d->selectFile(QStringLiteral("primera.xls"));
            return p.ruta(QStringLiteral("primera.xls"));
        });
        p.accion(QStringLiteral("ToolExcel"))->trigger();
        p.accion(QStringLiteral("ToolExcel"))->trigger();
        QCOMPARE(nombresAlAbrir, QStringList({QString(), QString()}));
    }

    void exportFollowsTheOrdering()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("orden.db"));
        agrega(p, {{"CLO", "1", "1"}, {"ANA", "2", "2"}, {"BEA", "3", "3"}});
        p.accion(QStringLiteral("ToolOrden"))->trigger();
        p.orden("ToolExcel", p.ruta(QStringLiteral("orden.xls")));
        QStringList nombres;
        for (const QStringList &fila : leeLibro(p.ruta(QStringLiteral("orden.xls"))))
            nombres << fila.value(0);
        QCOMPARE(nombres, QStringList({"ANA", "BEA", "CLO"}));
    }

    void exportFailureIsShown()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("fallo.db"));
        agrega(p, {{"ANA", "1", "1"}});
        p.orden("ToolExcel", p.m_dir.filePath(QStringLiteral("no/existe/lista.xls")));
        QCOMPARE(p.m_errores.size(), 1);
        QCOMPARE(p.principal().Lista_solo_EXCEL()->count(), 0);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"ANA"}));
    }

    void exportOfAnEmptyTableWritesNothing()
    {
        UsuariosPrueba p;
        QVERIFY(arranca(p));
        p.nuevo(QStringLiteral("vacio.db"));
        p.orden("ToolExcel", p.ruta(QStringLiteral("vacio.xls")));
        QVERIFY(!QFile::exists(p.ruta(QStringLiteral("vacio.xls"))));
        QVERIFY(p.m_errores.isEmpty());
    }
};

QTEST_MAIN(tst_PrincipalFicheros)
#include "tst_principal_ficheros.moc"
