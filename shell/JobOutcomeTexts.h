#pragma once

#include <QString>
#include <QStringList>

class TextLookup;
struct CompareResult;
struct FilaRechazada;
struct ImageResult;
struct SendChangesResult;
struct SendResult;
struct SystemImage;

// The two lines of a message box that tell how a job ended.
struct OutcomeLines
{
    QString line1;
    QString line2;
    // A good outcome is shown as success, the others as a warning.
    bool success = false;
    bool empty() const { return line1.isEmpty() && line2.isEmpty(); }
};

// Turns the results of the window's jobs into the texts the user reads, in the language chosen
// when asked.
class JobOutcomeTexts
{
public:
    explicit JobOutcomeTexts(const TextLookup &texts) : m_texts(texts) {}

    QString text(const char *key, const char *fallback) const;

    OutcomeLines noAnswer() const;
    OutcomeLines rowRefused(const FilaRechazada &row) const;
    QString receiveIncomplete() const;
    QString sendIncomplete() const;
    QString compareIncomplete() const;
    QString imageNotSaved() const;
    // Why a job stopped before its end (Cancel, a silent board, replies that matched nothing).
    QString stopped(bool cancelled) const;
    QString repliesMismatched() const;
    // A send's question with the line on the users left out for their end date; as it was when
    // none is.
    QString withLeftOut(const QString &question, const QStringList &leftOut) const;
    QString leftOut(const QStringList &names) const;
    QString sendOthers() const;

    // What a send that was not complete left behind; the first line is sendIncomplete().
    QString sendDetail(const SendResult &result) const;
    // A compare that ran but could not compare everything; empty when the report can be shown.
    OutcomeLines compareOutcome(const CompareResult &result) const;
    // How far the writes of a send of changes got before it was cut off.
    QString changesCutOff(const SendChangesResult &result) const;
    // A send of changes that reached its end, but for the board changed since the image, which
    // the window asks about itself.
    OutcomeLines changesOutcome(const SendChangesResult &result) const;
    OutcomeLines imageSaved(const ImageResult &result, const QString &path) const;
    // The first line of a restore not acknowledged whole.
    QString restoreIncomplete(const ImageResult &result) const;
    // What a restore wrote, as the second line of its message.
    QString restoreSummary(const ImageResult &result) const;

private:
    const TextLookup &m_texts;
};
