#pragma once

#include <QDialog>
#include <QHash>

class Contexto;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
struct CamposParametros;
struct EtiquetasParametros;

// The operating parameters of one board: read into the fields, edited, checked and written back.
// Created once; the fields keep their texts between openings, so a read that fails shows what the
// previous opening showed. The close box leaves without writing.
class TF_Parametros : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Parametros(Contexto &ctx, QWidget *parent = nullptr);

    // Reads the board in num_placa into the fields; the caption becomes "???" for good when the
    // board's language is none of the four.
    void Lee_Parametros(const QString &num_placa);

    // Set once AceptarClick has passed the check and starts writing.
    bool parametros_grabados() const { return m_parametros_grabados; }
    void setParametros_grabados(bool on) { m_parametros_grabados = on; }
    // The board number handed in before the window opens; the new panel number once written.
    QString placa_parametros() const { return m_placa_parametros; }
    void setPlaca_parametros(const QString &placa) { m_placa_parametros = placa; }

    // Checks the fields and, if they pass, writes them all, restarts the board and closes. Raises
    // the link's errors; the window then stays open.
    void AceptarClick();
    void SpeedButton2Click();

    // The key as the field takes it, or a carriage return (13), which the field ignores.
    QChar Edit1KeyPress(QChar key) const;
    QChar Edit2KeyPress(QChar key) const;
    QChar Edit3KeyPress(QChar key) const;
    QChar Edit4KeyPress(QChar key) const;
    QChar Edit5KeyPress(QChar key) const;
    QChar Edit6KeyPress(QChar key) const;
    QChar Edit7KeyPress(QChar key) const;
    QChar Edit8KeyPress(QChar key) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using FiltroTecla = QChar (TF_Parametros::*)(QChar) const;

    QLineEdit *campo(const char *nombre, int longitud, FiltroTecla filtro, QWidget *padre);
    // texto: the code field's text where the key goes in.
    QChar filtroCodigo(const QString &texto, QChar key) const;
    CamposParametros campos() const;
    void setCampos(const CamposParametros &c);
    EtiquetasParametros etiquetas() const;
    // An error that ends AceptarClick is shown over the window, which stays open.
    void aceptaProtegido();

    Contexto &m_ctx;
    bool m_parametros_grabados = false;
    QString m_placa_parametros;
    // Set while the fields are written: the writes pump events and a second click must not start.
    bool m_escribiendo = false;
    QHash<const QObject *, FiltroTecla> m_filtros;

    QTabWidget *m_PageControl1 = nullptr;
    QWidget *m_TabSheet2 = nullptr;
    QLineEdit *m_Edit1 = nullptr;
    QLineEdit *m_Edit2 = nullptr;
    QComboBox *m_Edit3 = nullptr;
    QLineEdit *m_Edit4 = nullptr;
    QLineEdit *m_Edit5 = nullptr;
    QLineEdit *m_Edit6 = nullptr;
    QLineEdit *m_Edit7 = nullptr;
    QLineEdit *m_Edit8 = nullptr;
    QLabel *m_Label1 = nullptr;
    QLabel *m_Label2 = nullptr;
    QLabel *m_Label3 = nullptr;
    QLabel *m_Label4 = nullptr;
    QLabel *m_Label5 = nullptr;
    QLabel *m_Label6 = nullptr;
    QLabel *m_Label9 = nullptr;
    QLabel *m_Label11 = nullptr;
};
