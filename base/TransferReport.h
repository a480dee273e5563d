#pragma once

#include <QString>

// How the transfer loops show their progress; the progress window implements it.
class ProgressView
{
public:
    virtual ~ProgressView() = default;
    virtual void display() = 0;
    virtual void dismiss() = 0;
    virtual void setMessage(const QString &text) = 0;
    virtual void setMaximum(int maximum) = 0;
    virtual void setPosition(int position) = 0;
    virtual int position() const = 0;
    // The counter label lblUsers.
    virtual void setCounter(const QString &text) = 0;
    // The main window's L_Usuario_Proceso.
    virtual void setUserInHand(const QString &text) = 0;
    // The board has not answered for a while: say so and offer to stop; false when it answers
    // again.
    virtual void setNotAnswering(bool /*on*/) {}
};

// How the transfer loops tell the user something; the two-line message box implements it.
class MessageView
{
public:
    virtual ~MessageView() = default;
    virtual void showTwoLines(const QString &line1, const QString &line2) = 0;
};
