#include "sound/thmagnetoson.h"

#include "core/avis.h"
#include "core/etat.h"
#include "core/journal.h"
#include "core/ouverture.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int AttenteCycleMs = 10;
constexpr int AttenteEchecMs = 50;
constexpr int AttenteInactifMs = 50;

// The pass's file, closed on every path out of it.
struct FermerFichier {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FichierSon = std::unique_ptr<std::FILE, FermerFichier>;

bool LireTout(int fd, unsigned char* destination, int32_t n, int64_t offset)
{
    int32_t lus = 0;
    while (lus < n) {
        const ssize_t r = ::pread(fd, destination + lus, static_cast<size_t>(n - lus), offset + lus);
        if (r < 0 && errno == EINTR)
            continue;
        if (r == 0)
            errno = 0; // the file ends sooner than it did
        if (r <= 0)
            return false;
        lus += static_cast<int32_t>(r);
    }
    return true;
}

} // namespace

bool SonActif(const EtatLectureSon& e)
{
    return e.lecture && e.sonActif && e.sonEcoute;
}

bool SonAuPas(const EtatLectureSon& e)
{
    return SonActif(e) && e.vitesse == 1.0 && e.sens > 0;
}

bool PremiereImageDuRunMontree(const EtatLectureSon& e)
{
    return e.imageMontree >= 0 && e.runImageMontree == e.numeroRun && e.numeroRun == e.numeroDemande;
}

std::string CheminFichierSon(const char* cheminSon)
{
    std::string chemin(cheminSon != nullptr ? cheminSon : "");
    if (chemin.size() > static_cast<size_t>(LongueurCheminSon))
        chemin.resize(static_cast<size_t>(LongueurCheminSon));
    if (chemin.size() >= 3)
        chemin.replace(chemin.size() - 3, 3, "pcm");
    return chemin;
}

int64_t DebutPasseSon(int64_t msImage)
{
    return msImage < 0 ? -1 : msImage * OctetsSonParMs;
}

int32_t TailleMorceauSon(int64_t longueur, int64_t offset)
{
    const int64_t reste = longueur - offset;
    if (reste <= 0)
        return 0;
    return static_cast<int32_t>(std::min<int64_t>(reste, TailleBufferSon));
}

AttenteSon AttentePause(const EtatLectureSon& e)
{
    AttenteSon a;
    a.type = AttenteSon::Type::Reprise;
    a.run = e.numeroRun;
    a.image = e.imageMontree;
    a.runImage = e.runImageMontree;
    return a;
}

AttenteSon AttenteFin(const EtatLectureSon& e, int64_t longueur)
{
    AttenteSon a;
    a.type = AttenteSon::Type::Fin;
    a.run = e.numeroRun;
    a.finOctet = longueur;
    return a;
}

bool PasseSonPermise(const EtatLectureSon& e, const AttenteSon& a)
{
    if (e.pause || !PremiereImageDuRunMontree(e))
        return false;
    if (a.type == AttenteSon::Type::Aucune || a.run != e.numeroRun)
        return true;
    if (a.type == AttenteSon::Type::Reprise)
        return e.imageMontree != a.image || e.runImageMontree != a.runImage;
    return DebutPasseSon(e.msImageMontree) >= a.finOctet;
}

std::string TexteSonIllisible(const std::string& cheminFichierSon)
{
    const size_t barre = cheminFichierSon.find_last_of('/');
    return "Son illisible : " + (barre == std::string::npos ? cheminFichierSon : cheminFichierSon.substr(barre + 1));
}

ThMagnetoSon::ThMagnetoSon(int voie, int attenteDemarrageMs)
    : ThreadTravail(voie),
      attenteDemarrageMs_(attenteDemarrageMs),
      morceau_(new unsigned char[TailleBufferSon])
{
    start();
}

EtatLectureSon ThMagnetoSon::LireEtat() const
{
    EtatLectureSon e;
    e.vitesse = LireVitesse();
    const ::Voie& v = Voies[Voie()];
    const int r = PrendreMutexVoie(Voie());
    e.lecture = v.FlagLecture != 0;
    e.pause = v.FlagPause != 0;
    e.sonActif = v.FlagSonActif != 0;
    e.sonEcoute = v.FlagSonEcoute != 0;
    e.sens = v.Sens;
    e.numeroDemande = v.NumeroDemande;
    e.numeroRun = v.NumeroRun;
    e.imageMontree = v.ImageMontree;
    e.msImageMontree = v.MsImageMontree;
    e.runImageMontree = v.RunImageMontree;
    if (r == 0)
        RendreMutexVoie(Voie());
    return e;
}

void ThMagnetoSon::ViderRemise() const
{
    const int r = PrendreMutexVoie(Voie());
    Voies[Voie()].NbOctetsSon = 0;
    if (r == 0)
        RendreMutexVoie(Voie());
}

void ThMagnetoSon::run()
{
    if (!Dormir(attenteDemarrageMs_))
        return;
    const int voie = Voie();
    if (voie < 0 || voie > 15 || voie >= NbVoies)
        return;
    for (;;) {
        // Idle: the handover area is held empty while sound is inactive.
        if (!Dormir(1))
            return;
        if (!SonActif(LireEtat())) {
            ViderRemise();
            if (!Dormir(AttenteInactifMs))
                return;
            continue;
        }
        for (;;) {
            if (!Dormir(AttenteCycleMs))
                return;
            if (!SonActif(LireEtat()))
                break;
            if (Passe() == Suite::Fin)
                return;
        }
    }
}

void ThMagnetoSon::SignalerIllisible(const std::string& chemin, int erreur) const
{
    // A missing file is a film without sound, not an unreadable one.
    if (erreur == ENOENT || erreur == ENOTDIR)
        return;
    PublierAvis(TexteSonIllisible(chemin));
}

ThMagnetoSon::Suite ThMagnetoSon::Passe()
{
    const int voie = Voie();
    ::Voie& v = Voies[voie];

    EtatLectureSon e = LireEtat();
    if (!SonAuPas(e)) {
        // Other speeds and backwards are silent; the next pass forwards at x 1
        // starts in step.
        ViderRemise();
        return Suite::Cycle;
    }
    if (e.pause) {
        attente_ = AttentePause(e);
        ViderRemise();
        return Suite::Cycle;
    }
    char cheminSon[sizeof v.CheminSon];
    CopierTexte(cheminSon, sizeof cheminSon, v.CheminSon);
    const std::string chemin = CheminFichierSon(cheminSon);
    if (chemin.size() < 4)
        return Dormir(AttenteEchecMs) ? Suite::Cycle : Suite::Fin;
    // The first chunk of a run waits for the run's first picture, after a
    // pause for the next picture, after the end for the picture past it.
    if (!PasseSonPermise(e, attente_))
        return Suite::Cycle;

    EcrireJournal(Journal::MagnetoSon, voie, chemin.c_str());
    // Never blocks: a FIFO or device put in the file's place is refused.
    FichierSon fichier(OuvrirFichierOrdinaire(chemin.c_str()));
    if (!fichier) {
        const int erreur = errno;
        EcrireJournal(Journal::MagnetoSon, voie, "Erreur Open");
        SignalerIllisible(chemin, erreur);
        return Dormir(AttenteEchecMs) ? Suite::Cycle : Suite::Fin;
    }
    const int fd = ::fileno(fichier.get());
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size <= 0) {
        EcrireJournal(Journal::MagnetoSon, voie, "Erreur length");
        return Dormir(AttenteEchecMs) ? Suite::Cycle : Suite::Fin;
    }
    const int64_t longueur = st.st_size;
    int64_t offset = DebutPasseSon(e.msImageMontree);
    if (offset < 0 || offset >= longueur)
        return Suite::Cycle;
    const uint32_t run = e.numeroRun;
    debutDernierePasse_.store(offset);
    nbPasses_.fetch_add(1);

    int64_t offsetCharge = -1; // offset of the chunk held in morceau_
    int32_t tailleChargee = 0;
    bool premier = true;
    while (offset < longueur) {
        // The first chunk goes at once: the picture it matches is on screen.
        if (!premier && !Dormir(AttenteCycleMs))
            return Suite::Fin;
        premier = false;
        e = LireEtat();
        if (!SonActif(e))
            return Suite::Cycle;
        if (!SonAuPas(e) || e.numeroRun != run) {
            // Other speed or a new run: the waiting chunk belongs to
            // pictures no longer shown.
            ViderRemise();
            return Suite::Cycle;
        }
        if (e.pause) {
            // The output empties the device; the sound starts again with
            // the pictures.
            attente_ = AttentePause(e);
            ViderRemise();
            return Suite::Cycle;
        }
        if (offsetCharge != offset) {
            tailleChargee = TailleMorceauSon(longueur, offset);
            if (!LireTout(fd, morceau_.get(), tailleChargee, offset)) {
                const int erreur = errno;
                EcrireJournal(Journal::MagnetoSon, voie, "Erreur read");
                // A file cut short is no fault of the file's readability.
                if (erreur != 0)
                    SignalerIllisible(chemin, erreur);
                return Dormir(AttenteEchecMs) ? Suite::Cycle : Suite::Fin;
            }
            offsetCharge = offset;
        }
        const int r = PrendreMutexVoie(voie);
        if (v.NbOctetsSon < 1 && v.BufferSon != nullptr) {
            std::memcpy(v.BufferSon, morceau_.get(), static_cast<size_t>(tailleChargee));
            v.NbOctetsSon = tailleChargee;
            offset += tailleChargee;
            octetsRemis_.fetch_add(tailleChargee);
        }
        if (r == 0)
            RendreMutexVoie(voie);
    }
    // Handed over to its end: the sound waits for the pictures to pass it.
    attente_ = AttenteFin(e, longueur);
    return Suite::Cycle;
}
