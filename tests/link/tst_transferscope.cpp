#include "BoardBus.h"
#include "BusSerialPort.h"
#include "Comunicacion_TZR.h"
#include "TransferScope.h"

#include <QtTest>

#include <memory>

namespace {

enum class Ending
{
    Closed,          // the work calls close()
    Failed,          // the work throws inside the transfer
    CloseUnanswered, // the board falls silent before the close
    PortLost,        // the adapter goes away inside the transfer
    NotOpened,       // the board never answers the open
};

struct WorkFailed
{
};

} // namespace

class TestTransferScope : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_bus = std::make_unique<BoardBus>(5);
        m_bus->addBoard(1);
        m_port = std::make_unique<BusSerialPort>(*m_bus);
        QVERIFY(m_port->open(QStringLiteral("COM1")));
        m_link = std::make_unique<Comunicacion_TZR>();
        m_link->setPuerto(m_port.get());
        m_link->setBoard(1);
        m_link->setIntervalo(std::chrono::milliseconds(5));
    }

    void cleanup()
    {
        m_link.reset();
        m_port.reset();
        m_bus.reset();
    }

    // Frames the board saw after the open, per rule and per way the work inside ended.
    void closingRule_data()
    {
        using Close = TransferScope::Close;
        QTest::addColumn<Close>("rule");
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<int>("closes");
        QTest::addColumn<int>("restarts");
        QTest::newRow("read, closed") << Close::RestartIfUnanswered << Ending::Closed << 1 << 0;
        QTest::newRow("read, failed") << Close::RestartIfUnanswered << Ending::Failed << 1 << 0;
        QTest::newRow("read, close unanswered") << Close::RestartIfUnanswered << Ending::CloseUnanswered << 3 << 3;
        QTest::newRow("write, closed") << Close::AlwaysRestart << Ending::Closed << 1 << 1;
        QTest::newRow("write, failed") << Close::AlwaysRestart << Ending::Failed << 1 << 1;
        QTest::newRow("write, close unanswered") << Close::AlwaysRestart << Ending::CloseUnanswered << 3 << 3;
        QTest::newRow("caller restarts, closed") << Close::RestartByCaller << Ending::Closed << 1 << 0;
        QTest::newRow("caller restarts, failed") << Close::RestartByCaller << Ending::Failed << 1 << 1;
        QTest::newRow("caller restarts, close unanswered")
            << Close::RestartByCaller << Ending::CloseUnanswered << 3 << 0;
        QTest::newRow("read, port lost") << Close::RestartIfUnanswered << Ending::PortLost << 0 << 0;
        QTest::newRow("write, port lost") << Close::AlwaysRestart << Ending::PortLost << 0 << 0;
        QTest::newRow("caller restarts, port lost") << Close::RestartByCaller << Ending::PortLost << 0 << 0;
        QTest::newRow("write, not opened") << Close::AlwaysRestart << Ending::NotOpened << 0 << 0;
    }
    void closingRule()
    {
        QFETCH(TransferScope::Close, rule);
        QFETCH(Ending, ending);
        QFETCH(int, closes);
        QFETCH(int, restarts);
        if (ending == Ending::NotOpened)
            m_bus->setSilentAfter(1, 0);
        bool opened = false;
        try {
            TransferScope transfer(*m_link, rule);
            opened = transfer.open();
            if (!opened)
                throw WorkFailed();
            if (ending == Ending::CloseUnanswered)
                m_bus->setSilentAfter(1, m_bus->board(1)->exchanges());
            if (ending == Ending::PortLost)
                m_port->unplug();
            if (ending == Ending::Failed || ending == Ending::PortLost)
                throw WorkFailed();
            transfer.close();
            QVERIFY(!transfer.isOpen());
        } catch (const WorkFailed &) {
        }
        QCOMPARE(opened, ending != Ending::NotOpened);
        QCOMPARE(m_bus->count(BoardBus::CMD_CLOSE, 1), closes);
        QCOMPARE(m_bus->count(BoardBus::CMD_RESTART, 1), restarts);
        QVERIFY(!m_link->parada());
    }

    // A Stop pressed during the last exchange inside the transfer never keeps the close from
    // going out. When the caller still has writes after the close, the first of them honours it.
    void stopBeforeTheClose_data()
    {
        using Close = TransferScope::Close;
        QTest::addColumn<Close>("rule");
        QTest::addColumn<bool>("stopKept");
        QTest::newRow("read") << Close::RestartIfUnanswered << false;
        QTest::newRow("write") << Close::AlwaysRestart << false;
        QTest::newRow("caller restarts") << Close::RestartByCaller << true;
    }
    void stopBeforeTheClose()
    {
        QFETCH(TransferScope::Close, rule);
        QFETCH(bool, stopKept);
        {
            TransferScope transfer(*m_link, rule);
            QVERIFY(transfer.open());
            m_link->setParada(true);
            transfer.close();
            QCOMPARE(m_bus->count(BoardBus::CMD_CLOSE, 1), 1);
            QCOMPARE(m_link->parada(), stopKept);
        }
        QVERIFY(!m_link->parada());
    }

private:
    std::unique_ptr<BoardBus> m_bus;
    std::unique_ptr<BusSerialPort> m_port;
    std::unique_ptr<Comunicacion_TZR> m_link;
};

QTEST_GUILESS_MAIN(TestTransferScope)
#include "tst_transferscope.moc"
