#include "core/signaux.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

const int SignauxDeFin[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe of the one guard installed; -1 when none.
volatile sig_atomic_t tubeEcriture = -1;
int tubeLecture = -1;

extern "C" void SurSignal(int numero)
{
    // Only async-signal-safe calls here; errno is the interrupted code's.
    const int sauve = errno;
    const int fd = tubeEcriture;
    if (fd >= 0) {
        const unsigned char octet = static_cast<unsigned char>(numero);
        ssize_t r = ::write(fd, &octet, 1);
        (void)r; // a full pipe already holds a pending signal
    }
    errno = sauve;
}

} // namespace

GardeSignaux::GardeSignaux(std::function<void(int)> action, QObject* parent)
    : QObject(parent), action_(std::move(action))
{
    if (tubeEcriture >= 0)
        return; // one guard per process
    int tube[2];
    if (::pipe2(tube, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    tubeLecture = tube[0];
    tubeEcriture = tube[1];
    notificateur_ = new QSocketNotifier(tubeLecture, QSocketNotifier::Read, this);
    connect(notificateur_, &QSocketNotifier::activated, this, &GardeSignaux::Lire);
    struct sigaction sa = {};
    sa.sa_handler = SurSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : SignauxDeFin)
        ::sigaction(s, &sa, nullptr);
}

GardeSignaux::~GardeSignaux()
{
    if (!notificateur_)
        return;
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int s : SignauxDeFin)
        ::sigaction(s, &sa, nullptr);
    delete notificateur_;
    notificateur_ = nullptr;
    const int ecriture = tubeEcriture;
    tubeEcriture = -1;
    ::close(ecriture);
    ::close(tubeLecture);
    tubeLecture = -1;
}

void GardeSignaux::Lire()
{
    unsigned char octets[16];
    for (;;) {
        const ssize_t n = ::read(tubeLecture, octets, sizeof octets);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            if (action_)
                action_(octets[i]);
    }
}
