// Main window of the player.
#pragma once

#include <QWidget>

class QLabel;

class TLecteurZR7_Principale : public QWidget
{
    Q_OBJECT
public:
    explicit TLecteurZR7_Principale(QWidget* parent = nullptr);

private:
    QLabel* Image1;
};
