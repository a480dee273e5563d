#pragma once

#include "BoardRun.h"

#include <QObject>

#include <functional>
#include <optional>

class BoardSession;
class Contexto;
class QAction;
class QMenu;
class QTreeWidget;
class QWidget;

// What the main window lends the commands over several boards.
struct SeveralBoardsHost
{
    QWidget *window = nullptr;
    QTreeWidget *tree = nullptr;
    QMenu *communication = nullptr;
    QMenu *tools = nullptr;
    std::function<BoardSession *()> session;
    std::function<DataFileRef()> file;
    std::function<bool()> byName;
};

// "Send changes to selected boards", "Send to selected boards", "Compare with selected boards"
// (Communication menu) and "Save images of selected boards…" (Tools menu): one run over the
// boards selected in the tree, one progress window, one report.
class SeveralBoards : public QObject
{
    Q_OBJECT
public:
    SeveralBoards(Contexto &ctx, const SeveralBoardsHost &host);

    // The dialogs a run opens, replaceable for tests: a code (nullopt: cancelled), the images'
    // folder (empty: cancelled), and the report.
    using SecretPrompt = std::function<std::optional<QString>(const QString &prompt)>;
    void setSecretPrompt(SecretPrompt prompt) { m_secret = std::move(prompt); }
    void setFolderPrompt(std::function<QString()> prompt) { m_folder = std::move(prompt); }
    void setReportShown(std::function<void(const BoardRunReport &)> show) { m_showReport = std::move(show); }

    QList<int> selectedBoards() const;
    void runOn(BoardRun::Kind kind);

private:
    void updateActions();
    // Names of the users whose end date has passed, left out of a send.
    QStringList leftOut() const;
    QString text(const char *key, const char *fallback) const;

    Contexto &m_ctx;
    SeveralBoardsHost m_host;
    QList<std::pair<QAction *, BoardRun::Kind>> m_actions;
    SecretPrompt m_secret;
    std::function<QString()> m_folder;
    std::function<void(const BoardRunReport &)> m_showReport;
};
