#pragma once

class QAction;
class QString;
class TFormPrincipal;

// The main window's components, menus and tool bar as designed: every one carries its system
// name as objectName, and each command is wired to its handler.
class MainWindowLayout
{
public:
    explicit MainWindowLayout(TFormPrincipal &window) : m_window(window) {}

    void components();
    void menus();
    void toolBar();

private:
    QAction *action(const char *name, const QString &text, int image);

    TFormPrincipal &m_window;
};
