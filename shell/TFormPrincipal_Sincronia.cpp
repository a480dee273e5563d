// Beyond the two full transfers: compare the board with the data file, send only the changes,
// and save or restore a whole board. The work is in the jobs CompareJob, SendChangesJob and
// ImageJobs.

#include "TFormPrincipal.h"

#include "Asigna_Lenguaje.h"
#include "BoardSession.h"
#include "CompareJob.h"
#include "Contexto.h"
#include "ErrorBox.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"
#include "ImageJobs.h"
#include "Lenguaje.h"
#include "SeveralBoards.h"
#include "SyncMenus.h"
#include "SendChangesJob.h"
#include "TFProgreso.h"
#include "TF_Advertencia3.h"
#include "TF_Comparacion.h"
#include "TF_ShowMessage.h"
#include "TfrmDebug.h"
#include "TextLookup.h"
#include "TzrError.h"
#include "UsersTable.h"
#include "JobOutcomeTexts.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>

namespace {

QString texto(Contexto &ctx, const char *key, const char *fallback)
{
    const QString k = QString::fromLatin1(key);
    const QString f = QString::fromUtf8(fallback);
    return ctx.lenguaje ? ctx.lenguaje->texto(k, f) : f;
}

QString errorText(const std::exception &e)
{
    const auto *tzr = dynamic_cast<const TzrError *>(&e);
    return tzr ? tzr->message() : QString::fromLocal8Bit(e.what());
}

// The grid's column titles, read by their keys; the design titles when the file has none.
std::function<QString(const QString &)> compareColumnTitles(Contexto &ctx)
{
    return [&ctx](const QString &campo) {
        static const QMap<QString, QPair<const char *, const char *>> titulos{
            {QStringLiteral("NOMBRE"), {"FormPrincipal_DBGrid1_Columns_0_title_Caption", "Nombre"}},
            {QStringLiteral("CALL"), {"FormPrincipal_DBGrid1_Columns_1_title_Caption", "Llamada"}},
            {QStringLiteral("CODIGO"), {"FormPrincipal_DBGrid1_Columns_3_title_Caption", "Codigo"}},
            {QStringLiteral("LINEA2"), {"FormPrincipal_DBGrid1_Columns_4_title_Caption", "Linea2"}}};
        if (campo == QLatin1String("LINEA2_ON"))
            return QStringLiteral("L2");
        if (!titulos.contains(campo))
            return QString();
        const auto t = titulos.value(campo);
        return texto(ctx, t.first, t.second);
    };
}

} // namespace

void TFormPrincipal::creaMenusSincronia()
{
    SyncMenus(m_ctx, *m_miComunication, *m_Herraminetas1, *m_RecibirdelSistema2, *this,
              [this](QAction *a, std::function<void()> f) {
                  connect(a, &QAction::triggered, this, [this, f] { protegido(f); });
              },
              {[this] { CompararSistemaClick(); }, [this] { EnviarCambiosClick(); }, [this] { GuardarImagenClick(); },
               [this] { RestaurarImagenClick(); }});
    m_pregunta = [this](const QString &linea1, const QString &linea2) {
        return QMessageBox::question(this, windowTitle(), linea1 + QLatin1Char('\n') + linea2) ==
               QMessageBox::Yes;
    };
    new SeveralBoards(m_ctx, SeveralBoardsHost{this, m_Arbol, m_miComunication, m_Herraminetas1,
                                               [this] { return sesion(); }, [this] { return ficheroAbierto(); },
                                               [this] { return m_ToolOrden && m_ToolOrden->isChecked(); }});
}

void TFormPrincipal::CompararSistemaClick()
{
    BoardSession *sesion = this->sesion();
    if (!sesion || lineaOcupada() || m_ctx.fichero->Nombre_Tabla().isEmpty())
        return;
    sesion->purge();
    // A compare leaves the file as it is: it may be cancelled at any point.
    JobChores tareas = choresFor(*sesion, {.cancellable = true});
    const CompareResult resultado = CompareJob(*sesion, ficheroAbierto()).run(m_ToolOrden && m_ToolOrden->isChecked());
    const JobOutcomeTexts textos(textosDe(m_ctx));
    if (!resultado.done()) {
        tareas.finish();
        muestraFinTrabajo(resultado, textos.compareIncomplete());
        return;
    }
    tareas.saveLog();
    tareas.finish();
    const OutcomeLines fin = textos.compareOutcome(resultado);
    if (!fin.empty()) {
        showLines(fin);
        return;
    }
    if (!m_comparacion)
        m_comparacion = new TF_Comparacion(*m_ctx.lenguaje, compareColumnTitles(m_ctx), this);
    m_comparacion->muestra(resultado.comparison.informe, m_num_placa->text(), m_L_Fichero->text());
}

void TFormPrincipal::EnviarCambiosClick()
{
    BoardSession *sesion = this->sesion();
    if (!sesion || lineaOcupada() || !m_ctx.advertencia3 || m_ctx.fichero->Nombre_Tabla().isEmpty())
        return;
    AfterChanges despues = AfterChanges::Nothing;
    {
        const BoardSession::Hold reserva(*sesion);
        SendChangesJob trabajo(*sesion, ficheroAbierto());
        SendChangesPlan plan;
        if (prepareChanges(trabajo, plan, despues))
            despues = sendChanges(*sesion, trabajo, plan.preparation);
    }
    // The offered command runs once this one has let go of the link.
    if (despues == AfterChanges::FullSend)
        Enviar_ATNClick();
    else if (despues == AfterChanges::Compare)
        CompararSistemaClick();
}

// Encodes the rows and plans the writes; true when the plan is confirmed for the board.
bool TFormPrincipal::prepareChanges(SendChangesJob &trabajo, SendChangesPlan &plan, AfterChanges &despues)
{
    const JobOutcomeTexts textos(textosDe(m_ctx));
    try {
        if (m_ctx.usuarios)
            m_ctx.usuarios->Activa_Tabla(false);
    } catch (const std::exception &e) {
        terminaTransferencia();
        showErrorBox(this, errorText(e));
        return false;
    }
    plan = trabajo.prepare(m_ToolOrden && m_ToolOrden->isChecked());
    if (plan.end == JobEnd::Failed) {
        terminaTransferencia();
        showErrorBox(this, plan.error);
        return false;
    }
    const PreparacionCambios &p = plan.preparation;
    if (m_ctx.usuarios)
        m_ctx.usuarios->Activa_Tabla(true);
    if (p.estado == PreparacionCambios::Estado::FilaRechazada) {
        showLines(textos.rowRefused(p.rechazo));
        return false;
    }
    if (p.estado == PreparacionCambios::Estado::SinImagen) {
        if (m_pregunta &&
            m_pregunta(textos.text("SYNC_NO_IMAGE_1", "This file has no record of board %1 as it was last sent or received.")
                           .arg(m_num_placa->text()),
                       textos.text("SYNC_NO_IMAGE_2", "Send the whole file instead?")))
            despues = AfterChanges::FullSend;
        return false;
    }
    // Only the plan's slots are written: the full send's warning (board erased and replaced)
    // would be false here.
    const PlanCambios cambios = SyncTransfers::planifica(p.registros, p.imagen.area);
    return cambios.vacio() || confirmaCambios(cambios.escribir.size(), cambios.vaciar.size(), plan.leftOut);
}

TFormPrincipal::AfterChanges TFormPrincipal::sendChanges(BoardSession &sesion, SendChangesJob &trabajo,
                                                         const PreparacionCambios &p)
{
    sesion.purge();
    JobChores tareas = choresFor(sesion, {});
    const SendChangesResult resultado = trabajo.run(p);
    const JobOutcomeTexts textos(textosDe(m_ctx));
    if (!resultado.done()) {
        tareas.finish();
        if (resultado.sent.resultado.interrupcion == Interrupcion::Ninguna) {
            muestraFinTrabajo(resultado, textos.sendIncomplete());
            return AfterChanges::Nothing;
        }
        // Cut off in the writes: say how far they got.
        if (resultado.end == JobEnd::PortLost)
            puertoPerdido(textos.sendIncomplete());
        showMessage(m_ctx, textos.sendIncomplete(), textos.changesCutOff(resultado));
        return AfterChanges::Nothing;
    }
    tareas.saveLog();
    tareas.finish();
    if (resultado.sent.estado != ResultadoEnvioCambios::Estado::PlacaCambiada) {
        showLines(textos.changesOutcome(resultado));
        return AfterChanges::Nothing;
    }
    const bool comparar =
        m_pregunta &&
        m_pregunta(textos.text("SYNC_CHANGED_1", "The board was changed since %1. Nothing was sent.")
                       .arg(QLocale().toString(p.imagen.momento.toLocalTime(), QLocale::ShortFormat)),
                   textos.text("SYNC_CHANGED_2", "Compare with system now?"));
    return comparar ? AfterChanges::Compare : AfterChanges::Nothing;
}

bool TFormPrincipal::pideCodigoMaestro(const QString &motivo, const QString &nadaHecho)
{
    bool cancelado = false;
    switch (compruebaCodigo(QLatin1Char('M'), motivo, cancelado)) {
    case CodeCheck::Accepted:
        return true;
    case CodeCheck::Refused:
        if (!cancelado)
            showMessage(m_ctx, texto(m_ctx, "SYNC_CODE_WRONG", "Wrong master code."), nadaHecho);
        return false;
    case CodeCheck::NoAnswer:
        if (!cancelado)
            showMessage(m_ctx, texto(m_ctx, "F_SHOW_M3", "¿¿??"), texto(m_ctx, "F_SHOW_M4", "¿¿??"));
        return false;
    }
    return false;
}

bool TFormPrincipal::confirmaCambios(qsizetype escribir, qsizetype vaciar, const QStringList &leftOut)
{
    QMessageBox caja(QMessageBox::Question, windowTitle(),
                     texto(m_ctx, "SYNC_CONFIRM_1", "Send the changes of file %2 to board %1?")
                         .arg(m_num_placa->text(), m_ctx.fichero->Nombre_Tabla()),
                     QMessageBox::Ok | QMessageBox::Cancel, this);
    caja.setObjectName(QStringLiteral("ConfirmaCambios"));
    const QString cuenta =
        texto(m_ctx, "SYNC_CONFIRM_2", "Users to write: %1. Slots to empty: %2.").arg(escribir).arg(vaciar);
    caja.setInformativeText(JobOutcomeTexts(textosDe(m_ctx)).withLeftOut(
        cuenta + QLatin1Char('\n') + texto(m_ctx, "SYNC_CONFIRM_3", "The rest of the board stays as it is."), leftOut));
    caja.setDefaultButton(QMessageBox::Cancel);
    return caja.exec() == QMessageBox::Ok;
}

void TFormPrincipal::GuardarImagenClick()
{
    if (!m_ctx.sesion || lineaOcupada())
        return;
    if (!pideCodigoMaestro(texto(m_ctx, "SYNC_CODE_SAVE", "The master code of board %1 is asked to save its image.")
                               .arg(m_num_placa->text()),
                           texto(m_ctx, "SYNC_IMAGE_INCOMPLETE_2", "No image was saved.")))
        return;
    if (!m_DialogoImagen) {
        m_DialogoImagen = new QFileDialog(this);
        m_DialogoImagen->setObjectName(QStringLiteral("DialogoImagen"));
        m_DialogoImagen->setAcceptMode(QFileDialog::AcceptSave);
        m_DialogoImagen->setDefaultSuffix(QStringLiteral("tzrimg"));
    }
    m_DialogoImagen->setWindowTitle(texto(m_ctx, "SYNC_SAVE_IMAGE_TITLE",
                                          "Save system image - it holds the board's codes in clear and is "
                                          "saved readable by you only"));
    m_DialogoImagen->setNameFilter(texto(m_ctx, "SYNC_IMAGE_FILTER", "TZR system images (*.tzrimg)"));
    const QString path = eligeFichero(m_DialogoImagen);
    if (path.isEmpty())
        return;
    BoardSession *sesion = this->sesion();
    if (!sesion)
        return;
    SystemImage imagen;
    // Nothing is written before the whole board was read: it may be cancelled at any point.
    JobChores tareas = choresFor(*sesion, {.cancellable = true, .closesTable = false, .clearsLog = false});
    const ImageResult resultado = ImageJobs(*sesion).save(imagen, path);
    tareas.finish();
    const JobOutcomeTexts textos(textosDe(m_ctx));
    if (!resultado.done())
        muestraFinTrabajo(resultado, textos.imageNotSaved());
    else
        showLines(textos.imageSaved(resultado, path));
}

void TFormPrincipal::RestaurarImagenClick()
{
    if (!m_ctx.sesion || lineaOcupada())
        return;
    if (!m_DialogoAbrirImagen) {
        m_DialogoAbrirImagen = new QFileDialog(this);
        m_DialogoAbrirImagen->setObjectName(QStringLiteral("DialogoAbrirImagen"));
        m_DialogoAbrirImagen->setAcceptMode(QFileDialog::AcceptOpen);
        m_DialogoAbrirImagen->setFileMode(QFileDialog::ExistingFile);
    }
    m_DialogoAbrirImagen->setWindowTitle(texto(m_ctx, "SYNC_OPEN_IMAGE_TITLE", "Restore system image"));
    m_DialogoAbrirImagen->setNameFilter(texto(m_ctx, "SYNC_IMAGE_FILTER", "TZR system images (*.tzrimg)"));
    const QString path = eligeFichero(m_DialogoAbrirImagen);
    if (path.isEmpty())
        return;
    // A damaged or foreign file is refused before the board is even asked for its code.
    SystemImage imagen;
    try {
        imagen = ImageJobs::load(path);
    } catch (const TzrError &e) {
        showMessage(m_ctx, texto(m_ctx, "SYNC_IMAGE_BAD", "The image cannot be used. Nothing was written."),
                    e.message());
        return;
    }
    if (!pideCodigoMaestro(texto(m_ctx, "SYNC_CODE_RESTORE",
                                 "The master code of board %1 is asked to restore it from the image.")
                               .arg(m_num_placa->text()),
                           texto(m_ctx, "SYNC_NOTHING_2", "Nothing was written.")))
        return;
    const QString fecha = QLocale().toString(imagen.momento.toLocalTime(), QLocale::ShortFormat);
    if (!m_pregunta ||
        !m_pregunta(texto(m_ctx, "SYNC_RESTORE_WARN_1", "Restore board %1 from the image of %2?")
                        .arg(m_num_placa->text(), fecha),
                    texto(m_ctx, "SYNC_RESTORE_WARN_2",
                          "Parameters, codes and every user of the connected board will be replaced.")))
        return;
    BoardSession *sesion = this->sesion();
    if (!sesion)
        return;
    JobChores tareas = choresFor(*sesion, {.closesTable = false, .clearsLog = false});
    const int placa = m_num_placa->text().toInt();
    const ImageResult resultado = ImageJobs(*sesion).restore(imagen, ficheroAbierto(), placa);
    tareas.finish();
    const JobOutcomeTexts textos(textosDe(m_ctx));
    const QString incompleta = textos.restoreIncomplete(resultado);
    if (!resultado.done()) {
        muestraFinTrabajo(resultado, incompleta + QLatin1Char(' ') + textos.restoreSummary(resultado));
        // A Stop or a lost port may have come after the board number was written.
        if (resultado.end != JobEnd::PortLost && resultado.end != JobEnd::Stopped)
            return;
    }
    // As after new parameters: a board that may now answer to the image's number is disconnected
    // (that number never passed the code check), and the bus is scanned again once it is back.
    // A board keeps its number when address 1 holds no valid one.
    if (resultado.parametersTouched() && imagen.parametros[0] >= 0 && imagen.parametros[0] <= 31 &&
        imagen.parametros[0] != placa) {
        if (m_ctx.estado->placa_conectada())
            desconectaPlaca();
        m_num_placa->setText(QStringLiteral("%1").arg(imagen.parametros[0], 2, 10, QLatin1Char('0')));
    }
    if (!resultado.done())
        return;
    if (!m_TIEMPO_REINICIA_PLACA->isActive())
        QApplication::setOverrideCursor(Qt::WaitCursor);
    m_Arbol->clear();
    m_TIEMPO_REINICIA_PLACA->start();
    if (!resultado.image.completo())
        showMessage(m_ctx, incompleta, textos.restoreSummary(resultado));
}
