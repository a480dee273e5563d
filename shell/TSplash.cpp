#include "TSplash.h"

#include "Recursos.h"

#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>

namespace {
constexpr QSize TAMANO{433, 59};
constexpr QSize TAMANO_LOGO{150, 59};
} // namespace

TSplash::TSplash(QWidget *parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    cargaRecursos();
    setObjectName(QStringLiteral("TSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(TAMANO);

    auto *logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("Image1"));
    logo->setFixedSize(TAMANO_LOGO);
    logo->setPixmap(QPixmap(QStringLiteral(":/tzr/splash_logo.png")).scaled(TAMANO_LOGO));

    auto *blanca = new QWidget(this);
    blanca->setAutoFillBackground(true);
    QPalette pb = blanca->palette();
    pb.setColor(QPalette::Window, Qt::white);
    blanca->setPalette(pb);
    auto *titulo = new QLabel(QStringLiteral("TZRUsers"), blanca);
    titulo->setObjectName(QStringLiteral("Label1"));
    QFont grande(QStringLiteral("Arial Black"));
    grande.setPixelSize(24);
    grande.setWeight(QFont::Black);
    titulo->setFont(grande);
    titulo->setStyleSheet(QStringLiteral("color: #1d3c6e;"));
    auto *marca = new QLabel(blanca);
    marca->setObjectName(QStringLiteral("Image2"));
    marca->setPixmap(QPixmap(QStringLiteral(":/tzr/board.png"))
                         .scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    auto *filaBlanca = new QHBoxLayout(blanca);
    filaBlanca->setContentsMargins(8, 0, 8, 0);
    filaBlanca->addWidget(titulo);
    filaBlanca->addStretch();
    filaBlanca->addWidget(marca);

    auto *gris = new QWidget(this);
    gris->setAutoFillBackground(true);
    QPalette pg = gris->palette();
    pg.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    gris->setPalette(pg);
    // The platform this build runs on.
    auto *plataforma = new QLabel(QStringLiteral("for Linux"), gris);
    plataforma->setObjectName(QStringLiteral("Label2"));
    QFont negrita = plataforma->font();
    negrita.setBold(true);
    plataforma->setFont(negrita);
    plataforma->setStyleSheet(QStringLiteral("color: white;"));
    auto *filaGris = new QHBoxLayout(gris);
    filaGris->setContentsMargins(8, 1, 8, 1);
    filaGris->addWidget(plataforma);

    auto *derecha = new QVBoxLayout;
    derecha->setSpacing(0);
    derecha->addWidget(blanca, 1);
    derecha->addWidget(gris);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(logo);
    layout->addLayout(derecha, 1);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}
