#include "JobEnd.h"

#include "Comunicacion_TZR.h"
#include "TzrError.h"

namespace {

JobStatus statusOf(JobEnd end, const QString &error)
{
    JobStatus status;
    status.end = end;
    status.error = error;
    return status;
}

} // namespace

JobStatus failureStatus(const std::exception &e)
{
    if (const auto *lost = dynamic_cast<const PuertoPerdido *>(&e))
        return statusOf(JobEnd::PortLost, lost->message());
    if (const auto *mismatched = dynamic_cast<const RepliesMisaligned *>(&e))
        return statusOf(JobEnd::RepliesMismatched, mismatched->message());
    if (dynamic_cast<const OperacionDetenida *>(&e))
        return statusOf(JobEnd::Stopped, QString());
    if (const auto *tzr = dynamic_cast<const TzrError *>(&e))
        return statusOf(JobEnd::Failed, tzr->message());
    return statusOf(JobEnd::Failed, QString::fromLocal8Bit(e.what()));
}
