#pragma once

#include "CompareJob.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QTreeWidget;
class TextLookup;

// The report of "Compare with system": the counts, one line per slot that differs, and saving
// the report as a CSV file. Texts from the language file; field names as the grid titles them.
class TF_Comparacion : public QDialog
{
    Q_OBJECT
public:
    // titulo gives the grid's title of a field (NOMBRE, CALL, ...), or an empty text.
    TF_Comparacion(const TextLookup &textos, std::function<QString(const QString &)> titulo,
                   QWidget *parent = nullptr);

    void muestra(const CompareReport &informe, const QString &placa, const QString &fichero);
    const CompareReport &informe() const { return m_informe; }

    // Where the CSV goes: the chosen path, empty when cancelled. A save dialog unless replaced.
    void setEligeFichero(std::function<QString()> elige) { m_elige = std::move(elige); }
    // How a failed save is told; an error box unless replaced.
    void setAvisoError(std::function<void(const QString &)> aviso) { m_aviso = std::move(aviso); }
    void GuardarCSVClick();

    QLabel *resumen() const { return m_resumen; }
    QTreeWidget *lista() const { return m_lista; }

private:
    QString texto(const char *key, const char *fallback) const;

    const TextLookup &m_textos;
    std::function<QString(const QString &)> m_titulo;
    std::function<QString()> m_elige;
    std::function<void(const QString &)> m_aviso;
    CompareReport m_informe;
    QLabel *m_resumen = nullptr;
    QTreeWidget *m_lista = nullptr;
    QPushButton *m_GuardarCSV = nullptr;
    QPushButton *m_Cerrar = nullptr;
};
