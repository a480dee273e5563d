#pragma once

#include <QString>

// The main window's run-wide flags, shared with the dialogs that answer through confirmado.
class EstadoPrograma
{
public:
    bool aplicacion_conectada() const { return m_aplicacionConectada; }
    void setAplicacion_conectada(bool on) { m_aplicacionConectada = on; }
    bool placa_conectada() const { return m_placaConectada; }
    void setPlaca_conectada(bool on) { m_placaConectada = on; }
    bool detener_proceso() const { return m_detenerProceso; }
    void setDetener_proceso(bool on) { m_detenerProceso = on; }
    bool confirmado() const { return m_confirmado; }
    void setConfirmado(bool on) { m_confirmado = on; }
    QString Caption_Parametros() const { return m_captionParametros; }
    void setCaption_Parametros(const QString &text) { m_captionParametros = text; }
    QString Puerto_Actual() const { return m_puertoActual; }
    void setPuerto_Actual(const QString &name) { m_puertoActual = name; }

private:
    bool m_aplicacionConectada = false;
    bool m_placaConectada = false;
    bool m_detenerProceso = false;
    bool m_confirmado = false;
    QString m_captionParametros;
    QString m_puertoActual;
};
