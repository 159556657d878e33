#include "engine/th_lecteur_magneto.h"

#include "codecs/bitmap.h"
#include "codecs/korcodecs.h"
#include "core/etat.h"
#include "core/journal.h"
#include "engine/cadence.h"
#include "engine/cible_image.h"
#include "engine/fichierfilm.h"
#include "engine/groupe_images.h"
#include "engine/lecture_exacte.h"
#include "engine/motdepasse.h"
#include "engine/prevision_sauts.h"
#include "engine/reperes.h"
#include "engine/th_indexeur.h"

#include "engine/index_images.h"
#include "engine/regle_retard.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <QApplication>
#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
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
      imageNoire_(new unsigned char[KOR_BITMAP_NOIRE_TAILLE]),
      frame_(av_frame_alloc()),
      prevision_(voie == 0 ? std::make_unique<PrevisionSauts>(KOR_PREMIER_DECODEUR_AVANCE) : nullptr)
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

void Th_Lecteur_Magneto::LibererFrame::operator()(AVFrame* f) const
{
    av_frame_free(&f);
}

double Th_Lecteur_Magneto::MaintenantPrecis()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
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
    if (v.FlagLecture != 0 && v.NumeroDemande == numeroRun_ && v.Sens == sens_)
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
        courant = courant && v.FlagLecture != 0 && v.Sens == sens_;
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
    bool reveille = false;
    while (!isInterruptionRequested()) {
        if (!reveille && !Dormir(1))
            return;
        reveille = false;
        Suite suite = Suite::Repos;
        switch (AttendreCommande()) {
        case Commande::Fin:
            return;
        case Commande::Attendre:
            continue;
        case Commande::Reveil:
            reveille = true;
            continue;
        case Commande::Lire:
            suite = Run(false);
            break;
        case Commande::ImageUnique:
            suite = Run(true);
            break;
        }
        finDernierRunMs_ = Maintenant();
        if (suite == Suite::Fin)
            return;
    }
}

// Idle step: while stopped, closes the decoder and takes a refresh request.
Th_Lecteur_Magneto::Commande Th_Lecteur_Magneto::AttendreCommande()
{
    const int voie = Voie();
    ::Voie& v = Voies[voie];
    // Taken before the commands are looked at: a command given after this
    // point ends the idle wait below at once.
    const uint64_t reveil = CompteurReveilVoie(voie);
    if (v.BufferImage == nullptr)
        return Dormir(AttenteReessaiMs) ? Commande::Attendre : Commande::Fin;
    if (LireOctetVoie(voie, &::Voie::FlagLecture) != 0)
        return Commande::Lire;

    // The decoder stays open with a kept stream, for the next picture step,
    // as long as the film stays the same.
    if (suiteValide_ && (std::strcmp(cheminSuite_, v.CheminFilm) != 0 || typeSuite_ != v.TypeFilm))
        OublierSuite();
    if (tenues_ && (std::strcmp(cheminSuite_, v.CheminFilm) != 0 || typeSuite_ != v.TypeFilm))
        tenues_.reset();
    if (decodeur_.Ouvert() && !suiteValide_ && !tenues_) {
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
    if (rafraichir == 0) {
        if (PrevoirUnPas())
            return Commande::Reveil;
        AttendreReveilVoie(voie, reveil, AttenteReposMs);
        if (DoitSArreter())
            return Commande::Fin;
        return CompteurReveilVoie(voie) != reveil ? Commande::Reveil : Commande::Attendre;
    }
    // With the film's index the picture asked for follows at once: no
    // blank flash between two picture steps.
    if (!IndexFilm(v.CheminFilm))
        MontrerImageNoire();
    return Commande::ImageUnique;
}

// Waits while the channel's playback is paused; `pause` tells whether it
// was. False when the thread must stop.
bool Th_Lecteur_Magneto::AttendreFinDePause(bool& pause)
{
    const int voie = Voie();
    const ::Voie& v = Voies[voie];
    for (;;) {
        const int r = PrendreMutexVoie(voie);
        const bool enPause = v.FlagPause != 0 && v.FlagLecture != 0;
        if (r == 0)
            RendreMutexVoie(voie);
        if (!enPause)
            return true;
        pause = true;
        if (!Dormir(AttentePauseMs))
            return false;
    }
}

bool Th_Lecteur_Magneto::PrevoirUnPas()
{
    if (!prevision_)
        return false;
    if (!prevoir_.load()) {
        prevision_->Oublier();
        return false;
    }
    if (Maintenant() - finDernierRunMs_ < DelaiPrevisionMs)
        return false;
    const int voie = Voie();
    const ::Voie& v = Voies[voie];
    int32_t seconde = 0;
    uint32_t duree = 0;
    {
        const int r = PrendreMutexGeneral();
        seconde = v.SecondeDepart;
        duree = v.DureeFilm;
        if (r == 0)
            RendreMutexGeneral();
    }
    int64_t montree = -1;
    bool seul = true;
    {
        const int r = PrendreMutexVoie(voie);
        montree = v.ImageMontree;
        seul = v.GarderLePas == 0;
        if (r == 0)
            RendreMutexVoie(voie);
    }
    // An MJPEG picture is its own key picture: a seek decodes it alone.
    const int type = v.TypeFilm;
    std::shared_ptr<const IndexImages> index;
    if (seul && (type == TypeH264 || type == TypeMpeg4))
        index = IndexFilm(v.CheminFilm);
    if (!index) {
        prevision_->Oublier();
        return false;
    }
    char motDePasse[LongueurMotDePasse + 1];
    CopierTexte(motDePasse, sizeof motDePasse, v.MotDePasseFilm);
    const std::vector<DepartExact> cibles = CiblesDesSauts(*index, seconde, duree, montree);
    prevision_->Viser(v.CheminFilm, type, motDePasse, std::move(index), cibles);
    // A protected film whose password is not accepted decodes to nothing.
    if (!prevision_->AFaire() || VerifierMotDePasse(v.CheminFilm, motDePasse) < 0)
        return false;
    const bool fait = prevision_->Avancer();
    decodagesPrevus_.store(prevision_->NbDecodages());
    return fait;
}

bool Th_Lecteur_Magneto::MontrerImagePrevue(const DepartExact& depart, const char* chemin, int type,
                                            const char* motDePasse)
{
    if (!prevision_)
        return false;
    const std::shared_ptr<const IndexImages> index = IndexFilm(chemin);
    uint32_t dureeMs = 0;
    av_frame_unref(frame_.get());
    if (!prevision_->Prendre(chemin, type, motDePasse, index.get(), depart.image, decodeur_, flux_, frame_.get(),
                             dureeMs))
        return false;
    // The target's decoder and stream are the reader's now, after the
    // picture: the next step decodes one picture.
    suiteValide_ = true;
    imageSuivanteFlux_ = depart.image + 1;
    NoterFilmSuite(type, chemin);
    suivi_.Debuter(depart);
    if (RunCourant(true)) {
        ImageDecodee image;
        image.hauteur = frame_->height;
        image.largeur = frame_->width;
        MontrerImage(image, true, depart.image, dureeMs, static_cast<uint32_t>(depart.nbImages));
    }
    av_frame_unref(frame_.get());
    return true;
}

void Th_Lecteur_Magneto::NoterFilmSuite(int type, const char* chemin)
{
    typeSuite_ = type;
    CopierTexte(cheminSuite_, sizeof cheminSuite_, chemin);
}

void Th_Lecteur_Magneto::OublierSuite()
{
    flux_.Fermer();
    suiteValide_ = false;
    imageSuivanteFlux_ = -1;
}

bool Th_Lecteur_Magneto::MontrerImageTenue(const DepartExact& depart, const char* chemin, int type,
                                           const char* motDePasse)
{
    const int64_t k = depart.image;
    const AVFrame* f = tenues_ ? tenues_->Trouver(k) : nullptr;
    if (f == nullptr) {
        // Only a step back decodes and keeps a group: any other request
        // goes forwards from the key picture as usual.
        int64_t montree = -1;
        {
            const int r = PrendreMutexVoie(Voie());
            montree = Voies[Voie()].ImageMontree;
            if (r == 0)
                RendreMutexVoie(Voie());
        }
        if (k != montree - 1)
            return false;
        const std::shared_ptr<const IndexImages> index = IndexFilm(chemin);
        if (!index || k >= index->Nombre())
            return false;
        // The decoder's stream moves elsewhere: the kept one no longer follows.
        OublierSuite();
        if (!tenues_)
            tenues_.reset(new GroupeImages);
        tenues_->Preparer(depart.cle, k + 1, k + 1);
        int64_t tailleImage = 0;
        while (!tenues_->Complet()) {
            if (tenues_->DecoderSuivante(decodeur_, type, chemin, *index, motDePasse) < 0)
                break;
            if (!tenues_->Images().empty() && tailleImage == 0) {
                const AVFrame* p = tenues_->Images().back().frame.get();
                tailleImage = OctetsImageTenue(p->width, p->height);
            }
            // Beyond the room for kept pictures the oldest go.
            while (tailleImage > 0 && static_cast<int64_t>(tenues_->Images().size()) * tailleImage > MemoireImagesTenuesOctets)
                tenues_->Images().pop_front();
            if (DoitSArreter())
                return true;
        }
        NoterFilmSuite(type, chemin);
        f = tenues_->Trouver(k);
        if (f == nullptr)
            return false;
    }
    const std::shared_ptr<const IndexImages> index = IndexFilm(chemin);
    if (!index)
        return false;
    ImageDecodee image;
    image.hauteur = f->height;
    image.largeur = f->width;
    av_frame_unref(frame_.get());
    if (av_frame_ref(frame_.get(), f) < 0)
        return false;
    if (!RunCourant(true)) {
        av_frame_unref(frame_.get());
        return true;
    }
    MontrerImage(image, true, k, tenues_->DureeMs(), static_cast<uint32_t>(index->Nombre()));
    av_frame_unref(frame_.get());
    return true;
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
    sens_ = imageUnique ? 1 : (v.Sens < 0 ? -1 : 1);
    garderLePas_ = !imageUnique && v.GarderLePas != 0;
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
    // Playback needs no jump target; their memory goes back first.
    if (!imageUnique && prevision_)
        prevision_->Oublier();

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
        if (!imageUnique && sens_ < 0)
            return RunArriere(chemin, type, seconde, dureeSecondes);

        // A protected film whose password is not accepted decodes to
        // nothing: the single picture stays blank.
        if (imageUnique && VerifierMotDePasse(chemin, motDePasse) < 0)
            return Suite::Repos;

        const DepartExact depart = DepartExactDuRun(voie, chemin, seconde, dureeSecondes, imageUnique);
        if (imageUnique && depart.exact && MontrerImageTenue(depart, chemin, type, motDePasse))
            return Suite::Repos;
        // The picture right after the kept stream's: no need to decode its
        // key group again.
        const bool suite = depart.exact && suiteValide_ && depart.image == imageSuivanteFlux_ && type == typeSuite_
                           && std::strcmp(chemin, cheminSuite_) == 0 && decodeur_.Ouvert();
        if (imageUnique && !suite && depart.exact && MontrerImagePrevue(depart, chemin, type, motDePasse))
            return Suite::Repos;
        if (!imageUnique && tenues_)
            tenues_.reset(); // their memory goes back before playback
        if (suite) {
            DepartExact d = depart;
            d.cle = depart.image;
            suivi_.Debuter(d);
            flux_.FixerImageBase(static_cast<uint32_t>(depart.image));
        } else {
            OublierSuite();
            const OuvertureFlux ouverture =
                OuvrirFluxDepuis(flux_, suivi_, depart, chemin, seconde, dureeSecondes, motDePasse);
            if (ouverture != FluxOuvert) {
                if (ouverture == FluxSansFichier && !imageUnique)
                    MontrerImageNoire();
                if (ouverture == FluxSansMemoire) {
                    char ligne[128];
                    std::snprintf(ligne, sizeof ligne, "Erreur Allocation-1 %d / %lld", flux_.ErreurSysteme(),
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
            octetsDepuisRepos_ += flux_.OctetsLus();
            flux_.Avancer(decodeur_.Synchroniser(type, flux_.Donnees(), flux_.Disponibles()));
        }
        FluxFilm& flux = flux_;
        cadence.nbImages = flux.NbImages();
        cadence.dureeMs = flux.DureeMs();
        v.IntervalleImage = IntervalleImageMs(cadence.dureeMs, cadence.nbImages, cadence.vitesse);

        const std::shared_ptr<const IndexImages> index = suivi_.Exact() ? IndexFilm(chemin) : nullptr;
        imageSuivanteFlux_ = -1;
        const FinBoucle fin = BouclerImages(flux, cadence, type, imageUnique, index.get());
        // An exact run that stopped between two pictures keeps its stream.
        if (suivi_.Exact() && imageSuivanteFlux_ >= 0 && flux.Reste()
            && (fin == FinBoucle::Commande || (imageUnique && fin == FinBoucle::FinDesDonnees))) {
            suiteValide_ = true;
            NoterFilmSuite(type, chemin);
        } else {
            OublierSuite();
        }
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
// its picture or given up. A playing run keeps the film time on screen at
// the chosen speed by the late-picture rule (regle_retard.h): a picture
// that is late is decoded but neither converted nor handed over, an MJPEG
// picture that would be late is not decoded at all, and where decoding
// alone cannot keep up the run walks to the next key picture.
Th_Lecteur_Magneto::FinBoucle Th_Lecteur_Magneto::BouclerImages(FluxFilm& flux, EtatCadence& cadence, int type,
                                                                bool imageUnique, const IndexImages* index)
{
    const int voie = Voie();
    ::Voie& v = Voies[voie];
    char motDePasse[LongueurMotDePasse + 1];
    int64_t octetsCherches = 0; // single picture: bytes gone past without a picture to show
    int echecs = 0;             // single picture: pictures that showed nothing
    const bool yuv = type == TypeMpeg4 || type == TypeH264;
    ImageDecodee image;
    // Pictures are due from the anchor on: the run's first picture, then
    // the first one after a pause or a speed change (no burst to catch up).
    bool ancree = false;
    double ancreMs = 0;
    int64_t ancreImage = 0;
    int64_t passees = 0; // pictures of the run from the first one to show, decoded or walked over
    double dernierMontreMs = -1.0e18;
    // Without the index: the last key picture met and the length of the
    // last key group, to guess where the next one is.
    int64_t derniereCle = -1, longueurGroupe = 0;
    const auto noterCle = [&](int64_t numero) {
        if (derniereCle >= 0 && numero > derniereCle)
            longueurGroupe = numero - derniereCle;
        derniereCle = numero;
    };
    for (;;) {
        CopierTexte(motDePasse, sizeof motDePasse, v.MotDePasseFilm);
        octetsDepuisRepos_ += flux.Remplir(motDePasse);

        if (!imageUnique) {
            bool pause = false;
            if (!AttendreFinDePause(pause))
                return FinBoucle::Fin;
            if (pause)
                ancree = false;
        }

        cadence.debutImage = Maintenant();
        const double vitesse = LireVitesse();
        if (vitesse != cadence.vitesse) {
            cadence.vitesse = vitesse;
            ancree = false;
        }
        cadence.intervalle = IntervalleImageMs(cadence.dureeMs, cadence.nbImages, cadence.vitesse);
        v.IntervalleImage = cadence.intervalle;
        const double intervalle = IntervalleReelMs(cadence.dureeMs, cadence.nbImages, cadence.vitesse);
        const bool toutMontrer = imageUnique || (!(cadence.vitesse > 1.0) && !garderLePas_);
        const double debutMs = MaintenantPrecis();

        // Only once the run shows pictures, at a speed where some may be
        // passed by.
        if (ancree && !toutMontrer) {
            const int64_t ecart = passees - ancreImage;
            if (type == TypeMjpeg) {
                EtatImage e;
                e.intervalleMs = intervalle;
                e.maintenantMs = debutMs - ancreMs;
                e.ecart = ecart;
                e.dernierMontreMs = dernierMontreMs - ancreMs;
                if (ChoisirImage(e) == ChoixImage::Passer
                    && decodeur_.PasserJpeg(flux.Donnees(), flux.Disponibles(), image) == 0) {
                    suivi_.AMontrer();
                    ++passees;
                    flux.Avancer(image.octetsUtilises);
                    imageSuivanteFlux_ = static_cast<int64_t>(flux.ImageBase()) + passees;
                    flux.Compacter();
                    if (DoitSArreter())
                        return FinBoucle::Fin;
                    if (!flux.Reste())
                        return FinBoucle::FinDesDonnees;
                    if (!RunCourant(false))
                        return FinBoucle::Commande;
                    continue;
                }
            } else if (yuv) {
                EtatSaut s;
                s.intervalleMs = intervalle;
                s.maintenantMs = debutMs - ancreMs;
                s.ecart = ecart;
                s.coutImageMs = coutDecodageMs_;
                const int64_t suivante = static_cast<int64_t>(flux.ImageBase()) + passees;
                const int64_t cle = index != nullptr ? index->CleAuPlusTot(suivante + 1)
                                                     : CleEstimee(derniereCle, longueurGroupe, suivante);
                s.ecartCle = cle >= 0 ? ecart + (cle - suivante) : -1;
                if (!(index != nullptr && cle < 0) && SauterALaCle(s)) {
                    imageSuivanteFlux_ = -1;
                    if (!AllerALaCle(flux, type, passees))
                        return DoitSArreter() ? FinBoucle::Fin : FinBoucle::FinDesDonnees;
                    imageSuivanteFlux_ = static_cast<int64_t>(flux.ImageBase()) + passees;
                    if (!RunCourant(false))
                        return FinBoucle::Commande;
                    continue;
                }
            }
        }

        const int res = yuv ? decodeur_.DecoderSansConvertir(type, flux.Donnees(), flux.Disponibles(), frame_.get(), image)
                            : decodeur_.Decoder(type, flux.Donnees(), flux.Disponibles(), v.ImageSortie,
                                                TailleBufferImage, image);
        if (res == 0 && yuv)
            coutDecodageMs_ = MoyenneCout(coutDecodageMs_, MaintenantPrecis() - debutMs);
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
            ++passees;
            if (image.cle)
                noterCle(static_cast<int64_t>(flux.ImageBase()) + passees - 1);
            const double decodeeMs = MaintenantPrecis();
            // The anchor picture's hand-over may be slow (first picture,
            // window coming up): the clock starts once it is on screen.
            const bool premiere = !ancree;
            if (premiere) {
                ancree = true;
                ancreMs = decodeeMs;
                ancreImage = passees - 1;
            }
            EtatImage e;
            e.intervalleMs = intervalle;
            e.maintenantMs = decodeeMs - ancreMs;
            e.ecart = passees - 1 - ancreImage;
            e.dernierMontreMs = dernierMontreMs - ancreMs;
            e.toutMontrer = toutMontrer;
            if (ChoisirImage(e) == ChoixImage::Montrer) {
                const int64_t numero = static_cast<int64_t>(flux.ImageBase()) + passees - 1;
                const uint32_t nbImages =
                    suivi_.Exact() ? static_cast<uint32_t>(suivi_.Depart().nbImages) : cadence.nbImages;
                const int32_t taille = MontrerImage(image, yuv, numero, cadence.dureeMs, nbImages);
                dernierMontreMs = MaintenantPrecis();
                if (premiere)
                    ancreMs = dernierMontreMs;
                // A single-picture run ends on the first picture it could
                // show (a JPEG the decoder rejected shows nothing) and is
                // not paced; its stream stays after that picture.
                if (imageUnique && taille > 0) {
                    av_frame_unref(frame_.get());
                    flux.Avancer(image.octetsUtilises);
                    flux.Compacter();
                    imageSuivanteFlux_ = numero + 1;
                    return FinBoucle::FinDesDonnees;
                }
                e.maintenantMs = dernierMontreMs - ancreMs;
                const double attente = std::min<double>(AttenteApresImageMs(e), AttenteMaxImageMs);
                if (!imageUnique && attente >= 1.0 && !Dormir(static_cast<int>(attente)))
                    return FinBoucle::Fin;
            }
            flux.Avancer(image.octetsUtilises);
            imageSuivanteFlux_ = static_cast<int64_t>(flux.ImageBase()) + passees;
            octetsCherches += image.octetsUtilises;
            ++echecs;
        } else {
            imageSuivanteFlux_ = -1;
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
        if (yuv)
            av_frame_unref(frame_.get());
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

bool Th_Lecteur_Magneto::AllerALaCle(FluxFilm& flux, int type, int64_t& passees)
{
    char motDePasse[LongueurMotDePasse + 1];
    for (;;) {
        flux.Compacter();
        CopierTexte(motDePasse, sizeof motDePasse, Voies[Voie()].MotDePasseFilm);
        octetsDepuisRepos_ += flux.Remplir(motDePasse);
        PlaceImage p;
        if (PlacerImage(type, flux.Donnees(), flux.Disponibles(), p) != 0)
            return false;
        if (p.cle) {
            flux.Avancer(p.debut);
            decodeur_.chercherImageSuivante = true;
            return true;
        }
        flux.Avancer(p.fin);
        suivi_.AMontrer();
        ++passees;
        if (DoitSArreter() || !flux.Reste())
            return false;
    }
}

int32_t Th_Lecteur_Magneto::MontrerImage(const ImageDecodee& image, bool frame, int64_t numero, uint32_t dureeMs,
                                         uint32_t nbImages)
{
    ::Voie& v = Voies[Voie()];
    int32_t taille = image.taille;
    if (frame && decodeur_.Convertir(frame_.get(), v.ImageSortie, TailleBufferImage, &taille) != 0)
        taille = 0;
    // Noted before the hand-over: the window reads, while it takes the
    // picture, which picture it is.
    NoterImage(numero, dureeMs, nbImages);
    if (taille > 0) {
        v.TailleImageSortie = taille;
        RemettreImage(v.ImageSortie, taille);
    }
    NoterProgression(numero, nbImages);
    if (v.FlagLireTaille != 0 && image.hauteur > 0 && image.largeur > 0) {
        v.HauteurFilm = image.hauteur;
        v.LargeurFilm = image.largeur;
        v.FlagLireTaille = 0;
    }
    return taille;
}

// Before each good picture is handed over: which picture it is, read by
// the window while it takes it, and by the sound and the measures.
void Th_Lecteur_Magneto::NoterImage(int64_t numero, uint32_t dureeMs, uint32_t nbImages)
{
    const int r = PrendreMutexVoie(Voie());
    ::Voie& v = Voies[Voie()];
    v.ImageMontree = numero;
    v.MsImageMontree = MsDeLImage(numero, dureeMs, nbImages);
    v.ImageMontreeExacte = suivi_.Exact() ? 1 : 0;
    v.RunImageMontree = numeroRun_;
    if (r == 0)
        RendreMutexVoie(Voie());
}

// After it: the progress of the picture shown, read by the display tick.
void Th_Lecteur_Magneto::NoterProgression(int64_t numero, uint32_t nbImages)
{
    const double pourcent = PourcentagePourImages(static_cast<uint32_t>(numero + 1), 0, nbImages);
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
        const bool attendre = v.FlagLecture != 0 && (sens_ < 0 ? v.FlagDebutDeFilm : v.FlagFinDeFilm) != 0
                              && v.NumeroDemande == numeroRun_ && v.Sens == sens_;
        if (r == 0)
            RendreMutexVoie(voie);
        if (!attendre)
            return Suite::Repos;
    }
}
