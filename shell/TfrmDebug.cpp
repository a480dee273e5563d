#include "TfrmDebug.h"

#include "PrivateFile.h"
#include "SpecialFolder.h"
#include "TzrError.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr QSize TAMANO_CLIENTE{675, 393};
const QString SALTO = QStringLiteral("\r\n");
} // namespace

TfrmDebug::TfrmDebug(Contexto &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("TfrmDebug"));
    setWindowTitle(QStringLiteral("Debug"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(TAMANO_CLIENTE);

    m_memDebug = new QPlainTextEdit(this);
    m_memDebug->setObjectName(QStringLiteral("memDebug"));
    m_memDebug->setReadOnly(true);
    m_memDebug->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memDebug->setUndoRedoEnabled(false);
    m_memDebug->setFont(QFont(QStringLiteral("Monospace")));

    m_btnClear = new QPushButton(QStringLiteral("Limpiar"), this);
    m_btnClear->setObjectName(QStringLiteral("btnClear"));
    m_btnSave = new QPushButton(QStringLiteral("Guardar"), this);
    m_btnSave->setObjectName(QStringLiteral("btnSave"));
    m_btnClose = new QPushButton(QStringLiteral("Cerrar"), this);
    m_btnClose->setObjectName(QStringLiteral("btnClose"));
    for (QPushButton *b : {m_btnClear, m_btnSave, m_btnClose})
        b->setAutoDefault(false);

    auto *botones = new QHBoxLayout;
    botones->addWidget(m_btnClear);
    botones->addStretch();
    botones->addWidget(m_btnSave);
    botones->addStretch();
    botones->addWidget(m_btnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_memDebug, 1);
    layout->addLayout(botones);

    connect(m_btnClear, &QPushButton::clicked, this, &TfrmDebug::btnClearClick);
    connect(m_btnSave, &QPushButton::clicked, this, [this] {
        try {
            btnSaveClick();
        } catch (const TzrError &e) {
            QMessageBox::critical(this, QGuiApplication::applicationDisplayName(), e.message());
        }
    });
    connect(m_btnClose, &QPushButton::clicked, this, &TfrmDebug::btnCloseClick);
}

QString TfrmDebug::sello(const QDateTime &when)
{
    const QString fecha = Clock::shortDate(when.date());
    if (when.time() == QTime(0, 0))
        return fecha;
    return fecha + QLatin1Char(' ') + Clock::longTime(when.time());
}

QString TfrmDebug::nombreFichero(const QDateTime &when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    return QStringLiteral("Debug%1%2%3_%4%5%6.log")
        .arg(d.day())
        .arg(d.month())
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(t.hour())
        .arg(t.minute())
        .arg(t.second());
}

QDateTime TfrmDebug::ahora() const
{
    return (m_clock ? m_clock : &m_relojSistema)->now();
}

void TfrmDebug::printDebug(const QString &message)
{
    m_texto += SALTO + QLatin1Char('[') + sello(ahora()) + QStringLiteral("] ") + message;
    programaRefresco();
}

void TfrmDebug::appendMark(const QString &mark)
{
    m_texto += mark;
    programaRefresco();
}

void TfrmDebug::btnClearClick()
{
    m_texto.clear();
    m_mostrado = 0;
    m_memDebug->clear();
}

QString TfrmDebug::carpetaLog() const
{
    if (!m_carpetaLog.isEmpty())
        return m_carpetaLog;
    return SpecialFolder::debugLogFolder(m_carpetaPrograma.isEmpty() ? QCoreApplication::applicationDirPath()
                                                                     : m_carpetaPrograma);
}

QString TfrmDebug::btnSaveClick()
{
    const QString path = QDir(carpetaLog()).filePath(nombreFichero(ahora()));
    // A log name repeats within one second; the newer save replaces the older file.
    PrivateFile::write(path, (m_texto + SALTO).toUtf8(), PrivateFile::Existing::KeepMode);
    return path;
}

void TfrmDebug::btnCloseClick()
{
    hide();
}

void TfrmDebug::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    refrescaVista();
}

void TfrmDebug::programaRefresco()
{
    if (m_refrescoPendiente || !isVisible())
        return;
    m_refrescoPendiente = true;
    QTimer::singleShot(0, this, &TfrmDebug::refrescaVista);
}

void TfrmDebug::refrescaVista()
{
    m_refrescoPendiente = false;
    if (m_mostrado == m_texto.size())
        return;
    QScrollBar *barra = m_memDebug->verticalScrollBar();
    const bool alFinal = barra->value() == barra->maximum();
    QString cola = m_texto.mid(m_mostrado);
    cola.remove(QLatin1Char('\r'));
    QTextCursor cursor(m_memDebug->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(cola);
    m_mostrado = m_texto.size();
    // Follow the newest line unless the reader has scrolled back.
    if (alFinal)
        barra->setValue(barra->maximum());
}
