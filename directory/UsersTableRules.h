#pragma once

#include <QLatin1String>
#include <QString>

class Table;

// The fields of the users table, in the table's (and the grid's) order.
namespace Campo {
inline constexpr QLatin1String NOMBRE{"NOMBRE"};
inline constexpr QLatin1String CALL{"CALL"};
inline constexpr QLatin1String TZR{"TZR"};
inline constexpr QLatin1String CODIGO{"CODIGO"};
inline constexpr QLatin1String LINEA2{"LINEA2"};
inline constexpr QLatin1String LINEA2_ON{"LINEA2_ON"};
inline constexpr QLatin1String TIPO_CODE{"TIPO_CODE"};
} // namespace Campo

inline constexpr QLatin1String INDICE_NOMBRE{"I_NOMBRE"};
// The code of a user without an access code.
inline constexpr QLatin1String CODIGO_VACIO{"FFFFFFFFFF"};
// A board holds this many users; the grid inserts no more rows.
constexpr int LIMITE_FILAS = 350;

// texto with "0" appended (Derecha) or put in front (Izquierda) up to longitud characters; a
// text already that long is returned unchanged.
QString Rellena_Derecha(const QString &texto, int longitud);
QString Rellena_Izquierda(const QString &texto, int longitud);

// The before-post rules on a row's values, in their order: an empty codigo becomes "FFFFFFFFFF";
// an empty call, then an empty tzr, refuses (false, later steps not run); else each is
// zero-filled to 4 and 3 characters.
bool beforePostRules(QString &codigo, QString &call, QString &tzr);

// The hooks of the grid's dataset; false refuses the operation silently.
bool Table1BeforeInsert(Table &Table1);
bool Table1AfterInsert(Table &Table1);
bool Table1BeforePost(Table &Table1);
bool Table1AfterDelete(Table &Table1);

// The text hook of CODIGO: a user without code shows an empty cell, but edits "FFFFFFFFFF".
QString codigoGetText(const QString &valor, bool displayText);
