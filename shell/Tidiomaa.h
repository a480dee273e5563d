#pragma once

#include <QDialog>

class Contexto;
class QComboBox;

// The language choice. Accepting stores IDIOMA and re-captions every window of the run.
class Tidiomaa : public QDialog
{
    Q_OBJECT
public:
    explicit Tidiomaa(Contexto &ctx, QWidget *parent = nullptr);

    void AceptarClick();
    QString seleccion() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    Contexto &m_ctx;
    QComboBox *m_cbxIdioma = nullptr;
};

// The File menu's language entry: shows the language form modally.
void Idioma1Click(Contexto &ctx);
