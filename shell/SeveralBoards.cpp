#include "SeveralBoards.h"

#include "BoardRunProgress.h"
#include "BoardRunReportDialog.h"
#include "BoardCodes.h"
#include "BoardSession.h"
#include "Contexto.h"
#include "EstadoPrograma.h"
#include "FicheroActual.h"
#include "JobOutcomeTexts.h"
#include "Lenguaje.h"
#include "TF_Advertencia3.h"
#include "TablaCursor.h"
#include "UsersTable.h"

#include <QAction>
#include <QDate>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTreeWidget>

namespace {

struct Entry
{
    const char *name;
    const char *key;
    const char *text;
    BoardRun::Kind kind;
    bool tools;
};

constexpr Entry Entries[] = {
    {"EnviarCambiosPlacas1", "MULTI_MENU_SEND_CHANGES", "Send changes to selected boards", BoardRun::Kind::SendChanges,
     false},
    {"EnviarPlacas1", "MULTI_MENU_SEND", "Send to selected boards", BoardRun::Kind::Send, false},
    {"CompararPlacas1", "MULTI_MENU_COMPARE", "Compare with selected boards", BoardRun::Kind::Compare, false},
    {"GuardarImagenesPlacas1", "MULTI_MENU_IMAGES", "Save images of selected boards…", BoardRun::Kind::SaveImage,
     true},
};

// The window's side of the run: its progress window, the codes asked for, the transfer controls.
class WindowRunObserver : public BoardRunObserver
{
public:
    WindowRunObserver(BoardRunProgress &progress, std::function<std::optional<QString>(int, bool)> ask)
        : m_progress(progress), m_ask(std::move(ask))
    {
    }
    ProgressView *progress() override { return &m_progress; }
    // The transfers' own message boxes would stop the run at every board: the report says it all.
    MessageView *messages() override { return nullptr; }
    void boardStarted(int board, int index, int count) override { m_progress.setBoard(board, index, count); }
    std::optional<QString> askCode(int board, bool master) override { return m_ask(board, master); }

private:
    BoardRunProgress &m_progress;
    std::function<std::optional<QString>(int, bool)> m_ask;
};

} // namespace

SeveralBoards::SeveralBoards(Contexto &ctx, const SeveralBoardsHost &host)
    : QObject(host.window), m_ctx(ctx), m_host(host)
{
    setObjectName(QStringLiteral("SeveralBoards"));
    m_host.tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const Entry &e : Entries) {
        QMenu *menu = e.tools ? m_host.tools : m_host.communication;
        auto *action = new QAction(text(e.key, e.text), m_host.window);
        action->setObjectName(QString::fromLatin1(e.name));
        menu->addAction(action);
        m_actions.append({action, e.kind});
        connect(action, &QAction::triggered, this, [this, kind = e.kind] { runOn(kind); });
        connect(menu, &QMenu::aboutToShow, action, [this, action, key = e.key, t = e.text] {
            action->setText(text(key, t));
            updateActions();
        });
    }
    connect(m_host.tree, &QTreeWidget::itemSelectionChanged, this, &SeveralBoards::updateActions);
    updateActions();

    m_secret = [this](const QString &prompt) -> std::optional<QString> {
        bool ok = false;
        const QString code = QInputDialog::getText(m_host.window, m_host.window->windowTitle(), prompt,
                                                   QLineEdit::Password, QString(), &ok);
        if (!ok)
            return std::nullopt;
        return code;
    };
    m_folder = [this] {
        return QFileDialog::getExistingDirectory(m_host.window, text("MULTI_IMAGE_FOLDER", "Folder for the board images"));
    };
    m_showReport = [this](const BoardRunReport &report) {
        BoardRunReportDialog dialog(*m_ctx.lenguaje, report, m_host.window);
        dialog.exec();
    };
}

// The same users are left out on every board: their end date has passed whichever board it is.
QStringList SeveralBoards::leftOut() const
{
    QStringList names;
    try {
        const DataFileRef file = m_host.file();
        TablaCursor table(file.directory, file.table);
        QList<bool> out;
        const QList<FilaUsuario> rows = table.rowsForSend(m_host.byName && m_host.byName(), QDate::currentDate(), out);
        for (qsizetype i = 0; i < rows.size(); ++i) {
            if (out.value(i))
                names << rows.at(i).NOMBRE;
        }
    } catch (const std::exception &) {
        // The run opens the file itself and reports why it cannot.
    }
    return names;
}

QString SeveralBoards::text(const char *key, const char *fallback) const
{
    const QString f = QString::fromUtf8(fallback);
    return m_ctx.lenguaje ? m_ctx.lenguaje->texto(QString::fromLatin1(key), f) : f;
}

QList<int> SeveralBoards::selectedBoards() const
{
    QList<int> boards;
    for (const QTreeWidgetItem *item : m_host.tree->selectedItems()) {
        bool ok = false;
        const int board = item->text(0).toInt(&ok);
        if (ok && !boards.contains(board))
            boards << board;
    }
    std::sort(boards.begin(), boards.end());
    return boards;
}

void SeveralBoards::updateActions()
{
    const bool idle = m_ctx.sesion && !m_ctx.sesion->busy() && m_ctx.sesion->isOpen();
    const bool selected = !m_host.tree->selectedItems().isEmpty();
    const bool file = m_ctx.fichero && !m_ctx.fichero->Nombre_Tabla().isEmpty();
    for (const auto &[action, kind] : m_actions)
        action->setEnabled(idle && selected && (file || kind == BoardRun::Kind::SaveImage));
}

void SeveralBoards::runOn(BoardRun::Kind kind)
{
    BoardSession *session = m_host.session ? m_host.session() : nullptr;
    const QList<int> boards = selectedBoards();
    if (!session || !m_ctx.lenguaje || session->busy() || boards.isEmpty())
        return;
    const bool images = kind == BoardRun::Kind::SaveImage;
    if (!images && m_ctx.fichero->Nombre_Tabla().isEmpty())
        return;
    QString folder;
    if (images) {
        folder = m_folder();
        if (folder.isEmpty())
            return;
    }
    if (kind == BoardRun::Kind::Send) {
        // The warning every send shows, once for the run.
        if (!m_ctx.advertencia3)
            return;
        m_ctx.advertencia3->exec();
        if (!m_ctx.estado->confirmado())
            return;
        const JobOutcomeTexts texts(*m_ctx.lenguaje);
        const QStringList out = leftOut();
        if (!out.isEmpty() &&
            QMessageBox::question(m_host.window, m_host.window ? m_host.window->windowTitle() : QString(),
                                  texts.leftOut(out) + QLatin1Char('\n') + texts.sendOthers()) != QMessageBox::Yes)
            return;
    } else if (kind == BoardRun::Kind::SendChanges) {
        // Only what differs is written: the full send's warning (boards erased) would be false.
        QStringList numbers;
        for (int board : boards)
            numbers << QStringLiteral("%1").arg(board, 2, 10, QLatin1Char('0'));
        QMessageBox box(QMessageBox::Question, m_host.window ? m_host.window->windowTitle() : QString(),
                        text("MULTI_CONFIRM_CHANGES_1", "Send the changes of file %2 to boards %1?")
                            .arg(numbers.join(QStringLiteral(", ")), m_ctx.fichero->Nombre_Tabla()),
                        QMessageBox::Ok | QMessageBox::Cancel, m_host.window);
        box.setObjectName(QStringLiteral("ConfirmaCambiosPlacas"));
        box.setInformativeText(JobOutcomeTexts(*m_ctx.lenguaje)
                                   .withLeftOut(text("MULTI_CONFIRM_CHANGES_2",
                                                     "Each board gets the users that differ from what it was last "
                                                     "given, and its slots no longer in the file are emptied.") +
                                                    QLatin1Char('\n') +
                                                    text("MULTI_CONFIRM_CHANGES_3",
                                                         "The rest of each board stays as it is."),
                                                leftOut()));
        box.setDefaultButton(QMessageBox::Cancel);
        if (box.exec() != QMessageBox::Ok)
            return;
    }
    const std::optional<QString> code =
        m_secret(images ? text("MULTI_CODE_M", "Master code, tried on every selected board:")
                        : text("MULTI_CODE_P", "Programming code, tried on every selected board:"));
    if (!code)
        return;
    BoardCodes codes;
    codes.setDefault(code->trimmed().toUpper().left(BoardCodes::longestCode()));

    BoardRun run(*session, kind);
    if (!images)
        run.setFile(m_host.file());
    run.setByName(m_host.byName && m_host.byName());
    run.setImageFolder(folder, QDate::currentDate());
    run.setCodes(codes);
    BoardRunProgress progress(*m_ctx.lenguaje, m_host.window);
    // The window stays as it was (connected or not) and takes no input until the run is over.
    progress.setWindowModality(Qt::ApplicationModal);
    connect(&progress, &BoardRunProgress::stopRequested, &progress, [&run] { run.requestStop(); });
    WindowRunObserver observer(
        progress,
        [this](int board, bool) -> std::optional<QString> {
            const std::optional<QString> own = m_secret(
                text("MULTI_CODE_REFUSED", "Board %1 refused the code. Its own code (Cancel skips the board):")
                    .arg(board, 2, 10, QLatin1Char('0')));
            if (!own)
                return std::nullopt;
            return own->trimmed().toUpper().left(BoardCodes::longestCode());
        });
    // The jobs open the data file themselves; the grid lets go of it meanwhile.
    if (!images && m_ctx.usuarios)
        m_ctx.usuarios->Activa_Tabla(false);
    progress.setBoard(boards.constFirst(), 1, static_cast<int>(boards.size()));
    progress.display();
    session->purge();
    const BoardRunReport report = run.run(boards, &observer);
    progress.hide();
    if (!images && m_ctx.usuarios) {
        try {
            m_ctx.usuarios->Activa_Tabla(true);
        } catch (const std::exception &) {
            // The grid stays closed, as after any transfer whose file cannot be reopened.
        }
    }
    updateActions();
    m_showReport(report);
}
