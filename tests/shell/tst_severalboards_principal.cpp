#include "BoardRunReportDialog.h"
#include "ConexionPrueba.h"
#include "EndDates.h"
#include "FixedTexts.h"
#include "SeveralBoards.h"

#include <QAction>
#include <QFile>
#include <QMessageBox>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

#include <optional>

Q_DECLARE_METATYPE(BoardOutcome)

namespace {

void aceptaAdvertencia()
{
    onNextModal([](QWidget *w) {
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("Aceptar")), Qt::LeftButton);
    });
}

void selecciona(QTreeWidget &arbol, const QStringList &placas)
{
    arbol.clearSelection();
    for (int i = 0; i < arbol.topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = arbol.topLevelItem(i);
        item->setSelected(placas.contains(item->text(0)));
    }
}

} // namespace

class TestSeveralBoardsPrincipal : public QObject
{
    Q_OBJECT

private:
    // The window on a bus of boards 1, 3 and 17, a data file of three users, the code prompts
    // answered from m_respuestas and the report kept.
    [[nodiscard]] bool prepara(ConexionPrueba &p)
    {
        p.arrancaDesbloqueado();
        p.abreFichero();
        Table &t = p.m_ctx.usuarios->Table1();
        const QList<QStringList> usuarios{{"ANA", "0001", "001", "123456"},
                                          {"BOB", "0002", "002", "111111"},
                                          {"CAT", "0003", "003", "222222"}};
        for (const QStringList &u : usuarios) {
            if (!t.append())
                return false;
            t.setValue(QStringLiteral("NOMBRE"), u[0]);
            t.setValue(QStringLiteral("CALL"), u[1]);
            t.setValue(QStringLiteral("TZR"), u[2]);
            t.setValue(QStringLiteral("CODIGO"), u[3]);
            if (!t.post())
                return false;
        }
        m_varias = p.principal().findChild<SeveralBoards *>(QStringLiteral("SeveralBoards"));
        if (!m_varias || p.principal().Arbol()->topLevelItemCount() != 3)
            return false;
        m_preguntas.clear();
        m_varias->setSecretPrompt([this](const QString &prompt) -> std::optional<QString> {
            m_preguntas << prompt;
            if (m_respuestas.isEmpty())
                return std::nullopt;
            return m_respuestas.takeFirst();
        });
        m_varias->setReportShown([this](const BoardRunReport &report) { m_informe = report; });
        return true;
    }

    QList<BoardOutcome> resultados() const
    {
        QList<BoardOutcome> r;
        for (const BoardRunEntry &e : m_informe.boards)
            r << e.outcome;
        return r;
    }

    SeveralBoards *m_varias = nullptr;
    QStringList m_preguntas;
    QStringList m_respuestas;
    BoardRunReport m_informe;

private slots:
    // Boards 1 and 3 selected: a full send to both, then a change sent to both; board 17 is
    // never written to.
    void sendAChangeToTheSelectedBoards()
    {
        ConexionPrueba p({1, 3, 17});
        QVERIFY(prepara(p));
        selecciona(*p.principal().Arbol(), {"01", "03"});
        QCOMPARE(m_varias->selectedBoards(), (QList<int>{1, 3}));
        QAction *enviar = p.accion(QStringLiteral("EnviarPlacas1"));
        QAction *cambios = p.accion(QStringLiteral("EnviarCambiosPlacas1"));
        QVERIFY(enviar && enviar->isEnabled() && cambios && cambios->isEnabled());

        // Not connected to a board: the single-board transfers are off, and stay off after the run.
        auto *recibir = p.hijo<QPushButton>(QStringLiteral("Recibir"));
        QVERIFY(recibir && !recibir->isEnabled());
        m_respuestas = {QStringLiteral("73518")};
        aceptaAdvertencia();
        enviar->trigger();
        QVERIFY(!recibir->isEnabled());
        QCOMPARE(resultados(), (QList<BoardOutcome>{BoardOutcome::Done, BoardOutcome::Done}));
        QCOMPARE(p.placa(1).usersStored(), 3);
        QCOMPARE(p.placa(3).usersStored(), 3);
        // The code was asked once for the whole run.
        QCOMPARE(m_preguntas.size(), 1);

        Table &t = p.m_ctx.usuarios->Table1();
        QVERIFY(t.append());
        t.setValue(QStringLiteral("NOMBRE"), QStringLiteral("DAN"));
        t.setValue(QStringLiteral("CALL"), QStringLiteral("0004"));
        t.setValue(QStringLiteral("TZR"), QStringLiteral("004"));
        t.setValue(QStringLiteral("CODIGO"), QStringLiteral("333333"));
        QVERIFY(t.post());
        p.olvidaTrafico();
        m_respuestas = {QStringLiteral("73518")};
        // Asked as the send of changes to one board asks: no board is erased.
        QString pregunta;
        onNextModal([&pregunta](QWidget *w) {
            auto *caja = qobject_cast<QMessageBox *>(w);
            if (!caja) {
                pregunta = QString::fromLatin1(w->metaObject()->className());
                w->close();
                return;
            }
            pregunta = caja->text() + QLatin1Char('|') + caja->informativeText();
            caja->button(QMessageBox::Ok)->click();
        });
        cambios->trigger();
        QVERIFY2(pregunta.startsWith(QStringLiteral("Send the changes of file ")) &&
                     pregunta.contains(QStringLiteral(" to boards 01, 03?|")) &&
                     pregunta.endsWith(QStringLiteral("The rest of each board stays as it is.")),
                 qPrintable(pregunta));
        QCOMPARE(resultados(), (QList<BoardOutcome>{BoardOutcome::Done, BoardOutcome::Done}));
        QCOMPARE(m_informe.boards.at(0).written, 1);
        QCOMPARE(m_informe.boards.at(1).written, 1);
        QCOMPARE(p.placa(1).usersStored(), 4);
        QCOMPARE(p.placa(3).usersStored(), 4);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE, 17), 0);
        QCOMPARE(p.m_bus.count(BoardBus::CMD_READ, 17), 0);
        // The window is back to its idle state, the grid open again.
        QVERIFY(!p.m_ctx.link->ocupado());
        QVERIFY(p.m_ctx.usuarios->Table1().isOpen());
    }

    void sendSaysHowManyAreLeftOut_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::newRow("the others sent") << QMessageBox::Yes;
        QTest::newRow("declined") << QMessageBox::No;
    }

    void sendSaysHowManyAreLeftOut()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        ConexionPrueba p({1, 3, 17});
        QVERIFY(prepara(p));
        EndDates::set(p.m_ctx.usuarios->Table1(), QStringLiteral("BOB"), QStringLiteral("111111"),
                      QDate::currentDate().addDays(-1));
        selecciona(*p.principal().Arbol(), {"01", "03"});
        m_respuestas = {QStringLiteral("73518")};
        const QString leftOut = QStringLiteral("1 user is left out: their end date has passed.");
        QString question;
        // After the warning every send shows.
        onNextModal([&question, answer](QWidget *w) {
            QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("Aceptar")), Qt::LeftButton);
            onNextModal([&question, answer](QWidget *q) {
                auto *box = qobject_cast<QMessageBox *>(q);
                question = box ? box->text() : QString::fromLatin1(q->metaObject()->className());
                if (box)
                    box->button(answer)->click();
                else
                    q->close();
            });
        });
        p.accion(QStringLiteral("EnviarPlacas1"))->trigger();
        QCOMPARE(question, leftOut + QStringLiteral("\nSend the others?"));
        if (answer == QMessageBox::No) {
            QCOMPARE(p.m_bus.count(BoardBus::CMD_WRITE), 0);
            QVERIFY(m_preguntas.isEmpty());
            return;
        }
        QCOMPARE(resultados(), (QList<BoardOutcome>{BoardOutcome::Done, BoardOutcome::Done}));
        QCOMPARE(p.placa(1).usersStored(), 2);
        QCOMPARE(p.placa(3).usersStored(), 2);

        // The send of changes says it in its confirmation.
        m_respuestas = {QStringLiteral("73518")};
        QString informative;
        onNextModal([&informative](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box) {
                w->close();
                return;
            }
            informative = box->informativeText();
            box->button(QMessageBox::Cancel)->click();
        });
        p.accion(QStringLiteral("EnviarCambiosPlacas1"))->trigger();
        QVERIFY2(informative.endsWith(QStringLiteral("The rest of each board stays as it is.\n") + leftOut),
                 qPrintable(informative));
    }

    // A board that refuses the code asks for its own, or is skipped.
    void boardWithItsOwnCode_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<BoardOutcome>("board3");
        // Compared once its code was accepted: it holds none of the file's users.
        QTest::newRow("own code given") << QStringList{"73518", "12345"} << BoardOutcome::Different;
        QTest::newRow("skipped") << QStringList{"73518"} << BoardOutcome::CodeRefused;
    }
    void boardWithItsOwnCode()
    {
        QFETCH(QStringList, answers);
        QFETCH(BoardOutcome, board3);
        ConexionPrueba p({1, 3, 17});
        QVERIFY(prepara(p));
        QVERIFY(p.placa(3).setProgrammingCode(QStringLiteral("12345")));
        selecciona(*p.principal().Arbol(), {"01", "03", "17"});
        m_respuestas = answers;
        p.accion(QStringLiteral("CompararPlacas1"))->trigger();
        QCOMPARE(m_preguntas.size(), 2);
        QVERIFY2(m_preguntas.at(1).contains(QStringLiteral("03")), qPrintable(m_preguntas.at(1)));
        QCOMPARE(m_informe.boards.size(), 3);
        QCOMPARE(m_informe.boards.at(1).outcome, board3);
        QCOMPARE(m_informe.boards.at(2).outcome, BoardOutcome::Different);
    }

    // The report's table and its CSV file.
    void reportTableAndCsv()
    {
        FixedTexts texts;
        BoardRunReport report;
        report.boards << BoardRunEntry{1, BoardOutcome::Done, 1, 1, {}, 0, QString(), 900}
                      << BoardRunEntry{3, BoardOutcome::GuardRefused, 0, 0, {}, 0, QStringLiteral("2"), 300}
                      << BoardRunEntry{17, BoardOutcome::NotDone, 0, 0, {}, 0, QString(), 0};
        BoardRunReportDialog dialog(texts, report);
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("table"));
        QVERIFY(table);
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("03"));
        QCOMPARE(table->item(1, 1)->text(), QStringLiteral("Refused: changed on the board since the last send"));
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("1 / 1"));
        QCOMPARE(table->item(2, 1)->text(), QStringLiteral("Not done"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.csv"));
        QString error;
        QVERIFY(dialog.saveCsv(path, error));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), report.toCsv());
        QVERIFY(!dialog.saveCsv(dir.filePath(QStringLiteral("no/such/folder/report.csv")), error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(table->item(1, 5)->text(), QStringLiteral("Slots changed on the board: 2"));
        QVERIFY(!table->isColumnHidden(3));
        QCOMPARE(BoardRunReportDialog::withCsvSuffix(QStringLiteral("/tmp/informe")), QStringLiteral("/tmp/informe.csv"));
        QCOMPARE(BoardRunReportDialog::withCsvSuffix(QStringLiteral("/tmp/informe.txt")), QStringLiteral("/tmp/informe.txt"));
    }

    // A compare writes nothing: its count is of differences, and no detail is cut off.
    void compareReport()
    {
        FixedTexts texts;
        BoardRunReport report;
        report.compared = true;
        const QString path = QStringLiteral("/srv/copias/2026-12-09T10-00/board-17-2026-12-09.tzrimg");
        report.boards << BoardRunEntry{1, BoardOutcome::Done, 0, 0, {}, 0, QString(), 900}
                      << BoardRunEntry{3, BoardOutcome::Different, 0, 0, {}, 4, QString(), 300}
                      << BoardRunEntry{17, BoardOutcome::Failed, 0, 0, {}, 0, path, 0};
        BoardRunReportDialog dialog(texts, report);
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("table"));
        QVERIFY(table);
        QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("Differences"));
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("0"));
        QCOMPARE(table->item(1, 2)->text(), QStringLiteral("4"));
        QVERIFY(table->isColumnHidden(3));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(table->item(2, 5)->toolTip(), path);
        const int needed = table->fontMetrics().horizontalAdvance(path);
        QVERIFY2(table->viewport()->width() - table->columnViewportPosition(5) >= needed,
                 qPrintable(QStringLiteral("%1 < %2").arg(table->viewport()->width() - table->columnViewportPosition(5)).arg(needed)));
    }
};

QTEST_MAIN(TestSeveralBoardsPrincipal)
#include "tst_severalboards_principal.moc"
