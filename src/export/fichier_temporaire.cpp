#include "export/fichier_temporaire.h"

#include "export/sortie_sure.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr char PrefixeTemporaire[] = ".zr7-";
constexpr int CaracteresAleatoires = 6;
constexpr int EssaisNom = 100;

// Temporary files not yet in place, readable from a signal handler: a slot
// is free (0), being written (2) or holds a name (1).
constexpr int PlacesTemporaires = 8;
constexpr size_t LongueurMaxTemporaire = 4096;
struct Place {
    std::atomic<int> etat{0};
    char nom[LongueurMaxTemporaire];
};
Place Places[PlacesTemporaires];
static_assert(std::atomic<int>::is_always_lock_free, "slots read by a signal handler");

void Retenir(const std::string& nom)
{
    if (nom.size() >= LongueurMaxTemporaire)
        return;
    for (Place& p : Places) {
        int libre = 0;
        if (p.etat.compare_exchange_strong(libre, 2)) {
            std::memcpy(p.nom, nom.c_str(), nom.size() + 1);
            p.etat.store(1);
            return;
        }
    }
}

void Oublier(const std::string& nom)
{
    for (Place& p : Places) {
        if (p.etat.load() == 1 && nom == p.nom) {
            p.etat.store(0);
            return;
        }
    }
}

// Slots whose file is gone (removed by a caller that did not say so) are
// freed before looking for room.
void LibererPerimes()
{
    for (Place& p : Places) {
        if (p.etat.load() == 1 && access(p.nom, F_OK) != 0 && errno == ENOENT)
            p.etat.store(0);
    }
}

extern "C" void SupprimerSurSignal(int signal)
{
    const int sauve = errno;
    for (Place& p : Places) {
        if (p.etat.load() == 1)
            unlink(p.nom);
    }
    errno = sauve;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

char Aleatoire(unsigned long long& graine)
{
    static const char Alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    graine = graine * 6364136223846793005ULL + 1442695040888963407ULL;
    return Alphabet[(graine >> 33) % (sizeof Alphabet - 1)];
}

} // namespace

std::string CreerNomTemporaire(const std::string& destination)
{
    static std::atomic<unsigned long long> compteur{0};
    if (destination.empty() || destination.back() == '/')
        return std::string();
    const size_t barre = destination.rfind('/');
    const std::string dossier = barre == std::string::npos ? std::string() : destination.substr(0, barre + 1);
    unsigned long long graine =
        (unsigned long long)std::chrono::steady_clock::now().time_since_epoch().count() ^ (unsigned long long)getpid() << 32
        ^ compteur.fetch_add(0x9E3779B97F4A7C15ULL);
    LibererPerimes();
    // No signal between the creation and the remembering: the file would stay.
    sigset_t tous, avant;
    sigfillset(&tous);
    pthread_sigmask(SIG_BLOCK, &tous, &avant);
    std::string resultat;
    for (int essai = 0; essai < EssaisNom; ++essai) {
        std::string nom = dossier + PrefixeTemporaire;
        for (int i = 0; i < CaracteresAleatoires; ++i)
            nom += Aleatoire(graine);
        const int fd = open(nom.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            close(fd);
            Retenir(nom);
            resultat = nom;
            break;
        }
        if (errno != EEXIST)
            break;
    }
    pthread_sigmask(SIG_SETMASK, &avant, nullptr);
    return resultat;
}

int MettreEnPlace(const std::string& nomTemporaire, const std::string& destination)
{
    if (RemplacementPermis(destination) && std::rename(nomTemporaire.c_str(), destination.c_str()) == 0) {
        Oublier(nomTemporaire);
        return 0;
    }
    AbandonnerTemporaire(nomTemporaire);
    return -1;
}

int AbandonnerTemporaire(const std::string& nomTemporaire)
{
    const int r = std::remove(nomTemporaire.c_str());
    Oublier(nomTemporaire);
    return r == 0 ? 0 : -1;
}

void NettoyerTemporairesSurSignal()
{
    struct sigaction a {};
    a.sa_handler = SupprimerSurSignal;
    sigemptyset(&a.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&a.sa_mask, s);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &a, nullptr);
}
