#pragma once

#include "ArranquePrueba.h"
#include "Table.h"
#include "Table1Model.h"
#include "UsersGrid.h"
#include "UsersTable.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

// A run of the program with no serial port, the shipped language file and the template family in
// its Korvel folder, unlocked and shown, its file dialogs answered from a list and its beeps and
// error boxes counted instead of shown.
class UsuariosPrueba : public ArranquePrueba
{
public:
    UsuariosPrueba() : ArranquePrueba({}, std::chrono::milliseconds(20), {})
    {
        const QDir datos(qEnvironmentVariable("TZR_BUILD_DIR") + QStringLiteral("/data"));
        for (const char *f :
             {"Patron.db", "Patron.px", "Patron.val", "Patron.XG0", "Patron.YG0", "TZR_LANG.ini"})
            QFile::copy(datos.filePath(QLatin1String(f)), korvel() + QLatin1Char('/') + QLatin1String(f));
        QDir().mkpath(carpeta());
    }

    // Where the tests keep their data files.
    QString carpeta() const { return m_dir.filePath(QStringLiteral("datos")); }
    QString ruta(const QString &nombre) const { return carpeta() + QLatin1Char('/') + nombre; }

    bool arrancaDesbloqueado()
    {
        arranca();
        principal().setAvisoError([this](const QString &m) { m_errores << m; });
        principal().setEligeFichero([this](QFileDialog *d) {
            m_dialogos << d->objectName();
            m_directorios << d->directory().absolutePath();
            m_cursorEnDialogo << (QApplication::overrideCursor() != nullptr);
            return m_respuestas.isEmpty() ? QString() : m_respuestas.takeFirst();
        });
        rejilla().setBeep([this] { ++m_pitidos; });
        principal().conecta_APLICACION(true);
        principal().show();
        principal().activateWindow();
        return QTest::qWaitForWindowActive(&principal());
    }

    // Runs a command whose file dialog is answered with ruta (empty: cancelled).
    void orden(const char *accion, const QString &respuesta)
    {
        m_respuestas << respuesta;
        ArranquePrueba::accion(QString::fromLatin1(accion))->trigger();
    }
    void nuevo(const QString &nombre) { orden("ToolNuevo", ruta(nombre)); }

    UsersGrid &rejilla() { return *principal().rejillaUsuarios(); }
    QTableView *DBGrid1() { return principal().DBGrid1(); }
    QLineEdit *edtCode() { return principal().edtCode(); }
    Table1Model *modelo() { return rejilla().DataSource1(); }
    Table &tabla() { return m_ctx.usuarios->Table1(); }

    // Makes a cell of the grid the current one, as a click would, with the focus in the grid.
    void celda(int fila, int columna)
    {
        DBGrid1()->setFocus();
        DBGrid1()->setCurrentIndex(modelo()->index(fila, columna));
    }
    QWidget *foco() const { return QApplication::focusWidget(); }
    // Types into whatever has the focus, one key at a time, as the keyboard does; the events a key
    // posts (a cell editor commits on Return that way) are delivered before the next key.
    void teclea(const QString &texto)
    {
        for (QChar c : texto) {
            if (c.unicode() < 0x80)
                QTest::keyClick(foco(), char(c.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, foco(), Qt::Key_unknown, QString(c), Qt::NoModifier);
            QCoreApplication::processEvents();
        }
    }
    void pulsa(Qt::Key tecla, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(foco(), tecla, mods);
        QCoreApplication::processEvents();
    }

    // What the grid shows in a cell.
    QString muestra(int fila, int columna) { return modelo()->index(fila, columna).data().toString(); }
    QStringList columna(int c)
    {
        QStringList r;
        for (int f = 0; f < modelo()->rowCount(); ++f)
            r << muestra(f, c);
        return r;
    }

    // Types a user into the current row: NOMBRE, CALL and TZR, leaving the grid on CODIGO.
    void tecleaUsuario(const QString &nombre, const QString &call, const QString &tzr)
    {
        teclea(nombre);
        pulsa(Qt::Key_Tab);
        teclea(call);
        pulsa(Qt::Key_Tab);
        teclea(tzr);
        pulsa(Qt::Key_Tab);
    }

    QStringList m_respuestas;
    QStringList m_dialogos;
    QStringList m_directorios;
    QList<bool> m_cursorEnDialogo;
    QStringList m_errores;
    int m_pitidos = 0;
};
