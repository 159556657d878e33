#include "ui/recherche_fenetre.h"

#include "core/etat.h"
#include "engine/fichierfilm.h"
#include "engine/index_images.h"
#include "engine/recherche_mouvement.h"
#include "engine/th_indexeur.h"
#include "export/incrustation.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// "P" from within this much after a moment's start goes to the one before.
constexpr double MargeVoisinS = 0.5;
// The position counts as still at the moment last jumped to within this.
constexpr double MargeSautS = 1.0;
// A rectangle narrower or lower than this (control pixels) is a slip.
constexpr double TraceMinimal = 3;
// How often the panel checks that the moments still belong to the film.
constexpr int VerificationFilmMs = 500;
// A film opened at a moment is watched this often for its index, this many
// times, to show the moment's exact picture.
constexpr int IntervalleAttenteIndexMs = 100;
constexpr int TicsAttenteIndex = 300;
constexpr int HauteurMarque = 4;
const QColor CouleurRectangle(255, 64, 32);
const QColor CouleurMarque(255, 140, 0);
const QColor CouleurNote(110, 110, 110);

// A see-through layer over a control: draws, lets every mouse event through.
class Calque : public QWidget
{
public:
    Calque(QWidget* parent, std::function<void(QPainter&, const QSize&)> dessin)
        : QWidget(parent), dessin_(std::move(dessin))
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setGeometry(parent->rect());
        show();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        dessin_(p, size());
    }

private:
    std::function<void(QPainter&, const QSize&)> dessin_;
};

double Borne(double v, double a, double b)
{
    return std::min(std::max(v, a), b);
}

std::string NomCourt(const std::string& chemin)
{
    const size_t barre = chemin.find_last_of('/');
    return barre == std::string::npos ? chemin : chemin.substr(barre + 1);
}

std::string TexteDuree(const MomentMouvement& m)
{
    char duree[64];
    std::snprintf(duree, sizeof duree, "%.1f s", std::max(0.0, m.finS - m.debutS));
    std::string d = duree;
    std::replace(d.begin(), d.end(), '.', ',');
    return d;
}

} // namespace

RectangleMouvement RectangleDansLImage(QPointF a, QPointF b, QSizeF controle, const QRectF& partie, QSize image)
{
    RectangleMouvement r;
    if (controle.width() <= 0 || controle.height() <= 0 || image.width() <= 0 || image.height() <= 0)
        return r;
    auto versImage = [&](QPointF p, double& x, double& y) {
        const double u = Borne(p.x() / controle.width(), 0, 1), w = Borne(p.y() / controle.height(), 0, 1);
        x = (partie.x() + u * partie.width()) * image.width();
        y = (partie.y() + w * partie.height()) * image.height();
    };
    double x0, y0, x1, y1;
    versImage(a, x0, y0);
    versImage(b, x1, y1);
    r.x = static_cast<int>(std::floor(std::min(x0, x1)));
    r.y = static_cast<int>(std::floor(std::min(y0, y1)));
    r.largeur = std::min(static_cast<int>(std::ceil(std::max(x0, x1))), image.width()) - r.x;
    r.hauteur = std::min(static_cast<int>(std::ceil(std::max(y0, y1))), image.height()) - r.y;
    return r;
}

QRectF RectangleSurLeControle(const RectangleMouvement& r, QSizeF controle, const QRectF& partie, QSize image)
{
    if (image.width() <= 0 || image.height() <= 0 || partie.width() <= 0 || partie.height() <= 0)
        return QRectF();
    auto versControle = [&](double x, double y) {
        return QPointF((x / image.width() - partie.x()) / partie.width() * controle.width(),
                       (y / image.height() - partie.y()) / partie.height() * controle.height());
    };
    return QRectF(versControle(r.x, r.y), versControle(r.x + r.largeur, r.y + r.hauteur));
}

int MomentVoisin(const std::vector<MomentMouvement>& m, double position, int sens)
{
    if (sens > 0) {
        for (size_t i = 0; i < m.size(); ++i)
            if (m[i].debutS > position + 1e-6)
                return static_cast<int>(i);
        return -1;
    }
    for (size_t i = m.size(); i-- > 0;)
        if (m[i].debutS < position - MargeVoisinS)
            return static_cast<int>(i);
    return -1;
}

std::string TexteMoment(const MomentMouvement& m, bool dates, double debutJours, double finJours,
                        double dureeSecondes)
{
    return TexteIncrustation(dates, debutJours, finJours, dureeSecondes, m.debutS) + "  (" + TexteDuree(m) + ")";
}

std::string TexteMomentDuJour(const MomentMouvement& m, const FilmDuJour& film, const JourDeFilms& jour)
{
    char date[32];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d ", jour.jour, jour.mois, jour.annee);
    return date + TexteInstant(InstantDuFilm(film, m.debutS)) + "  (" + TexteDuree(m) + ")\n" +
           NomCourt(film.chemin);
}

double PositionMontree()
{
    const int r = PrendreMutexVoie(0);
    const bool montree = Voies[0].ImageMontree >= 0;
    const int64_t ms = Voies[0].MsImageMontree;
    if (r == 0)
        RendreMutexVoie(0);
    return montree ? ms / 1000.0 : static_cast<double>(PositionSecondes);
}

void AllerExactementA(TLecteurZR7_Principale* f, double t)
{
    QSlider* c = f->CurseurMinutes1;
    const int s = static_cast<int>(Borne(t, c->minimum(), c->maximum()));
    c->setValue(s);
    // Set after the slider moved (a moved slider forgets a picture asked
    // for): the reader starts on that very picture when the index is built.
    // The search timed picture k at k x duration / count with the header's
    // duration in milliseconds: the same rule backwards, rounded, finds it
    // (the slider's whole seconds would miss it on a film of 10.5 s).
    const std::shared_ptr<const IndexImages> index = IndexFilm(CheminFilm);
    EnteteFilm e;
    if (index && index->Nombre() > 0 && LireEnteteFilm(CheminFilm, e) == 0) {
        const double k = std::llround(std::max(0.0, t) * e.NbImages * 1000.0 / e.DureeMs);
        const int r = PrendreMutexVoie(0);
        Voies[0].ImageDemandee = std::min<int64_t>(static_cast<int64_t>(k), index->Nombre() - 1);
        Voies[0].SecondeImageDemandee = s;
        if (r == 0)
            RendreMutexVoie(0);
    }
    f->CurseurMinutes1MouseUp();
}

struct RechercheMouvement::Resultat {
    bool duJour = false;
    JourDeFilms jour;  // the films searched (the film alone without the day)
    ResultatRecherche resultat = ResultatRecherche::FilmIllisible;
    std::vector<MomentTrouve> moments;
    std::vector<VignetteMouvement> vignettes;
    std::vector<NoteFilm> notes;
    uint32_t dureeMs = 0;  // the film alone: its header
};

RechercheMouvement::RechercheMouvement(const AccesRecherche& acces, QObject* parent)
    : QObject(parent), acces_(acces)
{
    calqueImage_ = new Calque(acces_.image, [this](QPainter& p, const QSize& taille) {
        if (!aRectangle_)
            return;
        const QRectF r = RectangleSurLeControle(rect_, taille, acces_.image->PartieMontree(),
                                                acces_.image->Picture().size());
        p.setPen(QPen(CouleurRectangle, 2, Qt::DashLine));
        QColor fond = CouleurRectangle;
        fond.setAlpha(40);
        p.setBrush(fond);
        p.drawRect(r);
    });
    calqueCurseur_ = new Calque(acces_.curseur, [this](QPainter& p, const QSize& taille) {
        QSlider* c = acces_.curseur;
        if (moments_.empty() || c->maximum() <= c->minimum())
            return;
        const int poignee = c->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, c);
        const int course = std::max(1, taille.width() - poignee);
        auto x = [&](double s) {
            const double v = Borne(s, c->minimum(), c->maximum());
            return poignee / 2.0 + course * (v - c->minimum()) / (c->maximum() - c->minimum());
        };
        p.setPen(Qt::NoPen);
        p.setBrush(CouleurMarque);
        const std::string film = acces_.film ? acces_.film() : std::string();
        for (const MomentTrouve& t : moments_) {
            if (t.film != film)
                continue;
            const MomentMouvement& m = t.moment;
            const double a = x(m.debutS), b = std::max(x(m.finS), a + 3);
            p.drawRect(QRectF(a, taille.height() - HauteurMarque, b - a, HauteurMarque));
        }
    });
    acces_.image->installEventFilter(this);
    acces_.curseur->installEventFilter(this);
    qApp->installEventFilter(this);

    panneau_ = new QWidget(acces_.fenetre, Qt::Tool);
    panneau_->setWindowTitle(QStringLiteral("Recherche de mouvement"));
    auto* colonne = new QVBoxLayout(panneau_);
    aide_ = new QLabel(QString::fromUtf8("Maj + glisser sur l'image : rectangle à surveiller (Échap l'efface)"));
    aide_->setWordWrap(true);
    colonne->addWidget(aide_);
    auto* ligne = new QHBoxLayout;
    ligne->addWidget(new QLabel(QString::fromUtf8("Sensibilité")));
    sensibilite_ = new QSpinBox;
    sensibilite_->setRange(SensibiliteMin, SensibiliteMax);
    sensibilite_->setValue(SensibiliteDefaut);
    sensibilite_->setToolTip(QString::fromUtf8("1 : grands changements seulement ; 10 : petits changements"));
    ligne->addWidget(sensibilite_);
    ligne->addStretch();
    colonne->addLayout(ligne);
    caseJour_ = new QCheckBox(QStringLiteral("Chercher dans les films du &jour"));
    caseJour_->setToolTip(QString::fromUtf8("Tous les films horaires de ce jour dans le dossier du film, dans l'ordre "
                                            "des heures ; un film protégé est ouvert par le mot de passe tapé"));
    colonne->addWidget(caseJour_);
    ligne = new QHBoxLayout;
    // Alt+C and Alt+J from the keyboard.
    chercher_ = new QPushButton(QStringLiteral("&Chercher un mouvement"));
    annuler_ = new QPushButton(QStringLiteral("Annuler"));
    ligne->addWidget(chercher_);
    ligne->addWidget(annuler_);
    colonne->addLayout(ligne);
    progression_ = new QProgressBar;
    progression_->setRange(0, 1000);
    progression_->setTextVisible(false);
    colonne->addWidget(progression_);
    etat_ = new QLabel;
    colonne->addWidget(etat_);
    liste_ = new QListWidget;
    liste_->setIconSize(QSize(LargeurVignette, LargeurVignette * 9 / 16));
    liste_->setMinimumSize(LargeurVignette + 180, 240);
    colonne->addWidget(liste_);
    connect(chercher_, &QPushButton::clicked, this, &RechercheMouvement::Chercher);
    connect(annuler_, &QPushButton::clicked, this, &RechercheMouvement::Annuler);
    auto aller = [this](QListWidgetItem* i) { AllerAuMoment(i->data(Qt::UserRole).toInt()); };
    connect(liste_, &QListWidget::itemClicked, this, aller);
    connect(liste_, &QListWidget::itemActivated, this, aller);

    // Moments belong to the films searched: another film drops them.
    auto* verification = new QTimer(this);
    verification->setInterval(VerificationFilmMs);
    connect(verification, &QTimer::timeout, this, &RechercheMouvement::SuivreFilm);
    verification->start();
    minuterieAttente_ = new QTimer(this);
    minuterieAttente_->setInterval(IntervalleAttenteIndexMs);
    connect(minuterieAttente_, &QTimer::timeout, this, [this] {
        const std::string film = acces_.film ? acces_.film() : std::string();
        // Given up when another film came, the user moved, or no index comes.
        if (attente_.film.empty() || film != attente_.film || --attente_.tics <= 0 ||
            acces_.curseur->value() != static_cast<int>(attente_.seconde)) {
            attente_ = SautEnAttente();
            minuterieAttente_->stop();
        } else if (IndexPret(film)) {
            const double t = attente_.seconde;
            attente_ = SautEnAttente();
            minuterieAttente_->stop();
            if (acces_.allerA)
                acces_.allerA(t);
        }
    });
    SuivreFilm();
    MettreAJourBoutons();
}

void RechercheMouvement::SuivreFilm()
{
    const std::string film = acces_.film ? acces_.film() : std::string();
    if (!moments_.empty() && FilmDuChemin(jourMoments_.films, film) < 0)
        Oublier();
    if (film != filmMarques_) {
        filmMarques_ = film;
        calqueCurseur_->update();
    }
    HeureHoraire h;
    caseJour_->setEnabled(!enCours_ && LireHeureHoraire(film, h));
}

bool RechercheMouvement::IndexPret(const std::string& chemin) const
{
    return acces_.indexPret ? acces_.indexPret(chemin) : IndexFilm(chemin.c_str()) != nullptr;
}

RechercheMouvement::~RechercheMouvement()
{
    arret_ = true;
    if (fil_.joinable())
        fil_.join();
    if (qApp)
        qApp->removeEventFilter(this);
}

void RechercheMouvement::FixerRectangle(const RectangleMouvement& r)
{
    rect_ = r;
    aRectangle_ = r.largeur > 0 && r.hauteur > 0;
    calqueImage_->update();
    MettreAJourBoutons();
}

void RechercheMouvement::EffacerRectangle()
{
    aRectangle_ = false;
    trace_ = false;
    calqueImage_->update();
    MettreAJourBoutons();
}

void RechercheMouvement::MettreAJourBoutons()
{
    const bool film = acces_.film && !acces_.film().empty();
    chercher_->setEnabled(aRectangle_ && film && !enCours_);
    annuler_->setVisible(enCours_);
    progression_->setVisible(enCours_);
    sensibilite_->setEnabled(!enCours_);
    HeureHoraire h;
    caseJour_->setEnabled(!enCours_ && film && LireHeureHoraire(acces_.film(), h));
    if (aRectangle_)
        aide_->setText(QString::fromUtf8("Rectangle : %1, %2 ; %3 × %4 pixels (Échap l'efface)")
                           .arg(rect_.x)
                           .arg(rect_.y)
                           .arg(rect_.largeur)
                           .arg(rect_.hauteur));
    else
        aide_->setText(QString::fromUtf8("Maj + glisser sur l'image : rectangle à surveiller (Échap l'efface)"));
}

void RechercheMouvement::Chercher()
{
    const std::string film = acces_.film ? acces_.film() : std::string();
    if (enCours_ || !aRectangle_ || film.empty())
        return;
    if (fil_.joinable())
        fil_.join();
    ParametresRecherche p;
    p.cheminFilm = film;
    p.rectangle = rect_;
    p.sensibilite = sensibilite_->value();
    p.motDePasse = acces_.motDePasse ? acces_.motDePasse() : std::string();
    // The film itself, not the box's state, which follows it at the next check.
    HeureHoraire h;
    const bool jourDemande = caseJour_->isChecked() && LireHeureHoraire(film, h);
    enCours_ = true;
    arret_ = false;
    progression_->setValue(0);
    etat_->setText(QString::fromUtf8("Recherche en cours…"));
    MettreAJourBoutons();
    fil_ = std::thread([this, p, jourDemande] {
        auto montrer = [this](int v) {
            QMetaObject::invokeMethod(this, [this, v] { progression_->setValue(v); }, Qt::QueuedConnection);
        };
        auto r = std::make_shared<Resultat>();
        // The day's films as the strip finds them; the film alone when it
        // is not among them (its header unreadable, say).
        if (jourDemande && ScannerJour(p.cheminFilm, r->jour) == 0 && FilmDuChemin(r->jour.films, p.cheminFilm) >= 0) {
            r->duJour = true;
            SuiviJour suivi;
            suivi.annuler = &arret_;
            suivi.progression = montrer;
            suivi.film = [this, r](size_t i, size_t n) {
                const QString texte = QString::fromUtf8("Recherche en cours : film %1 / %2, %3…")
                                          .arg(i + 1)
                                          .arg(n)
                                          .arg(QString::fromStdString(NomCourt(r->jour.films[i].chemin)));
                QMetaObject::invokeMethod(this, [this, texte] { etat_->setText(texte); }, Qt::QueuedConnection);
            };
            BilanJour b = ChercherMouvementJour(r->jour, p, suivi);
            r->resultat = b.resultat;
            r->moments = std::move(b.moments);
            r->vignettes = std::move(b.vignettes);
            r->notes = std::move(b.notes);
        } else {
            SuiviRecherche suivi;
            suivi.annuler = &arret_;
            suivi.progression = [montrer](int64_t fait, int64_t total) {
                montrer(total > 0 ? static_cast<int>(fait * 1000 / total) : 0);
            };
            BilanRecherche b = ChercherMouvement(p, suivi);
            r->jour = JourDeFilms();
            FilmDuJour seul;
            seul.chemin = p.cheminFilm;
            r->jour.films.push_back(seul);
            r->resultat = b.resultat;
            r->dureeMs = b.dureeMs;
            for (const MomentMouvement& m : b.moments)
                r->moments.push_back({p.cheminFilm, m, m.debutS});
            r->vignettes = std::move(b.vignettes);
        }
        QMetaObject::invokeMethod(this, [this, r] { Terminer(r); }, Qt::QueuedConnection);
    });
    panneau_->show();
}

void RechercheMouvement::Annuler()
{
    arret_ = true;
}

void RechercheMouvement::Terminer(const std::shared_ptr<Resultat>& r)
{
    if (fil_.joinable())
        fil_.join();
    enCours_ = false;
    if (r->resultat == ResultatRecherche::Terminee) {
        moments_ = r->moments;
        jourMoments_ = r->jour;
        duJour_ = r->duJour;
        dernierSaut_ = -1;
        attente_ = SautEnAttente();
        Lister(*r);
        QString texte;
        if (moments_.empty())
            texte = QString::fromUtf8("Aucun mouvement dans le rectangle");
        else
            texte = QString::fromUtf8("%1 moment(s) trouvé(s) ; N / P : suivant / précédent").arg(moments_.size());
        if (duJour_)
            texte += QString::fromUtf8(" (%1 film(s) du jour)").arg(jourMoments_.films.size());
        etat_->setText(texte);
        calqueCurseur_->update();
        emit MomentsChanges();
    } else {
        etat_->setText(QString::fromUtf8(MessageRecherche(r->resultat)));
    }
    MettreAJourBoutons();
    emit RechercheTerminee();
}

void RechercheMouvement::Lister(const Resultat& r)
{
    liste_->clear();
    lignes_.assign(moments_.size(), -1);
    const DatesFilm dates = r.duJour ? DatesFilm() : LireDatesFilm(r.jour.films.front().chemin);
    // Moments and notes of films left out, both in time order, merged.
    size_t n = 0;
    for (size_t i = 0; i < moments_.size() || n < r.notes.size();) {
        if (n < r.notes.size() && (i >= moments_.size() || r.notes[n].instant <= moments_[i].instant)) {
            const NoteFilm& note = r.notes[n++];
            auto* item = new QListWidgetItem(QString::fromStdString(NomCourt(note.film) + " :\n" + note.texte));
            item->setToolTip(item->text());
            item->setData(Qt::UserRole, -1);
            item->setFlags(Qt::ItemIsEnabled);
            item->setForeground(CouleurNote);
            liste_->addItem(item);
            continue;
        }
        const MomentTrouve& m = moments_[i];
        std::string texte;
        if (r.duJour) {
            const int f = FilmDuChemin(r.jour.films, m.film);
            texte = TexteMomentDuJour(m.moment, r.jour.films[static_cast<size_t>(f)], r.jour);
        } else {
            texte = TexteMoment(m.moment, dates.Presentes, dates.Debut, dates.Fin, r.dureeMs / 1000.0);
        }
        auto* item = new QListWidgetItem(QString::fromStdString(texte));
        item->setToolTip(item->text());
        item->setData(Qt::UserRole, static_cast<int>(i));
        if (i < r.vignettes.size() && !r.vignettes[i].gris.empty()) {
            const VignetteMouvement& v = r.vignettes[i];
            const QImage gris(v.gris.data(), v.largeur, v.hauteur, v.largeur, QImage::Format_Grayscale8);
            item->setIcon(QIcon(QPixmap::fromImage(gris.copy())));
        }
        lignes_[i] = liste_->count();
        liste_->addItem(item);
        ++i;
    }
}

void RechercheMouvement::Oublier()
{
    dernierSaut_ = -1;
    attente_ = SautEnAttente();
    moments_.clear();
    lignes_.clear();
    jourMoments_ = JourDeFilms();
    duJour_ = false;
    liste_->clear();
    etat_->clear();
    calqueCurseur_->update();
    emit MomentsChanges();
}

std::map<std::string, std::vector<MomentMouvement>> RechercheMouvement::MomentsParFilm() const
{
    std::map<std::string, std::vector<MomentMouvement>> parFilm;
    for (const MomentTrouve& m : moments_)
        parFilm[m.film].push_back(m.moment);
    return parFilm;
}

bool RechercheMouvement::AllerAuMoment(int i)
{
    if (i < 0 || i >= static_cast<int>(moments_.size()))
        return false;
    // A copy: opening a film may come back here.
    const MomentTrouve m = moments_[static_cast<size_t>(i)];
    const std::string film = acces_.film ? acces_.film() : std::string();
    if (m.film != film && !acces_.ouvrirA)
        return false;
    const int ligne = lignes_[static_cast<size_t>(i)];
    if (liste_->currentRow() != ligne)
        liste_->setCurrentRow(ligne);
    dernierSaut_ = i;
    attente_ = SautEnAttente();
    minuterieAttente_->stop();
    if (m.film == film) {
        if (acces_.allerA)
            acces_.allerA(m.moment.debutS);
        return true;
    }
    // Another film of the day: opened at that second by the window, then
    // the exact picture once the film's index is there.
    acces_.ouvrirA(m.film, m.moment.debutS);
    if ((acces_.film ? acces_.film() : std::string()) != m.film)
        return true;
    SuivreFilm();
    if (IndexPret(m.film)) {
        if (acces_.allerA)
            acces_.allerA(m.moment.debutS);
    } else {
        attente_ = SautEnAttente{m.film, m.moment.debutS, TicsAttenteIndex};
        minuterieAttente_->start();
    }
    return true;
}

double RechercheMouvement::InstantMontre() const
{
    const std::string film = acces_.film ? acces_.film() : std::string();
    const int f = FilmDuChemin(jourMoments_.films, film);
    if (f < 0)
        return -1;
    const double position = acces_.position ? acces_.position() : PositionMontree();
    return duJour_ ? InstantDuFilm(jourMoments_.films[static_cast<size_t>(f)], position) : position;
}

bool RechercheMouvement::Voisin(int sens)
{
    const int n = static_cast<int>(moments_.size());
    // Right after a jump the picture shown may still be on its way (or the
    // film opened still waits for its index): count from the moment jumped to.
    if (dernierSaut_ >= 0 && dernierSaut_ < n) {
        const MomentTrouve& d = moments_[static_cast<size_t>(dernierSaut_)];
        if (!attente_.film.empty())
            return AllerAuMoment(dernierSaut_ + sens);
        const double position = acces_.position ? acces_.position() : PositionMontree();
        if ((acces_.film ? acces_.film() : std::string()) == d.film && std::fabs(position - d.moment.debutS) < MargeSautS)
            return AllerAuMoment(dernierSaut_ + sens);
    }
    const double instant = InstantMontre();
    if (instant < 0)
        return false;
    std::vector<MomentMouvement> instants;
    for (const MomentTrouve& m : moments_)
        instants.push_back({m.instant, m.instant + (m.moment.finS - m.moment.debutS)});
    return AllerAuMoment(MomentVoisin(instants, instant, sens));
}

bool RechercheMouvement::FiltreImage(QEvent* e)
{
    TImageEtiree* image = acces_.image;
    switch (e->type()) {
    case QEvent::Resize:
        calqueImage_->setGeometry(image->rect());
        return false;
    case QEvent::MouseButtonPress: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->button() != Qt::LeftButton || !(m->modifiers() & Qt::ShiftModifier))
            return false;
        trace_ = true;
        origine_ = m->position();
        return true;
    }
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
        if (!trace_)
            return false;
        auto* m = static_cast<QMouseEvent*>(e);
        const QPointF p = m->position();
        FixerRectangle(RectangleDansLImage(origine_, p, image->size(), image->PartieMontree(), image->Picture().size()));
        if (e->type() == QEvent::MouseButtonRelease) {
            trace_ = false;
            if (std::fabs(p.x() - origine_.x()) < TraceMinimal || std::fabs(p.y() - origine_.y()) < TraceMinimal)
                EffacerRectangle();
            else
                panneau_->show();
        }
        return true;
    }
    default:
        return false;
    }
}

bool RechercheMouvement::eventFilter(QObject* objet, QEvent* e)
{
    if (objet == acces_.image)
        return FiltreImage(e);
    if (objet == acces_.curseur) {
        if (e->type() == QEvent::Resize)
            calqueCurseur_->setGeometry(acces_.curseur->rect());
        return false;
    }
    if (e->type() != QEvent::KeyPress)
        return false;
    auto* w = qobject_cast<QWidget*>(objet);
    if (w == nullptr || (w->window() != acces_.fenetre && w->window() != panneau_))
        return false;
    // Typing in a text or number field keeps its keys.
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus))
        return false;
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (k->key()) {
    case Qt::Key_Escape:
        // Left to the window too (it leaves full screen).
        if (aRectangle_ || trace_)
            EffacerRectangle();
        return false;
    case Qt::Key_N:
        return Voisin(1) || !moments_.empty();
    case Qt::Key_P:
        return Voisin(-1) || !moments_.empty();
    default:
        return false;
    }
}
