#pragma once

class Comunicacion_TZR;

// One transfer of the board: opened by open(), closed when the scope ends, on every path. A
// board that was written to (or whose close went unanswered) is restarted, so it reloads its
// users; a lost port gets no closing exchange at all. The stop request is cleared at the end,
// so a Stop pressed during the last exchange cannot fail the next operation.
class TransferScope
{
public:
    enum class Close
    {
        RestartIfUnanswered, // reads: the close, and a restart only when it is not answered
        AlwaysRestart,       // writes: the close, then a restart
        // Writes that go on outside the transfer: close() leaves the restart to the caller, for
        // after those; a transfer ended by a failure is restarted at once.
        RestartByCaller,
    };

    TransferScope(Comunicacion_TZR &link, Close rule);
    ~TransferScope();
    TransferScope(const TransferScope &) = delete;
    TransferScope &operator=(const TransferScope &) = delete;

    // Asks the board to open the transfer; false when it did not answer.
    [[nodiscard]] bool open();
    // Closes now (a no-op when not open); errors of the closing exchanges propagate.
    void close() { finish(false); }
    bool isOpen() const { return m_open; }

private:
    void finish(bool failed);

    Comunicacion_TZR &m_link;
    Close m_rule;
    bool m_open = false;
};
