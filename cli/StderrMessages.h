#pragma once

#include "TransferReport.h"

#include <QTextStream>

// Transfer messages (the two lines of the message box) on standard error.
class StderrMessages : public MessageView
{
public:
    explicit StderrMessages(QTextStream &err) : m_err(err) {}
    void showTwoLines(const QString &line1, const QString &line2) override
    {
        m_err << "tzr: " << line1;
        if (!line2.isEmpty())
            m_err << ' ' << line2;
        m_err << '\n';
        m_err.flush();
    }

private:
    QTextStream &m_err;
};
