#include "UsersTableRules.h"

#include "Table.h"

QString Rellena_Derecha(const QString &texto, int longitud)
{
    return texto.size() >= longitud ? texto : texto + QString(longitud - texto.size(), QLatin1Char('0'));
}

QString Rellena_Izquierda(const QString &texto, int longitud)
{
    return texto.size() >= longitud ? texto : QString(longitud - texto.size(), QLatin1Char('0')) + texto;
}

bool Table1BeforeInsert(Table &Table1)
{
    return Table1.recordCount() < LIMITE_FILAS;
}

bool Table1AfterInsert(Table &Table1)
{
    const QString linea2 = Table1.value(Campo::LINEA2);
    if (linea2 != QLatin1String("X") && !linea2.isEmpty())
        Table1.setValue(Campo::LINEA2, QString());
    return true;
}

bool Table1BeforePost(Table &Table1)
{
    if (Table1.value(Campo::CODIGO).isEmpty())
        Table1.setValue(Campo::CODIGO, CODIGO_VACIO);
    const QString call = Table1.value(Campo::CALL);
    if (call.isEmpty())
        return false;
    Table1.setValue(Campo::CALL, Rellena_Izquierda(call, 4));
    const QString tzr = Table1.value(Campo::TZR);
    if (tzr.isEmpty())
        return false;
    Table1.setValue(Campo::TZR, Rellena_Izquierda(tzr, 3));
    return true;
}

bool Table1AfterDelete(Table &)
{
    return true;
}

QString codigoGetText(const QString &valor, bool displayText)
{
    return displayText && valor == CODIGO_VACIO ? QString() : valor;
}
