#pragma once

#include <QWidget>

// The borderless start-up banner shown while the windows are created.
class TSplash : public QWidget
{
    Q_OBJECT
public:
    explicit TSplash(QWidget *parent = nullptr);
};
