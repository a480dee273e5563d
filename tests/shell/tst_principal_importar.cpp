#include "UsuariosPrueba.h"

#include "Asigna_Lenguaje.h"
#include "Configuracion.h"
#include "ImportDialog.h"
#include "TableFamily.h"
#include "UsersTableRules.h"

#include "ModalDriver.h"

#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

using C = Table1Model;

// "Import…" in the File menu: the report of what will and will not be taken, cancel and accept.
class tst_PrincipalImportar : public QObject
{
    Q_OBJECT

private:
    struct Informe
    {
        QString resumen;
        QStringList rechazos;
    };

    // Answers the import's file dialog with fichero and the report with the given choice.
    static Informe importa(UsuariosPrueba &p, const QString &fichero, bool reemplazar, bool aceptar)
    {
        Informe informe;
        onNextModal([&](QWidget *w) {
            auto *d = qobject_cast<ImportDialog *>(w);
            if (!d) {
                w->close();
                return;
            }
            if (reemplazar)
                d->findChild<QRadioButton *>(QStringLiteral("Reemplazar"))->click();
            informe.resumen = d->findChild<QLabel *>(QStringLiteral("Resumen"))->text();
            const QListWidget *lista = d->findChild<QListWidget *>(QStringLiteral("Rechazos"));
            for (int i = 0; i < lista->count(); ++i)
                informe.rechazos << lista->item(i)->text();
            d->findChild<QPushButton *>(aceptar ? QStringLiteral("Aceptar") : QStringLiteral("Cancelar"))
                ->click();
        });
        p.orden("Importar1", fichero);
        return informe;
    }

private slots:
    void importWithReportCancelAndAccept()
    {
        UsuariosPrueba p;
        p.escribeIni("[TZR]\r\nTZR_Senda=" + p.carpeta().toUtf8() + "/\r\nIDIOMA=ESPA\xD1OL\r\n");
        QVERIFY(p.arrancaDesbloqueado());
        // The entry sits after New in the File menu and speaks the chosen language.
        QMenu *archivo = p.principal().findChild<QMenu *>(QStringLiteral("Archivo1"));
        emit archivo->aboutToShow();
        const QList<QAction *> entradas = archivo->actions();
        QCOMPARE(entradas.at(2)->objectName(), QStringLiteral("Importar1"));
        QCOMPARE(entradas.at(2)->text(), QStringLiteral("Importar…"));

        p.nuevo(QStringLiteral("u.db"));
        Table &t = p.tabla();
        p.rejilla().cambiaTabla([&] {
            QVERIFY(t.append());
            t.setValue(Campo::NOMBRE, QStringLiteral("OLD"));
            t.setValue(Campo::CALL, QStringLiteral("9"));
            t.setValue(Campo::TZR, QStringLiteral("9"));
            QVERIFY(t.post());
        });
        QFile csv(p.ruta(QStringLiteral("vecinos.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("Nombre;Llamada;TZR;C\xC3\xB3"
                  "digo\r\nana;1;1;1234\r\nBEA;;2;\r\nCARL;3;3;\r\n");
        csv.close();

        Informe informe = importa(p, csv.fileName(), false, false);
        // One row reads as one row, and the reason names the column as the grid titles it.
        QCOMPARE(informe.resumen, QStringLiteral("Se importarán 2 usuarios; 1 fila no se puede tomar."));
        QCOMPARE(informe.rechazos, QStringList{QStringLiteral("Línea 3: Llamada está vacío")});
        QCOMPARE(p.columna(C::NOMBRE), QStringList{QStringLiteral("OLD")});

        informe = importa(p, csv.fileName(), false, true);
        // Names are taken as the file holds them, as a board gave them.
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"OLD", "ana", "CARL"}));
        QCOMPARE(p.columna(C::CODIGO), QStringList({"", "123400", ""}));
        QCOMPARE(p.columna(C::TIPO_CODE), QStringList({"", "Teclado", ""}));

        informe = importa(p, csv.fileName(), true, true);
        QCOMPARE(p.columna(C::NOMBRE), QStringList({"ana", "CARL"}));
        QVERIFY(p.m_errores.isEmpty());
    }

    // Counts read right in each language; Qt's own texts (standard buttons, file dialogs) follow
    // the chosen language at start-up and when it is changed.
    void countsAndQtsOwnTextsFollowTheLanguage_data()
    {
        QTest::addColumn<QByteArray>("idioma");
        QTest::addColumn<QString>("resumen");
        QTest::addColumn<QString>("cancelar");
        QTest::newRow("ENGLISH") << QByteArray("ENGLISH") << "1 user will be imported; 1 row cannot be taken."
                                 << "Cancel";
        QTest::newRow("ESPAÑOL") << QByteArray("ESPA\xD1OL")
                                 << "Se importará 1 usuario; 1 fila no se puede tomar." << "Cancelar";
        QTest::newRow("FRANÇAIS") << QByteArray("FRAN\xC7" "AIS")
                                  << "1 utilisateur sera importé ; 1 ligne ne peut être prise." << "Annuler";
    }

    void countsAndQtsOwnTextsFollowTheLanguage()
    {
        QFETCH(QByteArray, idioma);
        QFETCH(QString, resumen);
        QFETCH(QString, cancelar);
        UsuariosPrueba p;
        p.escribeIni("[TZR]\r\nTZR_Senda=" + p.carpeta().toUtf8() + "/\r\nIDIOMA=" + idioma + "\r\n");
        QVERIFY(p.arrancaDesbloqueado());
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancelar);
        p.nuevo(QStringLiteral("u.db"));
        QFile csv(p.ruta(QStringLiteral("uno.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("Nombre;Llamada;TZR\r\nana;1;1\r\nBEA;;2\r\n");
        csv.close();
        QCOMPARE(importa(p, csv.fileName(), false, false).resumen, resumen);
        // Back to English: Qt's texts with it.
        p.m_ctx.configuracion->setIDIOMA(QStringLiteral("ENGLISH"));
        Lenguaje_Todos(p.m_ctx);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    }

    // The data file goes away while the report is open: the import fails, and so does the reopen
    // after it; the import's error is the one shown first, the reopen's after it.
    void importErrorIsNotReplacedByTheReopenError()
    {
        UsuariosPrueba p;
        p.escribeIni("[TZR]\r\nTZR_Senda=" + p.carpeta().toUtf8() + "/\r\nIDIOMA=ENGLISH\r\n");
        QVERIFY(p.arrancaDesbloqueado());
        p.nuevo(QStringLiteral("u.db"));
        QFile csv(p.ruta(QStringLiteral("vecinos.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("ana;1;1;1234\r\n");
        csv.close();
        const QString base = p.ruta(QStringLiteral("u"));
        onNextModal([&](QWidget *w) {
            auto *d = qobject_cast<ImportDialog *>(w);
            if (!d) {
                w->close();
                return;
            }
            for (const QString &member : TableFamily::members(base))
                QFile::remove(member);
            d->findChild<QPushButton *>(QStringLiteral("Aceptar"))->click();
        });
        p.orden("Importar1", csv.fileName());
        QCOMPARE(p.m_errores.size(), 1);
        const QStringList lineas = p.m_errores.first().split(QLatin1Char('\n'));
        QCOMPARE(lineas.size(), 2);
        QVERIFY2(!lineas.at(0).isEmpty() && !lineas.at(1).isEmpty(), qPrintable(p.m_errores.first()));
    }
};

QTEST_MAIN(tst_PrincipalImportar)
#include "tst_principal_importar.moc"
