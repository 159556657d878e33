#include "measures/thmagnetomesures.h"

#include "core/etat.h"
#include "core/journal.h"
#include "core/messages.h"
#include "core/ouverture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
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

// Writes the notice under a name of its own (created, never opened over
// something else), then renames it to the notice name. Whatever was planted
// under that name, a link, a FIFO with or without a reader, is replaced and
// never opened, so nothing here can block or write through it; a folder
// there makes the rename fail and the notice is dropped.
int EcrireAvis(const std::string& chemin, const std::string& texte)
{
    std::string temporaire = chemin + ".XXXXXX";
    const int fd = mkostemp(temporaire.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    const bool ecrit = write(fd, texte.data(), texte.size()) == static_cast<ssize_t>(texte.size());
    const bool ferme = close(fd) == 0;
    if (ecrit && ferme && rename(temporaire.c_str(), chemin.c_str()) == 0)
        return 0;
    unlink(temporaire.c_str());
    return -1;
}

struct FermerFichier {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Reads up to `taille` bytes at offset 0 with pread. A file that shrinks
// meanwhile gives fewer bytes: its end is where the reading stopped.
size_t LireJusqua(int fd, char* destination, size_t taille)
{
    size_t lu = 0;
    while (lu < taille) {
        const ssize_t n = pread(fd, destination + lu, taille - lu, static_cast<off_t>(lu));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        lu += static_cast<size_t>(n);
    }
    return lu;
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
    std::vector<char>().swap(copie_);
    image_ = nullptr;
    taille_ = 0;
    cheminCharge_.clear();
    tailleFichier_ = -1;
    index_.clear();
}

// The measure file is copied into memory rather than mapped: a mapped file
// that another program truncates (a recorder rewriting it, a pulled USB
// stick) turns the next read of a lost page into SIGBUS. A copy taken with
// pread cannot change under the pass; a shrink while it is taken only makes
// it shorter (its end is the end of the data), and the next pass sees the
// changed file and reads it again.
int ThMagnetoMesures::Charger(const std::string& chemin)
{
    struct stat st;
    if (stat(chemin.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        Liberer();
        return -1;
    }
    const int64_t modifie = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (chemin == cheminCharge_ && st.st_dev == peripherique_ && st.st_ino == inode_ &&
        st.st_size == tailleFichier_ && modifie == modifieNs_)
        return 0;
    Liberer();
    // Non-blocking, and checked again once open: a FIFO or device put under
    // the name must not hold the thread.
    std::unique_ptr<std::FILE, FermerFichier> f(OuvrirFichierOrdinaire(chemin.c_str()));
    if (!f || fstat(fileno(f.get()), &st) != 0)
        return -1;
    size_t taille = static_cast<size_t>(st.st_size);
    if (st.st_size > TailleMaxMesures) {
        char ligne[400];
        std::snprintf(ligne, sizeof ligne, "Mesures : %.300s lu sur ses %lld premiers octets seulement",
                      chemin.c_str(), static_cast<long long>(TailleMaxMesures));
        EcrireJournal(Journal::Magneto, Voie(), ligne);
        taille = static_cast<size_t>(TailleMaxMesures);
    }
    try {
        copie_.resize(taille);
    } catch (const std::bad_alloc&) {
        Liberer();
        return -1;
    }
    copie_.resize(LireJusqua(fileno(f.get()), copie_.data(), taille));
    image_ = copie_.empty() ? nullptr : copie_.data();
    taille_ = copie_.size();
    cheminCharge_ = chemin;
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
            const int m = Charger(chemin);
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
