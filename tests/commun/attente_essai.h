// Waiting in tests whose threads hand pictures over through the main
// thread's event loop: the events keep being delivered while waiting.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

// Runs the main thread's events until `condition` holds; false after `ms`.
inline bool AttendreEnTraitantEvenements(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
