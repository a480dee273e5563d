#include "TF_Comparacion.h"

#include "ErrorBox.h"
#include "TextLookup.h"
#include "TzrError.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TF_Comparacion::TF_Comparacion(const TextLookup &textos, std::function<QString(const QString &)> titulo,
                               QWidget *parent)
    : QDialog(parent), m_textos(textos), m_titulo(std::move(titulo))
{
    setObjectName(QStringLiteral("TF_Comparacion"));
    resize(720, 420);
    m_resumen = new QLabel(this);
    m_resumen->setObjectName(QStringLiteral("L_Resumen"));
    m_resumen->setWordWrap(true);
    m_lista = new QTreeWidget(this);
    m_lista->setObjectName(QStringLiteral("Lista"));
    m_lista->setRootIsDecorated(false);
    m_lista->setColumnCount(6);
    m_GuardarCSV = new QPushButton(this);
    m_GuardarCSV->setObjectName(QStringLiteral("GuardarCSV"));
    m_Cerrar = new QPushButton(this);
    m_Cerrar->setObjectName(QStringLiteral("Cerrar"));
    auto *botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(m_GuardarCSV);
    botones->addWidget(m_Cerrar);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_resumen);
    layout->addWidget(m_lista);
    layout->addLayout(botones);
    connect(m_GuardarCSV, &QPushButton::clicked, this, &TF_Comparacion::GuardarCSVClick);
    connect(m_Cerrar, &QPushButton::clicked, this, &QDialog::close);
    m_elige = [this] {
        return QFileDialog::getSaveFileName(this, m_GuardarCSV->text(), QString(),
                                            texto("SYNC_CSV_FILTER", "CSV files (*.csv)"));
    };
    m_aviso = [this](const QString &m) { showErrorBox(this, m); };
}

QString TF_Comparacion::texto(const char *key, const char *fallback) const
{
    return m_textos.texto(QString::fromLatin1(key), QString::fromUtf8(fallback));
}

void TF_Comparacion::muestra(const CompareReport &informe, const QString &placa, const QString &fichero)
{
    m_informe = informe;
    setWindowTitle(texto("SYNC_REPORT_CAPTION", "Comparison with the system") + QStringLiteral(" - ") +
                   placa + QStringLiteral(" / ") + fichero);
    m_GuardarCSV->setText(texto("SYNC_SAVE_CSV", "Save as CSV"));
    m_Cerrar->setText(texto("SYNC_CLOSE", "Close"));
    m_lista->setHeaderLabels({texto("SYNC_COL_SLOT", "Slot"), texto("SYNC_COL_KIND", "Difference"),
                              texto("SYNC_COL_BOARD", "On board"), texto("SYNC_COL_FILE", "In file"),
                              texto("SYNC_COL_FIELDS", "Fields"), texto("SYNC_COL_NOTE", "Note")});
    QString resumen =
        texto("SYNC_REPORT_SUMMARY", "Board: %1 users. File: %2 users. Only on board: %3. Only in "
                                     "file: %4. Different: %5. Moved: %6.")
            .arg(informe.boardUsers)
            .arg(informe.fileUsers)
            .arg(informe.onlyOnBoard)
            .arg(informe.onlyInFile)
            .arg(informe.different)
            .arg(informe.moved);
    if (informe.expiredOnBoard > 0)
        resumen += QLatin1Char(' ') +
                   texto("VU_REPORT_EXPIRED", "Expired, still on the board: %1.").arg(informe.expiredOnBoard);
    if (informe.noDifferences())
        resumen +=
            QLatin1Char('\n') + texto("SYNC_REPORT_SAME", "The board and the file hold the same users.");
    m_resumen->setText(resumen);
    m_lista->clear();
    for (const CompareEntry &e : informe.entries) {
        QString clase;
        switch (e.kind) {
        case CompareEntry::Kind::OnlyOnBoard:
            clase = texto("SYNC_KIND_BOARD", "Only on board");
            break;
        case CompareEntry::Kind::OnlyInFile:
            clase = texto("SYNC_KIND_FILE", "Only in file");
            break;
        case CompareEntry::Kind::Different:
            clase = texto("SYNC_KIND_DIFFERENT", "Different");
            break;
        case CompareEntry::Kind::ExpiredOnBoard:
            clase = texto("VU_KIND_EXPIRED", "Expired, still on the board");
            break;
        }
        QStringList campos;
        for (const QString &c : e.fields) {
            const QString t = m_titulo ? m_titulo(c) : QString();
            campos << (t.isEmpty() ? c : t);
        }
        QStringList notas;
        if (e.boardSlot >= 0)
            notas << texto("SYNC_NOTE_ON_BOARD", "same user on the board in slot %1").arg(e.boardSlot + 1);
        if (e.filePosition >= 0)
            notas << texto("SYNC_NOTE_IN_FILE", "same user in the file at position %1").arg(e.filePosition + 1);
        auto *item = new QTreeWidgetItem(m_lista, {QString::number(e.slot + 1), clase, e.boardName,
                                                   e.fileName, campos.join(QStringLiteral(", ")),
                                                   notas.join(QStringLiteral("; "))});
        item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int c = 0; c < m_lista->columnCount(); ++c)
        m_lista->resizeColumnToContents(c);
    show();
    raise();
    activateWindow();
}

void TF_Comparacion::GuardarCSVClick()
{
    QString path = m_elige ? m_elige() : QString();
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    try {
        m_informe.saveCsv(path);
    } catch (const TzrError &e) {
        if (m_aviso)
            m_aviso(e.message());
    }
}
