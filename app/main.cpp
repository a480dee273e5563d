#include "Arranque.h"
#include "BoardContext.h"
#include "Contexto.h"
#include "History.h"
#include "SpecialFolder.h"
#include "TFormPrincipal.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

constexpr char USAGE[] =
    "Usage: tzrusers [--help | --version]\n"
    "Opens the TZR User Management window; it takes no other arguments.\n"
    "Installed, it is started through a launcher that first sets up the user's Korvel folder.\n";

} // namespace

int main(int argc, char **argv)
{
    // Answered before QApplication, which needs a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tzrusers %s\n", TZR_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(USAGE, stdout);
        return 0;
    }

    QApplication app(argc, argv);
    History::setProgram(QStringLiteral("tzrusers"), QStringLiteral(TZR_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(TZR_APP_ID));
    Contexto ctx;
    ctx.carpetaKorvel = SpecialFolder::korvelFolder();
    // Named network ports are read from TZR_USR.ini at each open, like the serial list. The
    // start-up gives it the window's texts for its session.
    BoardContext placas(ctx.carpetaKorvel + QStringLiteral("/TZR_USR.ini"));
    ctx.placas = &placas;
    // The installation test starts the real window and then ends the run as the user would. The
    // start-up's bus scan runs the event loop before the window is shown; the close waits for it.
    std::function<void()> cierraVentana;
    if (const int ms = qEnvironmentVariableIntValue("TZRUSERS_CLOSE_AFTER_MS"); ms > 0) {
        cierraVentana = [&ctx, &app, &cierraVentana, ms] {
            if (ctx.principal && ctx.principal->isVisible())
                ctx.principal->close();
            else
                QTimer::singleShot(ms, &app, cierraVentana);
        };
        QTimer::singleShot(ms, &app, cierraVentana);
    }
    Arranque arranque(ctx);
    return arranque.ejecuta(app);
}
