#include "Comunicacion_TZR.h"
#include "FilaPrueba.h"
#include "RegistroPlaca.h"
#include "TzrError.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QList<int> slice(const RegistroPlaca &r, int from, int count)
{
    QList<int> out;
    for (int i = from; i < from + count; ++i)
        out << r[i];
    return out;
}

RegistroPlaca encode(const FilaUsuario &f, int tipo_lector)
{
    return Codifica_Registro(Fila_a_Ficha(f, 0, tipo_lector), tipo_lector);
}

} // namespace

class TestRegistroPlaca : public QObject
{
    Q_OBJECT

private slots:
    void hexDigits()
    {
        QCOMPARE(Digito_Hex(0), QChar('0'));
        QCOMPARE(Digito_Hex(9), QChar('9'));
        QCOMPARE(Digito_Hex(10), QChar('A'));
        QCOMPARE(Digito_Hex(15), QChar('F'));
        QCOMPARE(Digito_Hex(16), QChar('0'));
        QCOMPARE(Digito_Hex(-1), QChar('0'));
        QCOMPARE(Valor_Hex(QChar('7')), 7);
        QCOMPARE(Valor_Hex(QChar('F')), 15);
        QCOMPARE(Valor_Hex(QChar('a')), 0);
        QCOMPARE(Valor_Hex(QChar(' ')), 0);
        QCOMPARE(Valor_Hex(QChar('G')), 0);
    }

    void layoutConstants()
    {
        QCOMPARE(direccionSlot(0), 32);
        QCOMPARE(direccionSlot(349) + TAM_REGISTRO - 1, 15781);
    }

    void callAndTzrPackedAsDigits()
    {
        const RegistroPlaca r = encode(fila("ANA", "0123", "123", "123456"), 0);
        QCOMPARE(slice(r, 16, 4), (QList<int>{0x01, 0x23, 0x01, 0x23}));
        const FichaUsuario back = Decodifica_Registro(r, 0);
        QCOMPARE(back.call, QStringLiteral("0123"));
        QCOMPARE(back.tzr, QStringLiteral("123"));
        QCOMPARE(back.nombre, QStringLiteral("ANA             "));
    }

    void codes_data()
    {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<int>("tipo_lector");
        QTest::addColumn<QList<int>>("bytes20to25");
        QTest::addColumn<QString>("decoded");
        QTest::addColumn<int>("tipo");
        QTest::newRow("keypad with A and B") << "12AB00" << 0 << QList<int>{0x31, 0x32, 0x3A, 0x3B, 0x30, 0x30}
                                             << "12AB00    " << 0;
        QTest::newRow("keypad C becomes A") << "12C400" << 0 << QList<int>{0x31, 0x32, 0x3A, 0x34, 0x30, 0x30}
                                            << "12A400    " << 0;
        QTest::newRow("card on a card reader") << "0123456789" << 1 << QList<int>{0, 0x01, 0x23, 0x45, 0x67, 0x89}
                                               << "0123456789" << 1;
        QTest::newRow("card on a button reader") << "0123456789" << 2 << QList<int>{0, 0x89, 0x67, 0x45, 0x23, 0x01}
                                                 << "0123456789" << 2;
        QTest::newRow("no code counts as in use") << "FFFFFFFFFF" << 1 << QList<int>{0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}
                                                  << "FFFFFFFFFF" << 1;
        QTest::newRow("lower-case hex counts as zero") << "abcdef0123" << 1
                                                       << QList<int>{0, 0x00, 0x00, 0x00, 0x01, 0x23}
                                                       << "0000000123" << 1;
        QTest::newRow("short card completed with zeros at the end")
            << "1234567" << 1 << QList<int>{0, 0x12, 0x34, 0x56, 0x70, 0x00} << "1234567000" << 1;
        QTest::newRow("short button code right-aligned") << "1234567" << 2
                                                         << QList<int>{0, 0x67, 0x45, 0x23, 0x01, 0x00}
                                                         << "0001234567" << 2;
    }
    void codes()
    {
        QFETCH(QString, codigo);
        QFETCH(int, tipo_lector);
        QFETCH(QList<int>, bytes20to25);
        QFETCH(QString, decoded);
        QFETCH(int, tipo);
        const RegistroPlaca r = encode(fila("X", "0001", "001", codigo), tipo_lector);
        QCOMPARE(slice(r, 20, 6), bytes20to25);
        QVERIFY(r[20] != SLOT_VACIO);
        const FichaUsuario back = Decodifica_Registro(r, tipo_lector);
        QCOMPARE(back.codigo, decoded);
        QCOMPARE(back.tipo, tipo);
    }

    void nonKeypadByteOnAKeypadOnlyBoard()
    {
        RegistroPlaca r = encode(fila("X", "0001", "001", "0123456789"), 1);
        const FichaUsuario f = Decodifica_Registro(r, 0);
        QCOMPARE(f.tipo, 0);
        // 00 01 23 45 67 89: only byte 21 (0x01) and beyond are not digits either.
        QCOMPARE(f.codigo, QStringLiteral("000000    "));
    }

    void secondLineSwitch()
    {
        RegistroPlaca on = encode(fila("X", "0001", "001", "123456", "HELLO", "Q"), 0);
        QCOMPARE(on[OFS_LINEA2_ON], 0x3A);
        QCOMPARE(Decodifica_Registro(on, 0).linea2_on, QStringLiteral("X"));
        RegistroPlaca off = encode(fila("X", "0001", "001", "123456", "HELLO", ""), 0);
        QCOMPARE(off[OFS_LINEA2_ON], 0);
        off[OFS_LINEA2_ON] = 0x01;
        QCOMPARE(Decodifica_Registro(off, 0).linea2_on, QStringLiteral(" "));
    }

    void spareBytesAreLeftUnset()
    {
        const RegistroPlaca r = encode(fila("X", "0001", "001", "123456"), 0);
        QCOMPARE(r[OFS_BYTE42], FIN_TRAMA);
        QCOMPARE(r[OFS_BYTE43], FIN_TRAMA);
    }

    void unreadByteDecodesFromItsLowBits()
    {
        RegistroPlaca r = encode(fila("ANA", "0123", "123", "123456"), 0);
        r[1] = FIN_TRAMA;
        r[17] = FIN_TRAMA;
        const FichaUsuario f = Decodifica_Registro(r, 0);
        QCOMPARE(f.nombre.at(1), QChar(0x78));
        QCOMPARE(f.call, QStringLiteral("0178"));
    }

    void nonDigitCallOrTzrRaises()
    {
        QVERIFY_THROWS_EXCEPTION(ConversionError, encode(fila("X", "01A3", "123", "123456"), 0));
        QVERIFY_THROWS_EXCEPTION(ConversionError, encode(fila("X", "0123", "1 3", "123456"), 0));
    }

    void longTextsAreCutToTheirWidth()
    {
        QCOMPARE(Copia_Campo(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUV"), 16), QStringLiteral("ABCDEFGHIJKLMNOP"));
        QCOMPARE(Copia_Campo(QStringLiteral("AB"), 4), QStringLiteral("AB  "));
        const FichaUsuario f = Fila_a_Ficha(fila(QString(40, 'N'), "0001", "001", "123456", QString(30, 'L')), 3, 0);
        QCOMPARE(f.nombre.size(), 16);
        QCOMPARE(f.linea2.size(), 16);
        QCOMPARE(f.indice, 3);
    }

    void randomRoundTrips_data()
    {
        QTest::addColumn<int>("tipo_lector");
        QTest::newRow("keypad only") << 0;
        QTest::newRow("card reader") << 1;
        QTest::newRow("button reader") << 2;
    }
    void randomRoundTrips()
    {
        QFETCH(int, tipo_lector);
        QRandomGenerator rng(1234 + tipo_lector);
        const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 *");
        const QString hex = QStringLiteral("0123456789ABCDEF");
        for (int n = 0; n < 500; ++n) {
            const auto text = [&](int maxLen, const QString &chars) {
                QString s;
                const int len = rng.bounded(maxLen + 1);
                for (int i = 0; i < len; ++i)
                    s += chars[rng.bounded(static_cast<int>(chars.size()))];
                return s;
            };
            const auto digits = [&](int len) {
                QString s;
                for (int i = 0; i < len; ++i)
                    s += QChar('0' + rng.bounded(10));
                return s;
            };
            QString codigo;
            const bool keypad = tipo_lector == 0 || rng.bounded(2) == 0;
            if (keypad) {
                for (int i = 0; i < 6; ++i)
                    codigo += QStringLiteral("0123456789AB")[rng.bounded(12)];
            } else {
                for (int i = 0; i < 10; ++i)
                    codigo += hex[rng.bounded(16)];
            }
            const FilaUsuario in = fila(text(16, alphabet).trimmed(), digits(4), digits(3), codigo,
                                        text(16, alphabet).trimmed(), rng.bounded(2) ? "X" : "");
            const FichaUsuario back = Decodifica_Registro(encode(in, tipo_lector), tipo_lector);
            QCOMPARE(back.nombre.trimmed(), in.NOMBRE);
            QCOMPARE(back.call, in.CALL);
            QCOMPARE(back.tzr, in.TZR);
            QCOMPARE(back.codigo.trimmed(), in.CODIGO);
            QCOMPARE(back.linea2.trimmed(), in.LINEA2);
            QCOMPARE(back.linea2_on.trimmed(), in.LINEA2_ON);
            QCOMPARE(back.tipo, keypad ? 0 : tipo_lector);
        }
    }

    void readerBytes()
    {
        QCOMPARE(tipoLectorDeByte(0, true), 1);
        QCOMPARE(tipoLectorDeByte(1, true), 2);
        QCOMPARE(tipoLectorDeByte(5, true), 0);
        QCOMPARE(tipoLectorDeByte(0, false), 0);
        QCOMPARE(longitudTecladoDeByte(4, true), 4);
        QCOMPARE(longitudTecladoDeByte(5, true), 5);
        QCOMPARE(longitudTecladoDeByte(7, true), 6);
        QCOMPARE(longitudTecladoDeByte(4, false), 6);
    }
};

QTEST_GUILESS_MAIN(TestRegistroPlaca)
#include "tst_registroplaca.moc"
