// Measure window: shows the film's measurement text over the picture.
#pragma once

#include <QWidget>

class TDMesures : public QWidget
{
    Q_OBJECT
public:
    explicit TDMesures(QWidget* parent = nullptr);
};
