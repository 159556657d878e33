#include "engine/th_lecteur_magneto.h"

#include "codecs/bitmap.h"
#include "core/etat.h"
#include "core/journal.h"
#include "engine/cadence.h"
#include "engine/cible_image.h"
#include "engine/fichierfilm.h"
#include "engine/lecture_exacte.h"
#include "engine/th_indexeur.h"
#include "engine/reperes.h"

#include <chrono>
#include <cstdio>
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

double LireVitesse()
{
    const int r = PrendreMutexGeneral();
    const double v = Vitesse;
    if (r == 0)
        RendreMutexGeneral();
    return v;
}

} // namespace

Th_Lecteur_Magneto::Th_Lecteur_Magneto(int voie, int attenteDemarrageMs, int gardeDecodeurMs)
    : ThreadTravail(voie),
      attenteDemarrageMs_(attenteDemarrageMs),
      gardeDecodeurMs_(gardeDecodeurMs),
      decodeur_(voie),
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
    RemettreImage(imageNoire_.get(), tailleImageNoire_);
}

void Th_Lecteur_Magneto::SignalerFinDeFilm()
{
    const int r = PrendreMutexVoie(Voie());
    Voies[Voie()].FlagFinDeFilm = 1;
    if (r == 0)
        RendreMutexVoie(Voie());
}

void Th_Lecteur_Magneto::run()
{
    if (!Dormir(attenteDemarrageMs_))
        return;
    decodeur_.chercherImageSuivante = true;
    const int voie = Voie();
    if (voie != 0)
        return;
    {
        const int r = PrendreMutexVoie(voie);
        Voies[voie].PourcentFilm = 0.0;
        if (r == 0)
            RendreMutexVoie(voie);
    }
    ::Voie& v = Voies[voie];
    while (!isInterruptionRequested()) {
        if (!Dormir(1))
            return;
        if (v.BufferImage == nullptr) {
            Dormir(AttenteReessaiMs);
            continue;
        }
        bool imageUnique = false;
        if (LireOctetVoie(voie, &::Voie::FlagLecture) == 0) {
            if (decodeur_.Ouvert()) {
                if (!Dormir(gardeDecodeurMs_))
                    return;
                decodeur_.Fermer();
            }
            decodeur_.OublierTaille();
            v.HauteurImage = v.LargeurImage = 0;
            octetsDepuisRepos_ = 0;

            const int r = PrendreMutexVoie(voie);
            const unsigned char rafraichir = v.FlagRafraichir;
            v.FlagRafraichir = 0;
            if (r == 0)
                RendreMutexVoie(voie);
            if (rafraichir == 0) {
                Dormir(AttenteReposMs);
                continue;
            }
            // With the film's index the picture asked for follows at once:
            // no blank flash between two picture steps.
            if (!IndexFilm(CheminFilm))
                MontrerImageNoire();
            imageUnique = true;
        }
        if (Run(imageUnique) == Suite::Fin)
            return;
    }
}

Th_Lecteur_Magneto::Suite Th_Lecteur_Magneto::Run(bool imageUnique)
{
    const int voie = Voie();
    ::Voie& v = Voies[voie];

    // Run preparation: the decoder stays open from run to run while
    // playback goes on, and is opened only after the guard wait.
    if (!decodeur_.Ouvert()) {
        if (!Dormir(gardeDecodeurMs_))
            return Suite::Fin;
        decodeur_.Ouvrir(TypeFilm);
    }
    v.ImageSortie = v.BufferImage;

    FluxFilm flux;
    bool premierPassage = true;
    for (;;) {
        if (DoitSArreter())
            return Suite::Fin;
        // A single-picture run is made while playback is stopped: only its
        // retries depend on FlagLecture.
        if (LireOctetVoie(voie, &::Voie::FlagLecture) == 0 && !(imageUnique && premierPassage))
            return Suite::Repos;
        premierPassage = false;

        EtatCadence cadence;
        cadence.debutRun = Maintenant();
        cadence.vitesse = LireVitesse();

        int32_t seconde = 0;
        uint32_t dureeSecondes = 0;
        {
            const int r = PrendreMutexGeneral();
            seconde = SecondeDepart;
            dureeSecondes = DureeFilm;
            if (r == 0)
                RendreMutexGeneral();
        }
        char chemin[LongueurCheminFilm + 1];
        char motDePasse[LongueurMotDePasse + 1];
        CopierTexte(chemin, sizeof chemin, CheminFilm);
        CopierTexte(motDePasse, sizeof motDePasse, MotDePasseFilm);
        const int type = TypeFilm;

        SuiviExact suivi;
        const OuvertureFlux ouverture =
            OuvrirFluxDuRun(flux, suivi, voie, chemin, seconde, dureeSecondes, imageUnique, motDePasse);
        if (ouverture != FluxOuvert) {
            if (ouverture == FluxSansFichier)
                MontrerImageNoire();
            SignalerFinDeFilm();
            if (!Dormir(AttenteReessaiMs))
                return Suite::Fin;
            if (ouverture == FluxSansMemoire) {
                char ligne[128];
                std::snprintf(ligne, sizeof ligne, "Erreur Allocation-1 %d / %lld", flux.ErreurSysteme(),
                              static_cast<long long>(TailleFichier(chemin)));
                EcrireJournal(Journal::Magneto, 0, ligne);
            }
            continue;
        }
        octetsDepuisRepos_ += flux.OctetsLus();
        cadence.nbImages = flux.NbImages();
        cadence.dureeMs = flux.DureeMs();
        v.IntervalleImage = IntervalleImageMs(cadence.dureeMs, cadence.nbImages, cadence.vitesse);

        flux.Avancer(decodeur_.Synchroniser(type, flux.Donnees(), flux.Disponibles()));

        ImageDecodee image;
        for (;;) {
            CopierTexte(motDePasse, sizeof motDePasse, MotDePasseFilm);
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
                        return Suite::Fin;
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

            const int res = decodeur_.Decoder(type, flux.Donnees(), flux.Disponibles(), v.ImageSortie,
                                              TailleBufferImage, image);
            v.HauteurImage = decodeur_.HauteurImage();
            v.LargeurImage = decodeur_.LargeurImage();
            if (type == TypeH264) {
                char ligne[128];
                std::snprintf(ligne, sizeof ligne, "Décode = %d (%d, %d) : %.0f", image.resultat,
                              flux.Consomme() + image.decalage, flux.Tamponne(),
                              static_cast<double>(octetsDepuisRepos_ - flux.Tamponne() + 4));
                EcrireJournal(Journal::Magneto, 0, ligne);
            }
            if (res == 0 && !suivi.AMontrer()) {
                // A picture before the one asked for: decoded for the
                // pictures that refer to it, neither shown nor paced.
                flux.Avancer(image.octetsUtilises);
            } else if (res == 0) {
                // Pacing starts from the picture asked for.
                if (suivi.Exact() && cadence.imagesDecodees == 0)
                    cadence.debutRun = cadence.debutImage;
                if (image.taille > 0) {
                    v.TailleImageSortie = image.taille;
                    RemettreImage(v.ImageSortie, image.taille);
                }
                if (FlagLireTaille != 0 && image.hauteur > 0 && image.largeur > 0) {
                    HauteurFilm = image.hauteur;
                    LargeurFilm = image.largeur;
                    FlagLireTaille = 0;
                }
                ++cadence.imagesDecodees;
                const int64_t nbImages = suivi.Exact() ? suivi.Depart().nbImages : cadence.nbImages;
                const double pourcent = PourcentagePourImages(cadence.imagesDecodees, flux.ImageBase(),
                                                              static_cast<uint32_t>(nbImages));
                {
                    const int r = PrendreMutexVoie(voie);
                    v.PourcentFilm = pourcent;
                    if (r == 0)
                        RendreMutexVoie(voie);
                }
                NoterImageMontree(voie, static_cast<int64_t>(flux.ImageBase()) + cadence.imagesDecodees - 1,
                                  suivi.Exact(), cadence.dureeMs, nbImages);
                cadence.maintenant = Maintenant();
                const int32_t attente = AttenteImageMs(cadence);
                // A single-picture run ends on the first picture it could
                // show (a JPEG the decoder rejected shows nothing) and is
                // not paced.
                if (imageUnique && image.taille > 0)
                    break;
                if (!imageUnique && attente > 0 && !Dormir(attente))
                    return Suite::Fin;
                flux.Avancer(image.octetsUtilises);
            } else {
                if (type == TypeH264 && !Dormir(AttenteEchecH264Ms))
                    return Suite::Fin;
                flux.Avancer(image.decalage);
                flux.Avancer(SautApresEchec(type, flux.Donnees(), flux.Disponibles()));
            }
            flux.Compacter();

            if (DoitSArreter())
                return Suite::Fin;
            if (!flux.Reste())
                break;
            // A single-picture run goes on past failed or rejected pictures
            // until it has one to show, whatever FlagLecture says.
            if (!imageUnique && LireOctetVoie(voie, &::Voie::FlagLecture) == 0)
                break;
        }

        // Run end: report it, then wait for the window to stop playback or
        // to start it again.
        flux.Fermer();
        SignalerFinDeFilm();
        for (;;) {
            if (!Dormir(AttentePauseMs))
                return Suite::Fin;
            const int r = PrendreMutexVoie(voie);
            const bool attendre = v.FlagLecture != 0 && v.FlagFinDeFilm != 0;
            if (r == 0)
                RendreMutexVoie(voie);
            if (!attendre)
                break;
        }
        return Suite::Repos;
    }
}
