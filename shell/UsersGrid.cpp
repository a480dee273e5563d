#include "UsersGrid.h"

#include "CodeEntry.h"
#include "EntryGuard.h"
#include "KeyFilters.h"
#include "Table.h"
#include "Table1Model.h"
#include "TextLookup.h"
#include "TzrError.h"
#include "UsersGridDelegate.h"
#include "UsersGridSelection.h"
#include "UsersTable.h"
#include "UsersTableRules.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr char16_t ESCAPE = 27;
constexpr char16_t SUPRIMIR = 127;
constexpr int LONGITUD_EDTCODE = 10;
constexpr int SECCION_MINIMA = 10;
constexpr int MARGEN_FILA = 6;

// The key a replacement character is typed with: the views and line edits read the text, but
// keep the key consistent with it.
Qt::Key teclaDe(QChar c)
{
    const char16_t u = c.unicode();
    return u > 0x20 && u < 0x7F ? static_cast<Qt::Key>(c.toUpper().unicode()) : Qt::Key_unknown;
}

// The character a key types, as the system delivers it to the key filters: with Ctrl a letter is
// its control character (Ctrl+V is 22), whatever text the platform put in the event.
QChar caracterDe(const QKeyEvent *tecla)
{
    const QString texto = tecla->text();
    if (texto.isEmpty())
        return {};
    const QChar c = texto.at(0);
    const Qt::KeyboardModifiers mods = tecla->modifiers();
    const QChar letra = c.toUpper();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && letra >= QLatin1Char('A') &&
        letra <= QLatin1Char('Z'))
        return QChar(static_cast<char16_t>(letra.unicode() - u'A' + 1));
    return c;
}

// Whether the event types exactly c, so that letting it through types what the filter chose.
bool tecleaSolo(const QKeyEvent *tecla, QChar c)
{
    return tecla->text() == QString(c) && !(tecla->modifiers() & Qt::ControlModifier);
}

// Focus changes between windows or into a popup are not the user leaving the grid.
bool salidaDelUsuario(const QFocusEvent *foco)
{
    return foco->reason() != Qt::ActiveWindowFocusReason && foco->reason() != Qt::PopupFocusReason;
}

} // namespace

UsersGrid::UsersGrid(QTableView &DBGrid1, QLineEdit &edtCode, UsersTable &usuarios, Textos textos,
                     QObject *parent)
    : QObject(parent), m_DBGrid1(&DBGrid1), m_edtCode(&edtCode), m_usuarios(&usuarios),
      m_textos(std::move(textos)), m_beep([] { QApplication::beep(); })
{
    m_model = new Table1Model(usuarios.Table1(), &DBGrid1);
    m_model->setObjectName(QStringLiteral("DataSource1"));
    m_model->setErrorReport([this](const QString &m) {
        if (m_avisoError)
            m_avisoError(m);
    });
    m_delegate = new UsersGridDelegate(*m_model, this, &DBGrid1);
    DBGrid1.setModel(m_model);
    QItemSelectionModel *porDefecto = DBGrid1.selectionModel();
    m_seleccion = new UsersGridSelection(m_model, &DBGrid1);
    m_seleccion->setMover([this](const QModelIndex &destino) { return mueve(destino); });
    DBGrid1.setSelectionModel(m_seleccion);
    delete porDefecto;
    DBGrid1.setItemDelegate(m_delegate);

    DBGrid1.setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1.setSelectionBehavior(QAbstractItemView::SelectItems);
    DBGrid1.setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked);
    DBGrid1.setTabKeyNavigation(true);
    DBGrid1.setShowGrid(true);
    DBGrid1.setWordWrap(false);
    DBGrid1.setSortingEnabled(false);
    DBGrid1.setCornerButtonEnabled(false);
    QHeaderView *titulos = DBGrid1.horizontalHeader();
    titulos->setVisible(true);
    titulos->setHighlightSections(false);
    titulos->setStretchLastSection(false);
    titulos->setSectionsMovable(false);
    titulos->setMinimumSectionSize(SECCION_MINIMA);
    ajustaAnchos();
    QHeaderView *indicador = DBGrid1.verticalHeader();
    indicador->setVisible(true);
    indicador->setSectionResizeMode(QHeaderView::Fixed);
    const int alto = DBGrid1.fontMetrics().height() + MARGEN_FILA;
    indicador->setMinimumSectionSize(alto);
    indicador->setDefaultSectionSize(alto);
    indicador->setHighlightSections(false);
    DBGrid1.installEventFilter(this);
    DBGrid1.viewport()->installEventFilter(this);

    edtCode.setMaxLength(LONGITUD_EDTCODE);
    new EntryGuard(
        edtCode, [](const QString &, QChar c) { return ::edtCodeKeyPress(c).key; }, LONGITUD_EDTCODE);
    edtCode.setFocusPolicy(Qt::ClickFocus);
    edtCode.setContextMenuPolicy(Qt::NoContextMenu);
    edtCode.setAcceptDrops(false);
    edtCode.hide();
    edtCode.installEventFilter(this);

    connect(m_seleccion, &QItemSelectionModel::currentChanged, this, &UsersGrid::actualCambiado);
    for (QScrollBar *barra : {DBGrid1.verticalScrollBar(), DBGrid1.horizontalScrollBar()})
        connect(barra, &QScrollBar::valueChanged, this, &UsersGrid::colocaEdtCode);
    connect(titulos, &QHeaderView::sectionResized, this, &UsersGrid::colocaEdtCode);
    usuarios.setAlActivar([this] {
        if (!m_enCambio)
            protegido([this] { recarga(); });
    });
    // Wherever the row is posted from, its end date goes with its new name and code.
    usuarios.Table1().setBeforePost([this](Table &t) {
        if (!Table1BeforePost(t))
            return false;
        m_model->followEndDate();
        return true;
    });
    // Found out inside a write the grid itself started: the views follow once it has returned.
    usuarios.Table1().setChangedBehind([this] {
        QTimer::singleShot(0, this, [this] {
            protegido([this] { recarga(); });
            if (m_avisoCambioExterno)
                m_avisoCambioExterno();
        });
    });
}

void UsersGrid::sigueFichero()
{
    if (Table1().isOpen() && !codigoInacabado())
        protegido([this] { Table1().followFile(); });
}

UsersGrid::~UsersGrid()
{
    m_usuarios->setAlActivar({});
    m_usuarios->Table1().setChangedBehind({});
    m_usuarios->Table1().setBeforePost(Table1BeforePost);
    if (m_seleccion)
        m_seleccion->setMover({});
    if (m_DBGrid1) {
        m_DBGrid1->removeEventFilter(this);
        m_DBGrid1->viewport()->removeEventFilter(this);
    }
    if (m_edtCode)
        m_edtCode->removeEventFilter(this);
}

Table &UsersGrid::Table1() const
{
    return m_usuarios->Table1();
}

QString UsersGrid::campoSeleccionado() const
{
    return m_DBGrid1 ? Table1Model::campo(m_DBGrid1->currentIndex().column()) : QString();
}

void UsersGrid::cambiaTabla(const std::function<void()> &cambio)
{
    cambiaYRestaura(cambio, true);
}

void UsersGrid::cambiaYRestaura(const std::function<void()> &cambio, bool redibuja)
{
    const QModelIndex actual = m_DBGrid1 ? m_DBGrid1->currentIndex() : QModelIndex();
    const int columna = actual.isValid() ? actual.column() : Table1Model::NOMBRE;
    cierraEditor();
    ocultaEdtCode();
    const bool anidado = std::exchange(m_enCambio, true);
    try {
        m_model->cambia(cambio);
    } catch (...) {
        m_enCambio = anidado;
        restauraActual(columna, redibuja);
        throw;
    }
    m_enCambio = anidado;
    restauraActual(columna, redibuja);
}

void UsersGrid::recarga()
{
    cambiaTabla([] {});
}

// The transfers close Table1 and open it again through UsersTable, behind the grid's back.
void UsersGrid::vigilaTabla()
{
    if (m_recargaPendiente || !m_DBGrid1)
        return;
    const QModelIndex actual = m_DBGrid1->currentIndex();
    const int fila = m_model->filaActual();
    const bool desfasada = m_DBGrid1->verticalHeader()->count() != m_model->rowCount() ||
                           (actual.isValid() ? actual.row() != fila : fila >= 0);
    if (!desfasada)
        return;
    m_recargaPendiente = true;
    QTimer::singleShot(0, this, [this] {
        m_recargaPendiente = false;
        protegido([this] { recarga(); });
    });
}

void UsersGrid::ajustaAnchos()
{
    if (!m_DBGrid1)
        return;
    QStringList tipos{QStringLiteral("Keypad"), QStringLiteral("Card"), QStringLiteral("Button")};
    if (m_textos) {
        const TextLookup &textos = m_textos();
        QHash<QString, QString> mostrados;
        int n = 0;
        for (const char *clave : {"K_TECLADO", "K_TARJETA", "K_LLAVE"}) {
            const QString k = QString::fromLatin1(clave);
            const QString actual = textos.texto(k, tipos.at(n));
            QStringList todos = textos.textoEnTodas(k);
            todos << tipos.at(n);
            for (const QString &t : std::as_const(todos))
                mostrados.insert(t, actual);
            tipos << textos.texto(k, QString());
            ++n;
        }
        m_model->setTiposMostrados(std::move(mostrados));
    }
    // The delegate pads a cell's text by the focus frame's margin and one pixel on each side;
    // one more pixel each side is the grid line.
    const int margen =
        2 * (m_DBGrid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_DBGrid1) + 2);
    const QList<int> anchos = Table1Model::anchos(m_DBGrid1->fontMetrics(), margen, tipos);
    QHeaderView *titulos = m_DBGrid1->horizontalHeader();
    for (int c = 0; c < Table1Model::COLUMNAS; ++c)
        titulos->resizeSection(c, anchos.at(c));
    if (m_textos) {
        const TextLookup &textos = m_textos();
        m_model->setHeaderData(Table1Model::VALID_UNTIL, Qt::Horizontal,
                               textos.texto(QStringLiteral("VU_COLUMN_TITLE"), QStringLiteral("Valid until")));
        m_model->setExpiredTip(textos.texto(QStringLiteral("VU_EXPIRED_TIP"),
                                            QStringLiteral("Expired: this user is left out of every send")));
    }
    // Scaled as the others are, and wide enough for a whole date and its title.
    const double escala = double(anchos.at(0)) / Table1Model::ancho(0);
    const QString titulo = m_model->headerData(Table1Model::VALID_UNTIL, Qt::Horizontal).toString();
    const int fecha = std::max({int(std::ceil(Table1Model::VALID_UNTIL_WIDTH * escala)),
                                m_DBGrid1->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00")) + margen,
                                titulos->fontMetrics().horizontalAdvance(titulo) + 2 * margen});
    titulos->resizeSection(Table1Model::VALID_UNTIL, fecha);
}

void UsersGrid::ToolOrdenClick(bool down)
{
    cambiaTabla([this, down] { m_usuarios->ToolOrdenClick(down); });
}

void UsersGrid::cierra()
{
    cambiaTabla([this] { m_usuarios->cierraFichero(); });
}

void UsersGrid::restauraActual(int columna, bool redibuja)
{
    const int fila = m_model->filaActual();
    if (!m_DBGrid1 || fila < 0)
        return;
    const bool antes = std::exchange(m_sinRedibujar, !redibuja);
    const QModelIndex destino = m_model->index(fila, columna);
    m_DBGrid1->setCurrentIndex(destino);
    m_DBGrid1->scrollTo(destino);
    m_sinRedibujar = antes;
}

QModelIndex UsersGrid::mueve(const QModelIndex &destino)
{
    // The user cannot leave edtCode holding one to three characters.
    if (codigoInacabado() && m_DBGrid1 && destino != m_DBGrid1->currentIndex())
        return {};
    if (destino.row() == m_model->filaActual())
        return destino;
    cierraEditor();
    bool movido = false;
    protegido([&] { movido = m_model->irAFila(destino.row()); });
    if (!movido)
        return {};
    return m_model->index(m_model->filaActual(), destino.column());
}

void UsersGrid::actualCambiado(const QModelIndex &actual, const QModelIndex &)
{
    if (actual.isValid() && actual.column() == Table1Model::CODIGO) {
        if (m_sinRedibujar)
            colocaEdtCode();
        else
            DBGrid1DrawColumnCell();
    } else if (m_edtCode && m_edtCode->isVisible()) {
        DBGrid1ColExit();
    }
}

void UsersGrid::DBGrid1ColExit()
{
    if (m_edtCode)
        m_edtCode->hide();
}

void UsersGrid::DBGrid1DrawColumnCell()
{
    if (!m_DBGrid1 || !m_edtCode)
        return;
    const QModelIndex actual = m_DBGrid1->currentIndex();
    const Table &t = Table1();
    if (!actual.isValid() || actual.column() != Table1Model::CODIGO || !t.isOpen() || !m_DBGrid1->isVisible())
        return;
    m_codigoMostrado = t.editText(Campo::CODIGO);
    EntryGuard::muestra(m_edtCode, m_codigoMostrado);
    m_edtCode->show();
    m_edtCode->raise();
    colocaEdtCode();
    m_edtCode->setFocus();
    // A cell made current and not opened is typed over, as the other columns are; F2 or a
    // click in it opens it at the end.
    m_edtCode->selectAll();
}

void UsersGrid::colocaEdtCode()
{
    if (!m_DBGrid1 || !m_edtCode || m_edtCode->isHidden() || !m_edtCode->parentWidget())
        return;
    const QModelIndex actual = m_DBGrid1->currentIndex();
    if (!actual.isValid() || actual.column() != Table1Model::CODIGO)
        return;
    const QRect celda = m_DBGrid1->visualRect(actual);
    const QPoint origen =
        m_edtCode->parentWidget()->mapFromGlobal(m_DBGrid1->viewport()->mapToGlobal(celda.topLeft()));
    m_edtCode->setGeometry(QRect(origen, celda.size()));
}

void UsersGrid::ocultaEdtCode()
{
    if (!m_edtCode || m_edtCode->isHidden())
        return;
    const bool antes = std::exchange(m_sinTerminar, true);
    if (m_edtCode->hasFocus() && m_DBGrid1 && m_DBGrid1->isVisible())
        m_DBGrid1->setFocus();
    m_edtCode->hide();
    m_sinTerminar = antes;
}

// The row is stored with what its cell editor holds, and the editor goes before the rows move:
// the view would put an editor's focus back on the grid while it has no current cell, and make
// the first cell current on its own.
void UsersGrid::cierraEditor()
{
    QLineEdit *editor = m_delegate->editor();
    if (!editor || !m_DBGrid1)
        return;
    m_delegate->confirmaEditor();
    if (editor->hasFocus() && m_DBGrid1->isVisible())
        m_DBGrid1->setFocus();
}

bool UsersGrid::codigoInacabado() const
{
    return m_edtCode && m_edtCode->isVisible() &&
           normalizedCode(m_edtCode->text()).outcome == CodeExit::Outcome::Beep;
}

void UsersGrid::edtCodeExit(bool porFoco)
{
    Table &t = Table1();
    if (!m_edtCode || !m_DBGrid1 || !t.isOpen())
        return;
    const QString texto = m_edtCode->text();
    if (normalizedCode(texto).outcome == CodeExit::Outcome::Beep) {
        if (m_beep)
            m_beep();
        auto vuelve = [this] {
            if (m_edtCode && m_edtCode->isVisible()) {
                m_edtCode->setFocus();
                m_edtCode->end(false);
            }
        };
        // The focus cannot be taken back while it is still moving away.
        if (porFoco)
            QTimer::singleShot(0, this, vuelve);
        else
            vuelve();
        return;
    }
    // Passing through a filled cell is no code entry: its code and kind stay as stored (a
    // board's button would otherwise become a card by its length).
    if (!m_codigoMostrado.isEmpty() && texto == m_codigoMostrado) {
        ocultaEdtCode();
        restauraActual(Table1Model::LINEA2, true);
        if (!porFoco)
            m_DBGrid1->setFocus();
        return;
    }
    const bool codigoSelected = campoSeleccionado() == Campo::CODIGO;
    CodeExit resultado;
    m_model->cambia([&] {
        m_model->aboutToEdit();
        resultado = ::edtCodeExit(t, texto, codigoSelected, m_textos());
    });
    if (resultado.outcome != CodeExit::Outcome::Stored) {
        // The row stays in editing; edtCode keeps what the user typed.
        restauraActual(Table1Model::CODIGO, false);
        return;
    }
    EntryGuard::muestra(m_edtCode, resultado.code);
    m_codigoMostrado = resultado.code;
    // The store reloaded the grid, which lost its current cell: without one, the focus leaving
    // edtCode would land the grid, and the table with it, on the first row.
    restauraActual(Table1Model::CODIGO, false);
    // Hidden here rather than by leaving the column, so the finishing does not run again.
    ocultaEdtCode();
    restauraActual(Table1Model::LINEA2, true);
    // A focus that is moving elsewhere is left to go there.
    if (!porFoco)
        m_DBGrid1->setFocus();
}

void UsersGrid::focoPerdido(QFocusEvent *foco)
{
    if (!m_DBGrid1 || !salidaDelUsuario(foco))
        return;
    const QWidget *nuevo = QApplication::focusWidget();
    if (nuevo && (nuevo == m_edtCode || nuevo == m_DBGrid1 || m_DBGrid1->isAncestorOf(nuevo)))
        return;
    Table &t = Table1();
    if (!t.isOpen() || t.state() != Table::State::Insert || t.isModified())
        return;
    cambiaYRestaura([&t] { t.cancel(); }, false);
}

bool UsersGrid::agregaAlFinal()
{
    cierraEditor();
    Table &t = Table1();
    // A new row never typed into is not followed by another.
    if (t.state() == Table::State::Insert && !t.isModified())
        return true;
    cambiaTabla([&t] { t.append(); });
    return true;
}

bool UsersGrid::teclaRejilla(QKeyEvent *tecla)
{
    Table &t = Table1();
    if (!t.isOpen() || !m_DBGrid1)
        return false;
    const Qt::KeyboardModifiers mods = tecla->modifiers() & ~Qt::KeypadModifier;
    switch (tecla->key()) {
    case Qt::Key_Delete:
        if (mods != Qt::ControlModifier)
            break;
        cambiaTabla([this] { m_model->deleteCurrent(); });
        return true;
    case Qt::Key_Insert:
        if (mods != Qt::NoModifier)
            break;
        cambiaTabla([&t] { t.insert(); });
        return true;
    case Qt::Key_Down:
        if (mods != Qt::NoModifier || m_DBGrid1->currentIndex().row() != m_model->rowCount() - 1)
            break;
        return agregaAlFinal();
    case Qt::Key_Escape:
        if (mods != Qt::NoModifier || m_delegate->editor() || t.state() == Table::State::Browse)
            break;
        cambiaTabla([&t] { t.cancel(); });
        return true;
    default:
        break;
    }
    return filtraCaracter(m_DBGrid1, tecla, campoSeleccionado());
}

bool UsersGrid::teclaEditor(QObject *editor, QKeyEvent *tecla)
{
    if (tecla->key() == Qt::Key_Delete && (tecla->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
        cambiaTabla([this] { m_model->deleteCurrent(); });
        return true;
    }
    return filtraCaracter(editor, tecla, Table1Model::campo(m_delegate->indiceEditor().column()));
}

bool UsersGrid::filtraCaracter(QObject *destino, QKeyEvent *tecla, const QString &campo)
{
    const QChar c = caracterDe(tecla);
    // Escape and Delete are keys, not typed characters.
    if (m_reenviando || c.isNull() || c.unicode() == ESCAPE || c.unicode() == SUPRIMIR)
        return false;
    const QChar filtrado = ::DBGrid1KeyPress(campo, c);
    if (filtrado == BEL)
        return true;
    if (tecleaSolo(tecla, filtrado))
        return false;
    return reenvia(destino, tecla, filtrado);
}

bool UsersGrid::teclaCodigo(QKeyEvent *tecla)
{
    if (tecla->key() == Qt::Key_F2 && tecla->modifiers() == Qt::NoModifier && m_edtCode) {
        m_edtCode->end(false);
        return true;
    }
    const QChar c = caracterDe(tecla);
    if (m_reenviando || c.isNull() || c.unicode() == SUPRIMIR)
        return false;
    const CodeKey filtrado = ::edtCodeKeyPress(c);
    if (filtrado.finish) {
        edtCodeExit(false);
        return true;
    }
    if (filtrado.key == BEL)
        return true;
    if (tecleaSolo(tecla, filtrado.key))
        return false;
    return reenvia(m_edtCode, tecla, filtrado.key);
}

bool UsersGrid::reenvia(QObject *destino, QKeyEvent *tecla, QChar caracter)
{
    QKeyEvent sustituta(QEvent::KeyPress, teclaDe(caracter), Qt::NoModifier, QString(caracter),
                        tecla->isAutoRepeat());
    const bool antes = std::exchange(m_reenviando, true);
    QCoreApplication::sendEvent(destino, &sustituta);
    m_reenviando = antes;
    return true;
}

void UsersGrid::protegido(const std::function<void()> &accion)
{
    try {
        accion();
    } catch (const TzrError &e) {
        if (m_avisoError)
            m_avisoError(e.message());
    }
}

bool UsersGrid::eventFilter(QObject *watched, QEvent *event)
{
    bool consumido = false;
    // Besides the grid, its viewport and edtCode, the filter watches the cell editors, which the
    // view may already have closed when their focus goes.
    const bool viewport = m_DBGrid1 && watched == m_DBGrid1->viewport();
    const bool editor = watched != m_DBGrid1 && watched != m_edtCode && !viewport;
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *tecla = static_cast<QKeyEvent *>(event);
        protegido([&] {
            if (watched == m_DBGrid1)
                consumido = teclaRejilla(tecla);
            else if (watched == m_edtCode)
                consumido = teclaCodigo(tecla);
            else if (editor)
                consumido = teclaEditor(watched, tecla);
        });
        break;
    }
    case QEvent::FocusOut: {
        auto *foco = static_cast<QFocusEvent *>(event);
        protegido([&] {
            if (watched == m_edtCode) {
                if (!m_sinTerminar && salidaDelUsuario(foco))
                    edtCodeExit(true);
            } else if (watched == m_DBGrid1 || editor) {
                focoPerdido(foco);
            }
        });
        break;
    }
    case QEvent::Resize:
        if (watched == m_DBGrid1)
            colocaEdtCode();
        break;
    case QEvent::Paint:
        if (viewport)
            vigilaTabla();
        break;
    default:
        break;
    }
    return consumido || QObject::eventFilter(watched, event);
}
