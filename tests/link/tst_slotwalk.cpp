#include "SlotWalk.h"

#include <QtTest>

namespace {

// Every call a walk makes on its view, in order, with the work's own steps among them.
class CallLog : public ProgressView
{
public:
    void display() override { calls << QStringLiteral("show"); }
    void dismiss() override { calls << QStringLiteral("close"); }
    void setMessage(const QString &text) override { calls << QStringLiteral("message ") + text; }
    void setMaximum(int maximum) override { calls << QStringLiteral("maximum %1").arg(maximum); }
    void setPosition(int position) override
    {
        m_position = position;
        calls << QStringLiteral("position %1").arg(position);
    }
    int position() const override { return m_position; }
    void setCounter(const QString &text) override { calls << QStringLiteral("counter ") + text; }
    void setUserInHand(const QString &text) override { calls << QStringLiteral("user ") + text; }

    QStringList calls;

private:
    int m_position = 0;
};

struct WorkFailed
{
};

} // namespace

class TestSlotWalk : public QObject
{
    Q_OBJECT

private slots:
    void stepsAroundTheWork_data()
    {
        using Counter = SlotWalk::Counter;
        QTest::addColumn<Counter>("counter");
        QTest::addColumn<QStringList>("head");
        QTest::addColumn<QStringList>("tail");
        QTest::newRow("numbered") << Counter::Numbered
                                  << QStringList{"position 0", "maximum 350", "position 1", "counter 1/350", "work 0"}
                                  << QStringList{"position 350", "counter 350/350", "work 349"};
        QTest::newRow("numbered with user")
            << Counter::NumberedWithUser
            << QStringList{"position 0", "maximum 350", "counter 0/350", "position 1", "counter 1/350", "user 1/350",
                           "work 0"}
            << QStringList{"position 350", "counter 350/350", "user 350/350", "work 349"};
        QTest::newRow("dots") << Counter::Dots
                              << QStringList{"position 0", "maximum 350", "position 1", "work 0", "counter ..."}
                              << QStringList{"position 350", "work 349", "counter ..."};
    }
    void stepsAroundTheWork()
    {
        QFETCH(SlotWalk::Counter, counter);
        QFETCH(QStringList, head);
        QFETCH(QStringList, tail);
        CallLog view;
        int works = 0;
        SlotWalk(&view, counter).run([&](int slot) {
            QCOMPARE(slot, works);
            ++works;
            view.calls << QStringLiteral("work %1").arg(slot);
        });
        QCOMPARE(works, 350);
        QCOMPARE(view.calls.mid(0, head.size()), head);
        QCOMPARE(view.calls.mid(view.calls.size() - tail.size()), tail);
    }

    // A slot whose work fails is the last one the view hears of, with nothing shown as done.
    void aFailureEndsTheWalkAtItsSlot_data()
    {
        using Counter = SlotWalk::Counter;
        QTest::addColumn<Counter>("counter");
        QTest::newRow("numbered") << Counter::Numbered;
        QTest::newRow("numbered with user") << Counter::NumberedWithUser;
        QTest::newRow("dots") << Counter::Dots;
    }
    void aFailureEndsTheWalkAtItsSlot()
    {
        QFETCH(SlotWalk::Counter, counter);
        CallLog view;
        QVERIFY_THROWS_EXCEPTION(WorkFailed, SlotWalk(&view, counter).run([&](int slot) {
            view.calls << QStringLiteral("work %1").arg(slot);
            if (slot == 2)
                throw WorkFailed();
        }));
        QCOMPARE(view.calls.last(), QStringLiteral("work 2"));
        QCOMPARE(view.position(), 3);
    }

    void withoutAViewEverySlotIsWalked()
    {
        QList<int> walked;
        SlotWalk(nullptr, SlotWalk::Counter::NumberedWithUser).run([&](int slot) { walked << slot; });
        QCOMPARE(walked.size(), 350);
        QCOMPARE(walked.last(), 349);
    }
};

QTEST_GUILESS_MAIN(TestSlotWalk)
#include "tst_slotwalk.moc"
