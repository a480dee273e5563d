#pragma once

#include "JobEnd.h"
#include "SystemImage.h"

class BoardSession;

struct ImageResult : JobStatus
{
    ResultadoImagen image;
    bool complete() const { return done() && image.completo(); }
};

// Save a whole board (parameters, codes, users) into an image file, and write one back. Both
// hold the link for their whole run and end at the next exchange on Stop or a lost port.
class ImageJobs
{
public:
    explicit ImageJobs(BoardSession &session) : m_session(session) {}

    // Reads the board into image and, when it was read whole, saves it to path.
    ImageResult save(SystemImage &image, const QString &path);
    ImageResult restore(const SystemImage &image);

private:
    template<typename Work>
    ImageResult run(Work work);

    BoardSession &m_session;
};
