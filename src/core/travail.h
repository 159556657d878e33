// Base of the four worker threads: a QThread that polls two stop requests,
// the shared FlagArretGeneral and its own interruption request, and whose
// destruction waits for its end.
#pragma once

#include <QThread>

class ThreadTravail : public QThread
{
    Q_OBJECT
public:
    explicit ThreadTravail(int voie, QObject* parent = nullptr);
    ~ThreadTravail() override; // requests termination, then waits

    int Voie() const { return voie_; }

    // True once FlagArretGeneral is set (read under MutexGeneral) or the
    // thread's termination has been requested.
    bool DoitSArreter() const;

    // Sleeps in short slices, returning early (false) when a stop is seen.
    bool Dormir(int ms) const;

protected:
    // The thread's work. The base version idles until a stop is seen.
    void run() override;

private:
    int voie_;
};
