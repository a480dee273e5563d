#pragma once

// The indexes of the tool buttons' and menus' pictures in ImageList2.
constexpr int IMG_NUEVO = 0;
constexpr int IMG_ABRIR = 1;
constexpr int IMG_GUARDAR = 2;
constexpr int IMG_SALIR = 5;
constexpr int IMG_DESBLOQUEADO = 21;
constexpr int IMG_ENVIAR = 23;
constexpr int IMG_RECIBIR = 24;
constexpr int IMG_TEST = 25;
constexpr int IMG_PARAMETROS = 26;
constexpr int IMG_ORDEN = 27;
constexpr int IMG_BLOQUEADO = 28;
constexpr int IMG_EXCEL = 30;
constexpr int IMG_DESCONECTADO = 31;
constexpr int IMG_CONECTADO = 32;
