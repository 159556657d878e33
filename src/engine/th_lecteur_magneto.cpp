#include "engine/th_lecteur_magneto.h"

#include "codecs/bitmap.h"
#include "core/etat.h"
#include "core/journal.h"
#include "engine/cadence.h"
#include "engine/cible_image.h"
#include "engine/fichierfilm.h"
#include "engine/lecture_exacte.h"
#include "engine/motdepasse.h"
#include "engine/reperes.h"
#include "engine/th_indexeur.h"

#include <QApplication>
#include <QMetaObject>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace {

// Reads a channel byte under MutexVoie.
unsigned char LireOctetVoie(int voie, const unsigned char Voie::*champ)
{
    const int r = PrendreMutexVoie(voie);
    const unsigned char v = Voies[voie].*champ;
    if (r == 0)
        RendreMutexVoie(voie);
    return v;
}

// Decoder instance of a channel's reader: instance 1 is the AVI export's.
int InstanceDecodeur(int voie)
{
    return voie == 0 ? 0 : voie + 1;
}

std::mutex BipMutex;
std::function<void()> BipEchecImage;

void BipSysteme()
{
    // The beep belongs to the application's thread, and needs a window
    // system (a console application has none).
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        QMetaObject::invokeMethod(app, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

} // namespace

std::function<void()> RemplacerBipEchecImage(std::function<void()> bip)
{
    std::lock_guard<std::mutex> verrou(BipMutex);
    std::function<void()> ancien = BipEchecImage;
    BipEchecImage = std::move(bip);
    return ancien;
}

Th_Lecteur_Magneto::Th_Lecteur_Magneto(int voie, int attenteDemarrageMs, int gardeDecodeurMs)
    : ThreadTravail(voie),
      attenteDemarrageMs_(attenteDemarrageMs),
      gardeDecodeurMs_(gardeDecodeurMs),
      decodeur_(InstanceDecodeur(voie)),
      imageNoire_(new unsigned char[KOR_BITMAP_NOIRE_TAILLE])
{
    BitmapImageNoire(imageNoire_.get(), KOR_BITMAP_NOIRE_TAILLE, &tailleImageNoire_);
    start();
}

Th_Lecteur_Magneto::~Th_Lecteur_Magneto()
{
    requestInterruption();
    // A hand-over blocks the reader until the target's thread runs it: if
    // that is this thread, run it here or both would wait for ever.
    while (!wait(10))
        ExecuterRemisesEnAttente();
    if (decodeur_.Ouvert()) {
        QThread::msleep(static_cast<unsigned long>(gardeDecodeurMs_));
        decodeur_.Fermer();
    }
}

int64_t Th_Lecteur_Magneto::Maintenant()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void Th_Lecteur_Magneto::MontrerImageNoire()
{
    const int r = PrendreMutexVoie(Voie());
    ::Voie& v = Voies[Voie()];
    v.ImageMontree = -1;
    v.MsImageMontree = 0;
    v.RunImageMontree = numeroRun_;
    if (r == 0)
        RendreMutexVoie(Voie());
    RemettreImage(imageNoire_.get(), tailleImageNoire_);
}

// Only a playing run that is still the current one reports the end of the
// film: a stale report would be taken for the end of the run that a newer
// command started.
void Th_Lecteur_Magneto::SignalerFinDeFilm()
{
    const int r = PrendreMutexVoie(Voie());
    ::Voie& v = Voies[Voie()];
    if (v.FlagLecture != 0 && v.NumeroDemande == numeroRun_)
        v.FlagFinDeFilm = 1;
    if (r == 0)
        RendreMutexVoie(Voie());
}

void Th_Lecteur_Magneto::SignalerEchecImage()
{
    if (!BipPermis(Maintenant(), dernierBipMs_))
        return;
    std::function<void()> bip;
    {
        std::lock_guard<std::mutex> verrou(BipMutex);
        bip = BipEchecImage;
    }
    if (bip)
        bip();
    else
        BipSysteme();
}

bool Th_Lecteur_Magneto::RunCourant(bool imageUnique)
{
    const int r = PrendreMutexVoie(Voie());
    const ::Voie& v = Voies[Voie()];
    bool courant = v.NumeroDemande == numeroRun_;
    if (imageUnique)
        courant = courant && v.FlagLecture == 0 && v.FlagRafraichir == 0;
    else
        courant = courant && v.FlagLecture != 0;
    if (r == 0)
        RendreMutexVoie(Voie());
    return courant;
}

void Th_Lecteur_Magneto::run()
{
    if (!Dormir(attenteDemarrageMs_))
        return;
    decodeur_.chercherImageSuivante = true;
    const int voie = Voie();
    if (voie < 0 || voie >= NbVoies)
        return;
    {
        const int r = PrendreMutexVoie(voie);
        Voies[voie].PourcentFilm = 0.0;
        if (r == 0)
            RendreMutexVoie(voie);
    }
    while (!isInterruptionRequested()) {
        if (!Dormir(1))
            return;
        Suite suite = Suite::Repos;
        switch (AttendreCommande()) {
        case Commande::Fin:
            return;
        case Commande::Attendre:
            continue;
        case Commande::Lire:
            suite = Run(false);
            break;
        case Commande::ImageUnique:
            suite = Run(true);
            break;
        }
        if (suite == Suite::Fin)
            return;
    }
}

// Idle step: while stopped, closes the decoder and takes a refresh request.
Th_Lecteur_Magneto::Commande Th_Lecteur_Magneto::AttendreCommande()
{
    const int voie = Voie();
    ::Voie& v = Voies[voie];
    if (v.BufferImage == nullptr)
        return Dormir(AttenteReessaiMs) ? Commande::Attendre : Commande::Fin;
    if (LireOctetVoie(voie, &::Voie::FlagLecture) != 0)
        return Commande::Lire;

    if (decodeur_.Ouvert()) {
        if (!Dormir(gardeDecodeurMs_))
            return Commande::Fin;
        decodeur_.Fermer();
    }
    decodeur_.OublierTaille();
    v.HauteurImage = v.LargeurImage = 0;
    octetsDepuisRepos_ = 0;

    // The refresh request and the command number are taken together, so a
    // command given after this point ends the single-picture run.
    const int r = PrendreMutexVoie(voie);
    const unsigned char rafraichir = v.FlagRafraichir;
    v.FlagRafraichir = 0;
    if (rafraichir != 0 && v.FlagLecture == 0)
        numeroRun_ = v.NumeroRun = v.NumeroDemande;
    const bool lecture = v.FlagLecture != 0;
    if (r == 0)
        RendreMutexVoie(voie);
    if (lecture)
        return Commande::Lire;
    if (rafraichir == 0)
        return Dormir(AttenteReposMs) ? Commande::Attendre : Commande::Fin;
    // With the film's index the picture asked for follows at once: no
    // blank flash between two picture steps.
    if (!IndexFilm(v.CheminFilm))
        MontrerImageNoire();
    return Commande::ImageUnique;
}

// Run preparation: the decoder stays open from run to run while playback
// goes on, and is opened only after the guard wait.
bool Th_Lecteur_Magneto::PreparerRun()
{
    if (!decodeur_.Ouvert()) {
        if (!Dormir(gardeDecodeurMs_))
            return false;
        decodeur_.Ouvrir(Voies[Voie()].TypeFilm);
    }
    Voies[Voie()].ImageSortie = Voies[Voie()].BufferImage;
    return true;
}

// Run start: takes the start position, and for a playing run the command
// number, and resets the progress to the start's share, so that progress
// of an earlier run is never read as this one's. False when a playing run
// has nothing to do (stopped meanwhile).
bool Th_Lecteur_Magneto::DebuterRun(bool imageUnique, int32_t& seconde, uint32_t& dureeSecondes)
{
    const int voie = Voie();
    ::Voie& v = Voies[voie];
    {
        const int r = PrendreMutexGeneral();
        seconde = v.SecondeDepart;
        dureeSecondes = v.DureeFilm;
        if (r == 0)
            RendreMutexGeneral();
    }
    const int r = PrendreMutexVoie(voie);
    const bool lecture = v.FlagLecture != 0;
    if (!imageUnique && lecture)
        numeroRun_ = v.NumeroRun = v.NumeroDemande;
    if (imageUnique || lecture)
        v.PourcentFilm = PourcentageDepart(seconde, dureeSecondes);
    if (r == 0)
        RendreMutexVoie(voie);
    return imageUnique || lecture;
}

Th_Lecteur_Magneto::Suite Th_Lecteur_Magneto::Run(bool imageUnique)
{
    const int voie = Voie();
    ::Voie& v = Voies[voie];
    if (!PreparerRun())
        return Suite::Fin;

    FluxFilm flux;
    for (;;) {
        if (DoitSArreter())
            return Suite::Fin;
        int32_t seconde = 0;
        uint32_t dureeSecondes = 0;
        if (!DebuterRun(imageUnique, seconde, dureeSecondes))
            return Suite::Repos;

        EtatCadence cadence;
        cadence.debutRun = Maintenant();
        cadence.vitesse = LireVitesse();

        char chemin[LongueurCheminFilm + 1];
        char motDePasse[LongueurMotDePasse + 1];
        CopierTexte(chemin, sizeof chemin, v.CheminFilm);
        CopierTexte(motDePasse, sizeof motDePasse, v.MotDePasseFilm);
        const int type = v.TypeFilm;

        // A protected film whose password is not accepted decodes to
        // nothing: the single picture stays blank.
        if (imageUnique && VerifierMotDePasse(chemin, motDePasse) < 0)
            return Suite::Repos;

        const OuvertureFlux ouverture =
            OuvrirFluxDuRun(flux, suivi_, voie, chemin, seconde, dureeSecondes, imageUnique, motDePasse);
        if (ouverture != FluxOuvert) {
            if (ouverture == FluxSansFichier && !imageUnique)
                MontrerImageNoire();
            if (ouverture == FluxSansMemoire) {
                char ligne[128];
                std::snprintf(ligne, sizeof ligne, "Erreur Allocation-1 %d / %lld", flux.ErreurSysteme(),
                              static_cast<long long>(TailleFichier(chemin)));
                EcrireJournal(Journal::Magneto, 0, ligne);
            }
            // A single-picture run is not retried: the blank picture stays.
            if (imageUnique)
                return Suite::Repos;
            SignalerFinDeFilm();
            if (!Dormir(AttenteReessaiMs))
                return Suite::Fin;
            continue;
        }
        octetsDepuisRepos_ += flux.OctetsLus();
        cadence.nbImages = flux.NbImages();
        cadence.dureeMs = flux.DureeMs();
        v.IntervalleImage = IntervalleImageMs(cadence.dureeMs, cadence.nbImages, cadence.vitesse);

        flux.Avancer(decodeur_.Synchroniser(type, flux.Donnees(), flux.Disponibles()));

        const FinBoucle fin = BouclerImages(flux, cadence, type, imageUnique);
        flux.Fermer();
        switch (fin) {
        case FinBoucle::Fin:
            return Suite::Fin;
        case FinBoucle::Commande:
        case FinBoucle::Abandon:
            return Suite::Repos;
        case FinBoucle::FinDesDonnees:
            break;
        }
        if (imageUnique)
            return Suite::Repos;
        SignalerFinDeFilm();
        return AttendreFinDeRun();
    }
}

// Picture loop of a run: decodes, hands over and paces the pictures until
// the data ends, a command ends the run, or a single-picture run has shown
// its picture or given up.
Th_Lecteur_Magneto::FinBoucle Th_Lecteur_Magneto::BouclerImages(FluxFilm& flux, EtatCadence& cadence, int type,
                                                                bool imageUnique)
{
    const int voie = Voie();
    ::Voie& v = Voies[voie];
    char motDePasse[LongueurMotDePasse + 1];
    int64_t octetsCherches = 0; // single picture: bytes gone past without a picture to show
    int echecs = 0;             // single picture: pictures that showed nothing
    ImageDecodee image;
    for (;;) {
        CopierTexte(motDePasse, sizeof motDePasse, v.MotDePasseFilm);
        octetsDepuisRepos_ += flux.Remplir(motDePasse);

        if (!imageUnique) {
            for (;;) {
                const int r = PrendreMutexVoie(voie);
                const bool enPause = v.FlagPause != 0 && v.FlagLecture != 0;
                if (r == 0)
                    RendreMutexVoie(voie);
                if (!enPause)
                    break;
                // After a pause the pictures follow each other at the
                // interval: no burst to catch up with the run's clock.
                cadence.relatif = true;
                if (!Dormir(AttentePauseMs))
                    return FinBoucle::Fin;
            }
        }

        cadence.debutImage = Maintenant();
        const double vitesse = LireVitesse();
        if (vitesse != cadence.vitesse) {
            cadence.vitesse = vitesse;
            cadence.relatif = true;
        }
        cadence.intervalle = IntervalleImageMs(cadence.dureeMs, cadence.nbImages, cadence.vitesse);
        v.IntervalleImage = cadence.intervalle;

        const int res =
            decodeur_.Decoder(type, flux.Donnees(), flux.Disponibles(), v.ImageSortie, TailleBufferImage, image);
        v.HauteurImage = decodeur_.HauteurImage();
        v.LargeurImage = decodeur_.LargeurImage();
        if (type == TypeH264) {
            char ligne[128];
            std::snprintf(ligne, sizeof ligne, "Décode = %d (%d, %d) : %.0f", image.resultat,
                          flux.Consomme() + image.decalage, flux.Tamponne(),
                          static_cast<double>(octetsDepuisRepos_ - flux.Tamponne() + 4));
            EcrireJournal(Journal::Magneto, 0, ligne);
        }
        if (res == 0 && !suivi_.AMontrer()) {
            // A picture before the one asked for: decoded for the pictures
            // that refer to it, neither shown nor paced.
            flux.Avancer(image.octetsUtilises);
        } else if (res == 0) {
            // Pacing starts from the picture asked for.
            if (suivi_.Exact() && cadence.imagesDecodees == 0)
                cadence.debutRun = cadence.debutImage;
            // Noted before the hand-over: the window reads, while it takes
            // the picture, which picture it is.
            ++cadence.imagesDecodees;
            NoterImage(flux, cadence);
            if (image.taille > 0) {
                v.TailleImageSortie = image.taille;
                RemettreImage(v.ImageSortie, image.taille);
            }
            NoterProgression(flux, cadence);
            if (v.FlagLireTaille != 0 && image.hauteur > 0 && image.largeur > 0) {
                v.HauteurFilm = image.hauteur;
                v.LargeurFilm = image.largeur;
                v.FlagLireTaille = 0;
            }
            // A single-picture run ends on the first picture it could show
            // (a JPEG the decoder rejected shows nothing) and is not paced.
            if (imageUnique && image.taille > 0)
                return FinBoucle::FinDesDonnees;
            cadence.maintenant = Maintenant();
            const int32_t attente = AttenteImageMs(cadence);
            if (!imageUnique && attente > 0 && !Dormir(attente))
                return FinBoucle::Fin;
            flux.Avancer(image.octetsUtilises);
            octetsCherches += image.octetsUtilises;
            ++echecs;
        } else {
            if (type == TypeH264) {
                SignalerEchecImage();
                if (!Dormir(AttenteEchecH264Ms))
                    return FinBoucle::Fin;
            }
            const int32_t avant = flux.Consomme();
            flux.Avancer(image.decalage);
            flux.Avancer(SautApresEchec(type, flux.Donnees(), flux.Disponibles()));
            octetsCherches += flux.Consomme() - avant;
            ++echecs;
        }
        flux.Compacter();

        if (DoitSArreter())
            return FinBoucle::Fin;
        if (!flux.Reste())
            return FinBoucle::FinDesDonnees;
        if (!RunCourant(imageUnique))
            return FinBoucle::Commande;
        if (imageUnique && (octetsCherches >= RechercheImageMaxOctets || echecs >= RechercheImageMaxEchecs))
            return FinBoucle::Abandon;
    }
}

// Before each good picture is handed over: which picture it is, read by
// the window while it takes it, and by the sound and the measures.
void Th_Lecteur_Magneto::NoterImage(const FluxFilm& flux, const EtatCadence& cadence)
{
    // An exact run counts the pictures of the film's index.
    const uint32_t nbImages =
        suivi_.Exact() ? static_cast<uint32_t>(suivi_.Depart().nbImages) : cadence.nbImages;
    const int64_t numero = static_cast<int64_t>(flux.ImageBase()) + cadence.imagesDecodees - 1;
    const int r = PrendreMutexVoie(Voie());
    ::Voie& v = Voies[Voie()];
    v.ImageMontree = numero;
    v.MsImageMontree = MsDeLImage(numero, cadence.dureeMs, nbImages);
    v.ImageMontreeExacte = suivi_.Exact() ? 1 : 0;
    v.RunImageMontree = numeroRun_;
    if (r == 0)
        RendreMutexVoie(Voie());
}

// After it: the progress, read by the display tick.
void Th_Lecteur_Magneto::NoterProgression(const FluxFilm& flux, const EtatCadence& cadence)
{
    const uint32_t nbImages =
        suivi_.Exact() ? static_cast<uint32_t>(suivi_.Depart().nbImages) : cadence.nbImages;
    const double pourcent = PourcentagePourImages(cadence.imagesDecodees, flux.ImageBase(), nbImages);
    const int r = PrendreMutexVoie(Voie());
    Voies[Voie()].PourcentFilm = pourcent;
    if (r == 0)
        RendreMutexVoie(Voie());
}

// Wait at the end of a playing run: until the window stops playback, starts
// it again, or gives a newer command.
Th_Lecteur_Magneto::Suite Th_Lecteur_Magneto::AttendreFinDeRun()
{
    const int voie = Voie();
    const ::Voie& v = Voies[voie];
    for (;;) {
        if (!Dormir(AttentePauseMs))
            return Suite::Fin;
        const int r = PrendreMutexVoie(voie);
        const bool attendre = v.FlagLecture != 0 && v.FlagFinDeFilm != 0 && v.NumeroDemande == numeroRun_;
        if (r == 0)
            RendreMutexVoie(voie);
        if (!attendre)
            return Suite::Repos;
    }
}
