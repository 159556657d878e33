// Shows, in the main window, the notices published by start-up and the
// worker threads (core/avis.h), each once, through the message seam.
#pragma once

#include <QObject>

class QTimer;
class QWidget;

// How often the window looks for a new notice.
constexpr int IntervalleAvisMs = 250;

class TAvisFenetre : public QObject
{
    Q_OBJECT
public:
    explicit TAvisFenetre(QWidget* fenetre);

    // Shows every notice waiting (once the window is visible).
    void Montrer();

private:
    QWidget* fenetre_;
    QTimer* minuterie_ = nullptr;
    bool enCours_ = false; // a message is open: its own event loop runs the timer
};
