#include "ui/horloge.h"

#include "core/etat.h"
#include "engine/cadence.h"
#include "engine/index_images.h"
#include "engine/th_indexeur.h"

#include <QThread>

#include <algorithm>
#include <chrono>

namespace {

// Time given to the readers to see a stop (their polls are all shorter).
constexpr int AttenteArretVoiesMs = 250;

int64_t MaintenantMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

THorloge::THorloge(QObject* parent) : QObject(parent)
{
    Attendre = [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); };
}

void THorloge::FixerPistes(const std::vector<PisteHorloge>& pistes)
{
    pistes_ = pistes;
    enCours_.assign(pistes_.size(), false);
    std::vector<PlageHorloge> plages;
    for (const PisteHorloge& p : pistes_)
        plages.push_back(p.plage);
    etendue_ = EtendueHorloge(plages);
    temps_ = etendue_.debut;
    lecture_ = false;
    selection_ = std::max(0, std::min(selection_, static_cast<int>(pistes_.size()) - 1));
}

FilmHorloge THorloge::FilmActuel(size_t i) const
{
    FilmHorloge f = pistes_[i].film;
    const int v = pistes_[i].voie;
    if (v >= 0 && v < NbVoies) {
        // The channel's own path: written by this thread only.
        if (const auto index = IndexFilm(Voies[v].CheminFilm))
            f.nbImagesIndex = index->Nombre();
    }
    return f;
}

void THorloge::AllerALaFin()
{
    std::vector<FilmHorloge> films;
    std::vector<PlageHorloge> plages;
    for (size_t i = 0; i < pistes_.size(); ++i) {
        films.push_back(FilmActuel(i));
        plages.push_back(pistes_[i].plage);
    }
    const FinHorloge fin = DerniereImage(films, plages);
    if (fin.piste >= 0)
        Aller(fin.temps, fin.piste, fin.image);
}

ImageHorloge THorloge::ImageDe(int piste) const
{
    if (piste < 0 || piste >= static_cast<int>(pistes_.size()) || pistes_[size_t(piste)].voie < 0)
        return ImageHorloge();
    return ImageAuTemps(FilmActuel(size_t(piste)), pistes_[size_t(piste)].plage, temps_);
}

void THorloge::ArreterVoies()
{
    bool arretees = false;
    for (size_t i = 0; i < pistes_.size(); ++i) {
        const int v = pistes_[i].voie;
        if (v < 0)
            continue;
        const int r = PrendreMutexVoie(v);
        arretees = arretees || Voies[v].FlagLecture != 0;
        Voies[v].FlagLecture = 0;
        ++Voies[v].NumeroDemande;
        if (r == 0)
            RendreMutexVoie(v);
        enCours_[i] = false;
    }
    // Running passes see the stop before the positions move; stopped
    // channels have none.
    if (arretees)
        Attendre(AttenteArretVoiesMs);
}

// Asks channel i for its picture at t (or picture `image` exactly), shown
// alone or played from there. Nothing for a film without a picture then.
void THorloge::Positionner(size_t i, int64_t t, int64_t image, bool jouer)
{
    const int v = pistes_[i].voie;
    if (v < 0)
        return;
    const FilmHorloge f = FilmActuel(i);
    const PlageHorloge& plage = pistes_[i].plage;
    const ImageHorloge a = ImageAuTemps(f, plage, t);
    if (image < 0 && !a.presente)
        return;
    int64_t k = -1;
    int32_t s = SecondeDuFilm(f, plage, t);
    if (f.nbImagesIndex > 0) {
        // Exact: the picture itself, and the second it lies in.
        k = image >= 0 ? std::min(image, f.nbImagesIndex - 1) : a.image;
        s = SecondeDuFilm(f, plage, TempsDeLImage(f, plage, k));
    }
    Voie& voie = Voies[v];
    voie.SecondeDepart = s; // the channel is stopped: its reader reads it at its next run
    if (v == 0)
        PositionSecondes = static_cast<uint32_t>(s);
    const double depart = PourcentageDepart(s, voie.DureeFilm);
    const int r = PrendreMutexVoie(v);
    voie.ImageDemandee = k;
    voie.SecondeImageDemandee = s;
    voie.GarderLePas = pistes_.size() > 1 ? 1 : 0;
    if (jouer) {
        voie.FlagLecture = 1;
        voie.FlagPause = 0;
        voie.FlagFinDeFilm = 0;
        voie.FlagDebutDeFilm = 0;
        voie.FlagRafraichir = 0;
        voie.Sens = static_cast<signed char>(sens_);
        voie.PourcentFilm = depart;
    } else {
        voie.FlagRafraichir = 1;
    }
    ++voie.NumeroDemande;
    if (r == 0)
        RendreMutexVoie(v);
    ReveillerVoie(v);
    enCours_[i] = jouer;
}

void THorloge::FixerSens(int sens)
{
    sens = sens < 0 ? -1 : 1;
    if (sens == sens_)
        return;
    if (!lecture_) {
        sens_ = sens;
        return;
    }
    // The run going the other way ends on the selected film's picture;
    // the next one starts there.
    Pause();
    sens_ = sens;
    Jouer();
}

void THorloge::Aller(int64_t t, int piste, int64_t image)
{
    ArreterVoies();
    lecture_ = false;
    const bool exacte = piste >= 0 && piste < static_cast<int>(pistes_.size()) && image >= 0;
    if (exacte)
        t = TempsDeLImage(FilmActuel(size_t(piste)), pistes_[size_t(piste)].plage, image);
    if (etendue_.valide)
        t = std::max(etendue_.debut, std::min(t, etendue_.fin - 1));
    temps_ = t;
    for (size_t i = 0; i < pistes_.size(); ++i)
        Positionner(i, t, exacte && int(i) == piste ? image : -1, false);
    emit TempsChange();
}

bool THorloge::Pas(int sens)
{
    if (selection_ < 0 || selection_ >= static_cast<int>(pistes_.size()) || pistes_[size_t(selection_)].voie < 0)
        return false;
    if (lecture_)
        Pause();
    const FilmHorloge f = FilmActuel(size_t(selection_));
    const PlageHorloge& plage = pistes_[size_t(selection_)].plage;
    // A step is a picture of the film's index, as on a single film.
    if (f.nbImagesIndex <= 0)
        return false;
    const ImageHorloge a = ImageAuTemps(f, plage, temps_);
    int64_t k = -1;
    if (a.presente)
        k = a.image + sens;
    else if (temps_ < plage.debut && sens > 0)
        k = 0;
    else if (temps_ >= plage.fin && sens < 0)
        k = f.nbImagesIndex - 1;
    if (k < 0 || k >= f.nbImagesIndex)
        return false;
    Aller(0, selection_, k);
    return true;
}

void THorloge::Jouer()
{
    if (lecture_ || !etendue_.valide)
        return;
    lecture_ = true;
    tempsDepart_ = temps_;
    msDepart_ = MaintenantMs();
    vitesseDepart_ = LireVitesse();
    for (size_t i = 0; i < pistes_.size(); ++i)
        Positionner(i, temps_, -1, true);
    emit TempsChange();
}

// Clock time of the picture channel i has on screen; `connu` false when
// its reader has shown none in the current run.
int64_t THorloge::TempsMontre(size_t i, bool& connu) const
{
    connu = false;
    const int v = pistes_[i].voie;
    if (v < 0)
        return 0;
    const int r = PrendreMutexVoie(v);
    const Voie& voie = Voies[v];
    // A finished run's last picture is not where the time is: the clock
    // runs on by itself to the end of its way.
    const bool courant = voie.RunImageMontree == voie.NumeroDemande && voie.ImageMontree >= 0 &&
                         voie.FlagFinDeFilm == 0 && voie.FlagDebutDeFilm == 0;
    const int64_t image = voie.ImageMontree;
    const bool exacte = voie.ImageMontreeExacte != 0;
    const int64_t ms = voie.MsImageMontree;
    if (r == 0)
        RendreMutexVoie(v);
    if (!courant)
        return 0;
    connu = true;
    const FilmHorloge f = FilmActuel(i);
    if (exacte && f.nbImagesIndex > 0)
        return TempsSuiviDeLImage(f, pistes_[i].plage, image, sens_);
    return pistes_[i].plage.debut + ms * 1000;
}

void THorloge::Pause()
{
    if (!lecture_)
        return;
    // Every tile goes to the picture the selected film has on screen, read
    // before the stop makes it stale (the last tick's time otherwise).
    bool connu = false;
    int64_t t = temps_;
    if (selection_ >= 0 && selection_ < static_cast<int>(pistes_.size()) && enCours_[size_t(selection_)]) {
        const int64_t montre = TempsMontre(size_t(selection_), connu);
        if (connu)
            t = montre;
    }
    ArreterVoies();
    lecture_ = false;
    Aller(t);
}

void THorloge::Arreter()
{
    const bool jouait = lecture_;
    ArreterVoies();
    lecture_ = false;
    // A single picture on its way ends at the next one: waited for too.
    if (!jouait)
        Attendre(AttenteArretVoiesMs);
}

bool THorloge::Avancer()
{
    if (!lecture_)
        return false;
    const int64_t maintenant = MaintenantMs();
    const double vitesse = LireVitesse();
    if (vitesse != vitesseDepart_) {
        tempsDepart_ = temps_;
        msDepart_ = maintenant;
        vitesseDepart_ = vitesse;
    }
    int64_t t = TempsEnLecture(tempsDepart_, maintenant - msDepart_, vitesse, sens_, temps_, etendue_);
    // The selected film's picture on screen is the time the user sees.
    if (selection_ >= 0 && selection_ < static_cast<int>(pistes_.size()) && enCours_[size_t(selection_)]) {
        bool connu = false;
        const int64_t montre = TempsMontre(size_t(selection_), connu);
        if (connu) {
            t = TempsEnLecture(montre, 0, vitesse, sens_, temps_, etendue_);
            tempsDepart_ = montre;
            msDepart_ = maintenant;
        }
    }
    temps_ = t;
    for (size_t i = 0; i < pistes_.size(); ++i) {
        const int v = pistes_[i].voie;
        if (v < 0)
            continue;
        switch (ActionPisteEnLecture(pistes_[i].plage, temps_, enCours_[i])) {
        case ActionPiste::Rien:
            break;
        case ActionPiste::Demarrer:
            Positionner(i, temps_, -1, true);
            break;
        case ActionPiste::Arreter: {
            const int r = PrendreMutexVoie(v);
            Voies[v].FlagLecture = 0;
            ++Voies[v].NumeroDemande;
            if (r == 0)
                RendreMutexVoie(v);
            enCours_[i] = false;
            break;
        }
        }
    }
    emit TempsChange();
    return FinDeParcours(etendue_, temps_, sens_);
}
