#include "measures/thmagnetomesures.h"

#include "core/etat.h"
#include "core/messages.h"

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Unlocked single-byte and single-word reads of values the window writes
// (FlagPause, PositionSecondes): made explicit so the compiler reads memory
// every time.
template <typename T>
T Lire(const T& valeur)
{
    return __atomic_load_n(&valeur, __ATOMIC_RELAXED);
}

// Writes the notice in one go, without following a link planted under its
// name; a notice that cannot be written whole is removed.
int EcrireAvis(const std::string& chemin, const std::string& texte)
{
    const int fd = open(chemin.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    const bool ecrit = write(fd, texte.data(), texte.size()) == static_cast<ssize_t>(texte.size());
    const bool ferme = close(fd) == 0;
    if (ecrit && ferme)
        return 0;
    unlink(chemin.c_str());
    return -1;
}

} // namespace

ThMagnetoMesures::ThMagnetoMesures(int voie, int attenteDemarrageMs, uint32_t numeroInitial)
    : ThreadTravail(voie), attenteDemarrageMs_(attenteDemarrageMs), numero_(numeroInitial)
{
    start();
}

ThMagnetoMesures::~ThMagnetoMesures()
{
    requestInterruption();
    wait();
    Liberer();
}

bool ThMagnetoMesures::MesuresActives() const
{
    const int v = Voie();
    const int r = PrendreMutexVoie(v);
    const bool actives = Voies[v].FlagLecture != 0 && Voies[v].FlagMesuresPresentes > 0;
    if (r == 0)
        RendreMutexVoie(v);
    return actives;
}

void ThMagnetoMesures::Liberer()
{
    if (image_)
        munmap(const_cast<char*>(image_), taille_);
    image_ = nullptr;
    taille_ = 0;
    cheminMappe_.clear();
    tailleFichier_ = -1;
    index_.clear();
}

int ThMagnetoMesures::Mapper(const std::string& chemin)
{
    struct stat st;
    if (stat(chemin.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        Liberer();
        return -1;
    }
    const int64_t modifie = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (chemin == cheminMappe_ && st.st_dev == peripherique_ && st.st_ino == inode_ &&
        st.st_size == tailleFichier_ && modifie == modifieNs_)
        return 0;
    Liberer();
    // Non-blocking, and checked again once open: a FIFO or device put under
    // the name must not hold the thread.
    const int fd = open(chemin.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    const size_t taille = static_cast<size_t>(st.st_size);
    if (taille > 0) {
        void* p = mmap(nullptr, taille, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) {
            close(fd);
            return -1;
        }
        image_ = static_cast<const char*>(p);
    }
    close(fd);
    taille_ = taille;
    cheminMappe_ = chemin;
    peripherique_ = st.st_dev;
    inode_ = st.st_ino;
    tailleFichier_ = st.st_size;
    modifieNs_ = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    index_ = IndexerMesures(image_, taille_);
    return 1;
}

void ThMagnetoMesures::Annoncer(const LigneMesure& ligne)
{
    const uint32_t numero = NumeroAvisSuivant(numero_.load());
    numero_.store(numero);
    if (DossierDonnees[0] == '\0')
        return; // no working folder: nowhere to put the notice
    if (EcrireAvis(CheminAvisFilm(DossierDonnees, Voie(), numero), TexteAvisMesure(ligne.rang, ligne.texte)) != 0)
        return;
    DiffuserMessage(IdMessages[MSG_MAG_MESURES], 0, numero);
    Dormir(EspacementAvisMs);
}

ThMagnetoMesures::FinPasse ThMagnetoMesures::Passe(uint32_t secondeDebut)
{
    const uint64_t debutMs = uint64_t(secondeDebut) * 1000;
    const size_t limite = taille_ > MargeFinMesures ? taille_ - MargeFinMesures : 0;
    // Every line before this one is earlier than the pass start and would be skipped.
    size_t offset = DebutDePasse(index_, secondeDebut, taille_);
    const ::Voie& voie = Voies[Voie()];
    while (offset < limite) {
        if (DoitSArreter())
            return FinPasse::Arret;
        if (!MesuresActives())
            return FinPasse::Inactives;
        const size_t longueur = LongueurLigne(image_, taille_, offset);
        if (longueur == 0)
            return FinPasse::FinDeFichier;
        if (longueur <= LongueurLigneIgnoree) {
            offset += longueur;
            continue;
        }
        // Unsigned: a negative time is never reached.
        const uint32_t t = static_cast<uint32_t>(LireTempsMesure(image_ + offset, longueur));
        if (t > uint64_t(Lire(PositionSecondes)) * 1000 || Lire(voie.FlagPause)) {
            if (!Dormir(AttentePasseMesuresMs))
                return FinPasse::Arret;
            continue;
        }
        if (t >= debutMs) {
            const LigneMesure ligne = AnalyserLigneMesure(image_ + offset, longueur - 2);
            if (ligne.valide)
                Annoncer(ligne);
        }
        offset += longueur;
    }
    return FinPasse::FinDeFichier;
}

void ThMagnetoMesures::run()
{
    if (!Dormir(attenteDemarrageMs_))
        return;
    if (Voie() < 0 || Voie() >= NbVoies)
        return;
    for (;;) {
        if (!Dormir(AttenteInactiveMesuresMs))
            return;
        if (!MesuresActives()) {
            Liberer(); // the film may change while measures are off
            continue;
        }
        // Passes while measures stay active. Once a pass has reached the end
        // of the file, every line up to the position has been shown: the
        // next pass waits for a changed file instead of showing the current
        // second's lines again every few milliseconds.
        bool finAtteinte = false;
        for (;;) {
            if (!Dormir(AttentePasseMesuresMs))
                return;
            if (!MesuresActives())
                break;
            const uint32_t secondeDebut = Lire(PositionSecondes);
            std::string chemin(Voies[Voie()].CheminSon);
            if (chemin.size() < 4) {
                Dormir(AttenteEchecMesuresMs);
                continue;
            }
            chemin.replace(chemin.size() - 3, 3, "msr");
            const int m = Mapper(chemin);
            if (m < 0) {
                Dormir(AttenteEchecMesuresMs);
                continue;
            }
            if (m > 0)
                finAtteinte = false;
            if (finAtteinte)
                continue;
            const FinPasse fin = Passe(secondeDebut);
            if (fin == FinPasse::Arret)
                return;
            if (fin == FinPasse::Inactives)
                break;
            finAtteinte = true;
        }
    }
}
