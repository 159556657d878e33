#include "ui/mosaique.h"

#include "core/boitemessage.h"
#include "core/etat.h"
#include "core/ouverture.h"
#include "engine/fichierfilm.h"
#include "engine/horloge_calcul.h"
#include "engine/index_images.h"
#include "engine/motdepasse.h"
#include "engine/th_indexeur.h"
#include "engine/th_lecteur_magneto.h"
#include "ui/dialogues.h"
#include "ui/horloge.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/mosaique_calcul.h"
#include "ui/navigation.h"
#include "ui/oxbouton.h"
#include "ui/selection_calcul.h"
#include "ui/transport_calcul.h"
#include "ui/tuile.h"

#include <QCheckBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace {

const char* const TexteHeureIncorrecte = "Heure incorrecte : tapez hh:mm:ss";
const char* const TexteHorsDesFilms = "Cette heure n'est dans aucun des films";

// The film description of a channel, swapped whole between two channels.
void EchangerFilms(Voie& a, Voie& b)
{
    std::swap(a.CheminFilm, b.CheminFilm);
    std::swap(a.TypeFilm, b.TypeFilm);
    std::swap(a.NbImagesFilm, b.NbImagesFilm);
    std::swap(a.DureeFilm, b.DureeFilm);
    std::swap(a.DateDebutFilm, b.DateDebutFilm);
    std::swap(a.DateFinFilm, b.DateFinFilm);
    std::swap(a.FlagDatesFilm, b.FlagDatesFilm);
    std::swap(a.MotDePasseFilm, b.MotDePasseFilm);
    std::swap(a.SecondeDepart, b.SecondeDepart);
    std::swap(a.FlagLireTaille, b.FlagLireTaille);
    std::swap(a.HauteurFilm, b.HauteurFilm);
    std::swap(a.LargeurFilm, b.LargeurFilm);
}

void DecrireVoie(Voie& v, const FilmTuile& f)
{
    CopierTexte(v.CheminFilm, sizeof v.CheminFilm, f.chemin.c_str());
    v.TypeFilm = f.type;
    v.NbImagesFilm = f.nbImages;
    v.DureeFilm = f.dureeMs / 1000;
    v.DateDebutFilm = f.dateDebut;
    v.DateFinFilm = f.dateFin;
    v.FlagDatesFilm = f.dates ? 1 : 0;
    v.MotDePasseFilm[0] = 0;
    v.SecondeDepart = 0;
    v.FlagLireTaille = 1;
}

} // namespace

FilmTuile ExaminerFilm(const std::string& chemin)
{
    FilmTuile f;
    f.chemin = chemin;
    // The window's own checks and messages: a path too long is refused,
    // never cut; only a regular file is a film.
    if (chemin.size() > size_t(LongueurCheminFilm)) {
        f.erreur = "Erreur d'ouverture de fichier";
        return f;
    }
    f.type = TypeFilmPourExtension(chemin.c_str());
    if (f.type < 0) {
        f.erreur = "Fichier vidéo incorrect";
        return f;
    }
    FILE* fichier = OuvrirFichierOrdinaire(chemin.c_str());
    if (!fichier) {
        f.erreur = "Erreur d'ouverture de fichier";
        return f;
    }
    std::fclose(fichier);
    EnteteFilm entete;
    if (LireEnteteFilm(chemin, entete) != 0 || entete.DureeMs / 1000 == 0) {
        f.erreur = "Fichier vidéo incorrect";
        return f;
    }
    f.nbImages = entete.NbImages;
    f.dureeMs = entete.DureeMs;
    const DatesFilm dates = LireDatesFilm(chemin);
    f.dates = dates.Presentes;
    f.dateDebut = dates.Debut;
    f.dateFin = dates.Fin;
    f.valide = true;
    return f;
}

Mosaique::Mosaique(TLecteurZR7_Principale* fenetre)
    : QObject(fenetre), f_(fenetre), horloge_(new THorloge(this)), minuterie_(new QTimer(this))
{
    horloge_->Attendre = [this](int ms) { f_->Attendre(ms); };
    minuterie_->setInterval(IntervalleMosaiqueMs);
    connect(minuterie_, &QTimer::timeout, this, &Mosaique::Suivre);
    connect(horloge_, &THorloge::TempsChange, this, [this] {
        MettreAJourTuiles();
        MontrerTemps();
    });
}

// Called by the window's destruction while the window is whole.
Mosaique::~Mosaique()
{
    // Not Fermer: the measure windows may be gone already, the layout is
    // the window's last concern.
    ArreterVoies();
    for (int v = 1; v < NbVoies; ++v) {
        indexeurs_[v].reset();
        lecteurs_[v].reset(); // waits, running the hand-overs still addressed here
        if (Voies[v].BufferImage == images_[v].get()) {
            Voies[v].BufferImage = Voies[v].ImageSortie = nullptr;
            FermerMutexVoie(v);
        }
    }
}

// Channel v (1 to 3) gets its buffer, lock, reader and indexer once.
void Mosaique::PreparerVoie(int v)
{
    if (v <= 0 || v >= NbVoies || lecteurs_[v])
        return;
    images_[v].reset(new (std::nothrow) unsigned char[TailleBufferImage]);
    Voies[v].BufferImage = Voies[v].ImageSortie = images_[v].get();
    CreerMutexVoie(v);
    lecteurs_[v] = std::make_unique<Th_Lecteur_Magneto>(v);
    indexeurs_[v] = std::make_unique<Th_Indexeur>(PlafondIndexImages, v);
}

void Mosaique::Ouvrir(const std::vector<std::string>& chemins)
{
    const ChoixFilms choix = ChoisirFilms(chemins);
    if (choix.coupe)
        AfficherMessage(TexteTropDeFilms, std::string(), f_);
    if (choix.films.empty())
        return;
    Fermer();
    f_->TimerPub->stop();
    f_->TimerPlay->stop();
    f_->TimerPlay2->stop();
    f_->StopPlayback();
    f_->Attendre(AttenteArretLecteurMs);
    FlagLireTaille = 1;
    if (choix.films.size() == 1) {
        f_->ChargerFilm(choix.films.front(), true);
        return;
    }

    // Channel 0 takes the first good film (it is selected), the others
    // follow in tile order.
    films_.clear();
    voies_.clear();
    int prochaine = 1;
    bool zeroPris = false;
    for (const std::string& c : choix.films) {
        films_.push_back(ExaminerFilm(c));
        int voie = -1;
        if (films_.back().valide)
            voie = zeroPris ? prochaine++ : 0;
        zeroPris = zeroPris || voie == 0;
        voies_.push_back(voie);
    }
    if (!zeroPris) {
        // Not one film can be shown: each says why, the window has none.
        f_->SetUpFilm(false);
    }
    for (size_t i = 0; i < films_.size(); ++i) {
        auto* tuile = new TTuile(static_cast<int>(i), f_->PanelImage);
        connect(tuile, &TTuile::Clic, this, &Mosaique::Selectionner);
        connect(tuile, &TTuile::DoubleClic, this, &Mosaique::BasculerSeule);
        tuiles_.push_back(tuile);
        const int v = voies_[i];
        if (v < 0) {
            tuile->MontrerTexte(TTuile::Etat::Erreur, QString::fromUtf8(films_[i].erreur.c_str()));
            continue;
        }
        if (v == 0) {
            // The window's own loading: controls, sound, measures, password
            // field and the film's index.
            f_->ChargerFilm(films_[i].chemin, false);
            tuile->FixerSelectionnee(true);
            tuile->FixerMiroir(f_->Image1);
        } else {
            PreparerVoie(v);
            DecrireVoie(Voies[v], films_[i]);
            if (indexeurs_[v])
                indexeurs_[v]->Demander(Voies[v].CheminFilm, Voies[v].TypeFilm);
        }
        CiblesImage[v] = tuile;
    }
    FixerPistes();
    f_->NavigationFenetre->LabelImage->hide();
    f_->LayoutPicture();
    for (TTuile* t : tuiles_)
        t->show();
    horloge_->Aller(horloge_->Etendue().debut);
    minuterie_->start();
}

void Mosaique::FixerPistes()
{
    std::vector<PisteHorloge> pistes;
    std::vector<FilmHorloge> films;
    for (size_t i = 0; i < films_.size(); ++i) {
        FilmHorloge h;
        if (voies_[i] >= 0) {
            h.nbImages = films_[i].nbImages;
            h.dureeMs = films_[i].dureeMs;
            h.dates = films_[i].dates;
            h.dateDebut = films_[i].dateDebut;
        }
        films.push_back(h);
    }
    const std::vector<PlageHorloge> plages = PlacerFilms(films);
    for (size_t i = 0; i < films_.size(); ++i)
        pistes.push_back(PisteHorloge{voies_[i], films[i], plages[i]});
    horloge_->FixerPistes(pistes);
    horloge_->FixerSelection(TuileSelectionnee());

    const PlageHorloge e = horloge_->Etendue();
    const int secondes = e.valide ? static_cast<int>((e.fin - e.debut) / 1000000) : 0;
    const QSignalBlocker bloque(f_->CurseurMinutes1);
    f_->CurseurMinutes1->setEnabled(e.valide);
    f_->CurseurMinutes1->setMaximum(std::max(1, secondes));
    f_->CurseurMinutes1->setTickInterval(EcartGraduations(static_cast<uint32_t>(secondes)));
    f_->CurseurMinutes1->setValue(0);
    f_->BoutonPlay1->SetEnabled(e.valide);
    f_->BoutonDebut1->SetEnabled(e.valide);
}

void Mosaique::Fermer()
{
    if (tuiles_.empty())
        return;
    ArreterVoies();
    f_->LayoutPicture();
}

void Mosaique::ArreterVoies()
{
    if (tuiles_.empty())
        return;
    minuterie_->stop();
    horloge_->Arreter();
    for (size_t i = 0; i < voies_.size(); ++i) {
        const int v = voies_[i];
        if (v < 0)
            continue;
        const int r = PrendreMutexVoie(v);
        Voies[v].FlagLecture = 0;
        Voies[v].Sens = 1;
        Voies[v].GarderLePas = 0;
        ++Voies[v].NumeroDemande;
        if (r == 0)
            RendreMutexVoie(v);
        if (v > 0) {
            Voies[v].CheminFilm[0] = 0;
            if (indexeurs_[v])
                indexeurs_[v]->Demander("", -1);
        }
        CiblesImage[v] = nullptr;
    }
    ImageAffichage = f_->Image1;
    // A hand-over already queued for a tile runs, or is dropped, safely.
    for (TTuile* t : tuiles_) {
        t->hide();
        t->deleteLater();
    }
    tuiles_.clear();
    voies_.clear();
    films_.clear();
    seule_ = -1;
    horloge_->FixerPistes({});
    horloge_->FixerSens(1);
}

int Mosaique::TuileSelectionnee() const
{
    for (size_t i = 0; i < voies_.size(); ++i)
        if (voies_[i] == 0)
            return static_cast<int>(i);
    return 0;
}

bool Mosaique::Disposer()
{
    if (tuiles_.empty())
        return false;
    const QRect zone = f_->PanelImage->rect();
    // "Taille réelle" shows the selected tile's film at its own size in its
    // tile, the others stay fitted (full screen fits, as a single film).
    const bool reelle = !FlagMasque && f_->FlagTailleReelle->isChecked();
    for (size_t i = 0; i < tuiles_.size(); ++i)
        tuiles_[i]->FixerTailleReelle(reelle && int(i) == TuileSelectionnee());
    // Full screen shows the selected tile, as a double-click does.
    const int seule = FlagMasque ? TuileSelectionnee() : seule_;
    if (seule >= 0) {
        for (size_t i = 0; i < tuiles_.size(); ++i) {
            tuiles_[i]->setVisible(int(i) == seule);
            if (int(i) == seule)
                tuiles_[i]->setGeometry(zone);
        }
        return true;
    }
    const std::vector<Boite> cellules = CellulesMosaique(NbTuiles(), zone.width(), zone.height());
    for (size_t i = 0; i < tuiles_.size() && i < cellules.size(); ++i) {
        const Boite& c = cellules[i];
        tuiles_[i]->setGeometry(c.gauche, c.haut, c.largeur, c.hauteur);
        tuiles_[i]->setVisible(true);
        tuiles_[i]->raise();
    }
    return true;
}

void Mosaique::Jouer()
{
    f_->MotDePasseChange();
    horloge_->Jouer();
    f_->BoutonPlay1->hide();
    f_->BoutonStop1->show();
    f_->BoutonDebut1->SetEnabled(false);
}

void Mosaique::Pause()
{
    horloge_->Pause();
    f_->BoutonPlay1->show();
    f_->BoutonStop1->hide();
    f_->BoutonDebut1->SetEnabled(true);
}

void Mosaique::Debut()
{
    Pause();
    horloge_->Aller(horloge_->Etendue().debut);
}

void Mosaique::CurseurRelache()
{
    Pause();
    horloge_->Aller(horloge_->Etendue().debut + int64_t(f_->CurseurMinutes1->value()) * 1000000);
}

void Mosaique::AllerA()
{
    const bool dates = TexteDateHeure(horloge_->Etendue().debut).rfind("30/12/1899", 0) != 0;
    DemandeTexte d;
    d.titre = QString::fromUtf8("Aller à…");
    d.libelle = dates ? QStringLiteral("Heure (hh:mm:ss) :") : QString::fromUtf8("Temps depuis le début (hh:mm:ss) :");
    d.texte = QString::fromStdString(TexteHeure(horloge_->Temps()));
    d.parent = f_;
    QString reponse;
    if (!DemanderTexte(d, reponse))
        return;
    const int secondes = LireHeureSaisie(reponse.toStdString(), dates);
    if (secondes < 0) {
        AfficherMessage(TexteHeureIncorrecte, std::string(), f_);
        return;
    }
    const int64_t t = TempsPourAllerA(secondes, horloge_->Etendue(), dates);
    if (t < 0) {
        AfficherMessage(TexteHorsDesFilms, std::string(), f_);
        return;
    }
    Pause();
    horloge_->Aller(t);
}

bool Mosaique::Executer(ActionTouche action)
{
    if (!horloge_->Etendue().valide)
        return false;
    const int64_t t = horloge_->Temps();
    switch (action) {
    case ActionTouche::Aucune:
        return false;
    case ActionTouche::LecturePause:
        if (horloge_->EnLecture())
            Pause();
        else
            Jouer();
        return true;
    case ActionTouche::Reculer5:
    case ActionTouche::Avancer5:
    case ActionTouche::Avancer60:
    case ActionTouche::Reculer60: {
        const int saut = action == ActionTouche::Reculer5   ? -SautCourtSecondes
                         : action == ActionTouche::Avancer5 ? SautCourtSecondes
                         : action == ActionTouche::Avancer60 ? SautLongSecondes
                                                             : -SautLongSecondes;
        Pause();
        horloge_->Aller(t + int64_t(saut) * 1000000);
        return true;
    }
    case ActionTouche::Debut:
        Debut();
        return true;
    case ActionTouche::ImageSuivante:
    case ActionTouche::ImagePrecedente: {
        const bool jouait = horloge_->EnLecture();
        const bool fait = horloge_->Pas(action == ActionTouche::ImageSuivante ? 1 : -1);
        if (jouait)
            Pause();
        return fait;
    }
    case ActionTouche::AllerA:
        AllerA();
        return true;
    }
    return false;
}

// The clicked tile's film moves to channel 0, the selected one's to the
// clicked tile's channel: sound, measures, exports and the snapshot follow.
void Mosaique::Selectionner(int tuile)
{
    if (tuile < 0 || tuile >= NbTuiles() || voies_[size_t(tuile)] <= 0)
        return;
    const int ancienne = TuileSelectionnee();
    const int v = voies_[size_t(tuile)];
    const bool jouait = horloge_->EnLecture();
    horloge_->Pause();
    const int64_t t = horloge_->Temps();
    horloge_->Arreter();
    f_->MotDePasseChange();
    EchangerFilms(Voies[0], Voies[v]);
    std::swap(voies_[size_t(tuile)], voies_[size_t(ancienne)]);
    CiblesImage[0] = tuiles_[size_t(tuile)];
    CiblesImage[v] = tuiles_[size_t(ancienne)];
    tuiles_[size_t(ancienne)]->FixerSelectionnee(false);
    tuiles_[size_t(ancienne)]->FixerMiroir(nullptr);
    tuiles_[size_t(tuile)]->FixerSelectionnee(true);
    tuiles_[size_t(tuile)]->FixerMiroir(f_->Image1);
    if (!tuiles_[size_t(tuile)]->Picture().isNull())
        f_->Image1->FixerImage(tuiles_[size_t(tuile)]->Picture());
    MontrerCompagnons();
    std::vector<PisteHorloge> pistes = horloge_->Pistes();
    std::swap(pistes[size_t(tuile)].voie, pistes[size_t(ancienne)].voie);
    horloge_->FixerPistes(pistes);
    horloge_->FixerSelection(tuile);
    Disposer(); // "Taille réelle" follows the selection
    horloge_->Aller(t);
    if (jouait)
        Jouer();
}

// Sound, measures and password of the film now on channel 0, as the
// window sets them for a film it loads.
void Mosaique::MontrerCompagnons()
{
    const int r = PrendreMutexVoie(0);
    Voies[0].FlagSonActif = 0;
    Voies[0].FlagSonEcoute = 0;
    if (r == 0)
        RendreMutexVoie(0);
    const std::string son = NomCompagnon(CheminFilm, "pcm");
    CopierTexte(Voies[0].CheminSon, sizeof Voies[0].CheminSon, son.c_str());
    f_->BoutonSonOff1->hide();
    f_->BoutonSonOn1->setVisible(EstFichierOrdinaire(son));
    Voies[0].FlagMesuresPresentes = EstFichierOrdinaire(NomCompagnon(CheminFilm, "msr")) ? 1 : 0;
    const QSignalBlocker bloque(f_->MotDePasse);
    f_->MotDePasse->setText(QString::fromUtf8(MotDePasseFilm));
}

void Mosaique::BasculerSeule(int tuile)
{
    if (tuile < 0 || tuile >= NbTuiles())
        return;
    seule_ = seule_ == tuile ? -1 : tuile;
    Disposer();
}

void Mosaique::MettreAJourTuiles()
{
    for (size_t i = 0; i < tuiles_.size(); ++i) {
        const int v = voies_[i];
        if (v < 0)
            continue;
        TTuile* tuile = tuiles_[i];
        const Voie& voie = Voies[v];
        // A protected film waits for its password (typed on the selected tile).
        if (FicheDuFilm(voie.CheminFilm) && VerifierMotDePasse(voie.CheminFilm, voie.MotDePasseFilm) < 0) {
            tuile->MontrerTexte(TTuile::Etat::MotDePasse, QString::fromUtf8(TexteTuileMotDePasse));
            continue;
        }
        if (!horloge_->ImageDe(static_cast<int>(i)).presente) {
            const PisteHorloge& p = horloge_->Pistes()[i];
            tuile->MontrerTexte(TTuile::Etat::SansEnregistrement,
                                QString::fromUtf8(TexteSansEnregistrement(p.plage, p.film.dates).c_str()));
            continue;
        }
        tuile->MontrerImages();
    }
}

int Mosaique::SecondeDuFilmSelectionne() const
{
    const int i = TuileSelectionnee();
    if (i < 0 || i >= static_cast<int>(horloge_->Pistes().size()))
        return 0;
    const PisteHorloge& p = horloge_->Pistes()[size_t(i)];
    return SecondeDuFilm(p.film, p.plage, horloge_->Temps());
}

QString Mosaique::TexteLecture() const
{
    const PlageHorloge& e = horloge_->Etendue();
    if (!e.valide)
        return QString();
    bool dates = false;
    for (const FilmTuile& f : films_)
        dates = dates || (f.valide && f.dates);
    std::string texte = dates ? TexteDateHeure(horloge_->Temps()) : TexteHeure(horloge_->Temps() - e.debut);
    for (size_t i = 0; i < tuiles_.size(); ++i) {
        char morceau[64];
        const ImageHorloge a = horloge_->ImageDe(static_cast<int>(i));
        if (voies_[i] < 0)
            std::snprintf(morceau, sizeof morceau, "   %d : -", int(i) + 1);
        else if (!a.presente)
            std::snprintf(morceau, sizeof morceau, "   %d : pas d'enregistrement", int(i) + 1);
        else
            std::snprintf(morceau, sizeof morceau, "   %d : %s", int(i) + 1, TexteImage(a.image, a.nbImages).c_str());
        texte += morceau;
    }
    return QString::fromUtf8(texte.c_str());
}

void Mosaique::MontrerTemps()
{
    const PlageHorloge& e = horloge_->Etendue();
    if (!e.valide)
        return;
    f_->NomDeLaSequence1->setText(TexteLecture());
    f_->NomDeLaSequence1->adjustSize();
    if (!f_->CurseurMinutes1->isSliderDown()) {
        const QSignalBlocker bloque(f_->CurseurMinutes1);
        f_->CurseurMinutes1->setValue(static_cast<int>((horloge_->Temps() - e.debut) / 1000000));
    }
}

void Mosaique::Suivre()
{
    if (tuiles_.empty())
        return;
    f_->NavigationFenetre->LabelImage->hide();
    if (!horloge_->EnLecture()) {
        MettreAJourTuiles();
        return;
    }
    if (!horloge_->Avancer())
        return;
    // The earliest start reached backwards: stopped there, as a single
    // film stops at its start; Play and L then go forwards.
    if (horloge_->Sens() < 0) {
        Pause();
        horloge_->FixerSens(1);
        emit SensChange();
        return;
    }
    // The end of the span: again from the start with "Lire en boucle".
    if (f_->FlagBoucle->isChecked()) {
        horloge_->Aller(horloge_->Etendue().debut);
        horloge_->Jouer();
        return;
    }
    Pause();
}
