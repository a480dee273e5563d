#include "JobEnd.h"

#include "Comunicacion_TZR.h"
#include "TzrError.h"

JobStatus failureStatus(const std::exception &e)
{
    if (const auto *lost = dynamic_cast<const PuertoPerdido *>(&e))
        return {JobEnd::PortLost, lost->message()};
    if (const auto *mismatched = dynamic_cast<const RepliesMisaligned *>(&e))
        return {JobEnd::RepliesMismatched, mismatched->message()};
    if (dynamic_cast<const OperacionDetenida *>(&e))
        return {JobEnd::Stopped, QString()};
    if (const auto *tzr = dynamic_cast<const TzrError *>(&e))
        return {JobEnd::Failed, tzr->message()};
    return {JobEnd::Failed, QString::fromLocal8Bit(e.what())};
}
