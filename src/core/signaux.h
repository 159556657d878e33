// The end-of-session signals (SIGTERM at logout or from kill, SIGINT from
// Ctrl+C, SIGHUP when the terminal goes) turned into an ordinary event of
// the user-interface thread, so that the player closes as its "Quitter"
// button does, with its settings saved.
//
// The handler only writes the signal's number into a pipe; a socket
// notifier on the other end runs the action in the event loop.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

class GardeSignaux : public QObject
{
    Q_OBJECT
public:
    // Installs the handlers of the three signals; `action` runs on this
    // object's thread with the signal's number, once per signal received.
    explicit GardeSignaux(std::function<void(int)> action, QObject* parent = nullptr);
    // Puts the default handlers back and closes the pipe.
    ~GardeSignaux() override;

    // False when the pipe could not be made (the signals then keep their
    // default action).
    bool Actif() const { return notificateur_ != nullptr; }

private:
    void Lire();

    std::function<void(int)> action_;
    QSocketNotifier* notificateur_ = nullptr;
};
