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

bool beforePostRules(QString &codigo, QString &call, QString &tzr)
{
    if (codigo.isEmpty())
        codigo = CODIGO_VACIO;
    if (call.isEmpty())
        return false;
    call = Rellena_Izquierda(call, 4);
    if (tzr.isEmpty())
        return false;
    tzr = Rellena_Izquierda(tzr, 3);
    return true;
}

bool Table1BeforePost(Table &Table1)
{
    const QString codigo = Table1.value(Campo::CODIGO);
    const QString call = Table1.value(Campo::CALL);
    const QString tzr = Table1.value(Campo::TZR);
    QString newCodigo = codigo;
    QString newCall = call;
    QString newTzr = tzr;
    const bool accepted = beforePostRules(newCodigo, newCall, newTzr);
    // The same writes as the rules make them: a code only when it was empty, CALL and TZR each
    // once it was found present.
    if (newCodigo != codigo)
        Table1.setValue(Campo::CODIGO, newCodigo);
    if (!call.isEmpty())
        Table1.setValue(Campo::CALL, newCall);
    if (!call.isEmpty() && !tzr.isEmpty())
        Table1.setValue(Campo::TZR, newTzr);
    return accepted;
}

bool Table1AfterDelete(Table &)
{
    return true;
}

QString codigoGetText(const QString &valor, bool displayText)
{
    return displayText && valor == CODIGO_VACIO ? QString() : valor;
}
