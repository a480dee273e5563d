#pragma once

#include "DataFileRef.h"
#include "JobEnd.h"
#include "SystemImage.h"

class BoardSession;

struct ImageResult : JobStatus
{
    ResultadoImagen image;
    // Restore: the board numbers whose remembered images the data file could not forget, with the
    // error's text; a send of changes then finds them anyway, through its guard.
    QString notForgotten;
    bool complete() const { return done() && image.completo(); }
    // Restore: the writes of the parameters began, so the board may restart under the image's
    // number and with its codes.
    bool parametersTouched() const { return image.parametrosIntentados > 0; }
    // Restore: every parameter byte was written and acknowledged.
    bool parametersWritten() const
    {
        return image.parametrosIntentados == SystemImage::PARAMETER_COUNT + SystemImage::CODE_COUNT &&
               image.parametrosFallidos == 0 && image.parametrosDistintos.isEmpty();
    }
};

// Save a whole board (parameters, codes, users) into an image file, and write one back. Both
// hold the link for their whole run and end at the next exchange on Stop or a lost port.
class ImageJobs
{
public:
    explicit ImageJobs(BoardSession &session) : m_session(session) {}

    // An image file as saved, checked whole before any board is asked for its code; raises
    // TzrError naming what is wrong with a damaged or foreign file.
    static SystemImage load(const QString &path) { return SystemImage::load(path); }
    // Reads the board into image and, when it was read whole, saves it to path.
    ImageResult save(SystemImage &image, const QString &path);
    // Once anything may have been written, the data file (when one is given) forgets what it
    // remembers of the board under its old number (board) and its new one.
    ImageResult restore(const SystemImage &image, const DataFileRef &file = {}, int board = -1);

private:
    template<typename Work>
    ImageResult run(Work work, bool restoring);

    BoardSession &m_session;
};
