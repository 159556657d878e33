#include "ui/exports_fenetre.h"

#include "codecs/bitmap.h"
#include "core/boitemessage.h"
#include "core/etat.h"
#include "export/cadence_forcee.h"
#include "export/extraction.h"
#include "export/fichier_temporaire.h"
#include "export/integrite.h"
#include "export/photo.h"
#include "export/sortie_sure.h"
#include "engine/fichierfilm.h"
#include "ui/image_etiree.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/oxbouton.h"
#include "ui/preuves_fenetre.h"
#include "ui/travail_progression.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

#include <memory>
#include <new>
#include <vector>

namespace {

// Size of a tick drawn over the slider.
constexpr int LargeurTrait = 2;
constexpr int HauteurTrait = 7;

const QColor CouleurDebut(0, 160, 0);
const QColor CouleurFin(200, 0, 0);

std::string Local(const QString& chemin)
{
    return QFile::encodeName(chemin).toStdString();
}

// Refused outputs of an export of the current film (message shown): the
// output and, when a report is asked, its two report files.
bool SortiePermise(const std::string& sortie, bool rapport, QWidget* parent)
{
    std::vector<std::string> sorties{sortie};
    if (rapport) {
        sorties.push_back(CheminSomme(sortie));
        sorties.push_back(CheminRapport(sortie));
    }
    // The report files' type is checked as they are written; they are
    // never the film.
    for (const std::string& s : sorties) {
        const std::string raison =
            s == sortie ? RaisonSortieRefusee(CheminFilm, s) : RaisonSortieEstLeFilm(CheminFilm, s);
        if (!raison.empty()) {
            AfficherMessage(raison, std::string(), parent);
            return false;
        }
    }
    return true;
}

} // namespace

QString TexteMarque(const QString& nom, int32_t secondes)
{
    if (secondes < 0)
        secondes = 0;
    return QStringLiteral("%1 : %2:%3:%4")
        .arg(nom)
        .arg(secondes / 3600, 2, 10, QLatin1Char('0'))
        .arg(secondes / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(secondes % 60, 2, 10, QLatin1Char('0'));
}

int AbscisseMarque(int valeur, int minimum, int maximum, int debutGorge, int largeurGorge, int largeurPoignee)
{
    const int course = std::max(0, largeurGorge - largeurPoignee);
    return debutGorge + QStyle::sliderPositionFromValue(minimum, maximum, valeur, course) + largeurPoignee / 2;
}

MarquesCurseur::MarquesCurseur(QSlider* curseur) : QWidget(curseur), curseur_(curseur)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(curseur->rect());
    curseur->installEventFilter(this);
    show();
}

bool MarquesCurseur::eventFilter(QObject* objet, QEvent* event)
{
    if (objet == curseur_ && event->type() == QEvent::Resize)
        setGeometry(curseur_->rect());
    return QWidget::eventFilter(objet, event);
}

int MarquesCurseur::Abscisse(bool pose, int32_t valeur) const
{
    if (!pose || valeur < curseur_->minimum() || valeur > curseur_->maximum())
        return -1;
    // The style's sizes are those of the polished slider, as painted.
    curseur_->ensurePolished();
    QStyleOptionSlider opt;
    opt.initFrom(curseur_);
    opt.orientation = curseur_->orientation();
    opt.minimum = curseur_->minimum();
    opt.maximum = curseur_->maximum();
    opt.tickPosition = curseur_->tickPosition();
    opt.tickInterval = curseur_->tickInterval();
    opt.sliderPosition = opt.sliderValue = curseur_->value();
    opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    QStyle* st = curseur_->style();
    const QRect gorge = st->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, curseur_);
    const QRect poignee = st->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, curseur_);
    return AbscisseMarque(valeur, opt.minimum, opt.maximum, gorge.x(), gorge.width(), poignee.width());
}

int MarquesCurseur::AbscisseDebut() const
{
    return Abscisse(debutPose, MarqueDebut);
}

int MarquesCurseur::AbscisseFin() const
{
    return Abscisse(finPose, MarqueFin);
}

void MarquesCurseur::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    for (auto [x, couleur] : {std::pair<int, QColor>{AbscisseDebut(), CouleurDebut},
                              std::pair<int, QColor>{AbscisseFin(), CouleurFin}}) {
        if (x >= 0)
            p.fillRect(x - LargeurTrait / 2, height() - HauteurTrait, LargeurTrait, HauteurTrait, couleur);
    }
}

ExportsFenetre::ExportsFenetre(TLecteurZR7_Principale* fenetre)
    : QObject(fenetre), w_(fenetre), marques_(new MarquesCurseur(fenetre->CurseurMinutes1))
{
    setObjectName(QStringLiteral("ExportsFenetre"));
    MontrerMarques();
}

ExportsFenetre* ExportsDe(TLecteurZR7_Principale* fenetre)
{
    auto* e = fenetre->findChild<ExportsFenetre*>(QStringLiteral("ExportsFenetre"), Qt::FindDirectChildrenOnly);
    return e ? e : new ExportsFenetre(fenetre);
}

// ------------------------------------------------------------------ AVI

void ExportsFenetre::BoutonAviClick()
{
    w_->StopPlayback();
    w_->MotDePasseChange();
    // A forced rate is a whole number of 1 to 1000: said before anything is asked.
    int cadence = 0;
    if (w_->FlagForcerFR->isChecked()) {
        std::string raison;
        if (LireCadenceForcee(w_->EditFR->text().toStdString(), &cadence, &raison) != 0) {
            AfficherMessage(raison, std::string(), w_);
            return;
        }
    }
    // The descriptions carry their pattern already: they are Qt filters as they stand.
    w_->SaveDialog1.Filter = QStringLiteral("Film (*.avi)");
    w_->SaveDialog1.DefaultExt = QStringLiteral("avi");
    PreuvesFenetre* preuves = PreuvesDe(w_);
    preuves->PreparerDialogue(GenreExport::Avi);
    const bool choisi = w_->SaveDialog1.Execute(w_);
    preuves->LireChoix();
    if (!choisi)
        return;
    ParametresAvi p;
    const std::string choix = Local(w_->SaveDialog1.FileName);
    p.cheminAvi = CheminAvi(choix);
    if (!p.cheminAvi.empty() && !SortiePermise(p.cheminAvi, preuves->RapportDemande(), w_))
        return;
    // The save dialog has asked about the name chosen; only a name the
    // program changed (".avi" added) is asked about here.
    if (!p.cheminAvi.empty() && p.cheminAvi != choix && QFile::exists(QFile::decodeName(p.cheminAvi.c_str()))
        && PoserQuestion("Le fichier existe déjà.\nVoulez-vous l'écraser?", std::string(), w_)
               != ReponseMessage::Oui)
        return;
    p.cheminFilm = CheminFilm;
    p.type = TypeFilm;
    p.nbImages = NbImagesFilm;
    p.dureeSecondes = DureeFilm;
    p.motDePasse = MotDePasseFilm;
    p.forcerCadence = w_->FlagForcerFR->isChecked();
    p.texteCadence = p.forcerCadence ? std::to_string(cadence) : std::string();
    p.recoder = preuves->IncrustationDemandee();

    SuiviAvi suivi = suiviAjoute;
    preuves->CompleterSuiviAvi(suivi.observateurSource, suivi.crochetImage);
    TacheProgression tache;
    tache.titre = QString::fromUtf8(TitreMessages);
    tache.total = NbImagesFilm;
    tache.texte = TexteProgressionAvi;
    tache.surProgression = surProgression;
    BilanAvi bilan;
    tache.travail = [&](const std::function<bool()>& annuler, const std::function<void(int64_t, int64_t)>& progression) {
        SuiviAvi s = suivi;
        s.annuler = annuler;
        s.progression = progression;
        bilan = ExportAvi(p, s);
    };
    ExecuterAvecProgression(w_, tache);
    dernierBilan = bilan;
    const bool ecrit =
        dernierBilan.resultat == ResultatAvi::Enregistre || dernierBilan.resultat == ResultatAvi::Incomplet;
    if (ecrit && !preuves->ApresAvi(p.cheminAvi, dernierBilan.cadence, dernierBilan.echantillons))
        return;
    const std::string message =
        dernierBilan.resultat == ResultatAvi::Annule ? std::string("Export annulé") : MessageFinAvi(dernierBilan);
    if (!message.empty())
        AfficherMessage(message, std::string(), w_);
}

// ---------------------------------------------------------------- photo

void ExportsFenetre::BoutonPhotoClick()
{
    w_->SaveDialog1.Filter = QStringLiteral("Images (*.jpg)");
    w_->SaveDialog1.InitialDir = QFile::decodeName(DossierProgramme);
    w_->SaveDialog1.DefaultExt = QStringLiteral("jpg");
    PreuvesFenetre* preuves = PreuvesDe(w_);
    preuves->PreparerDialogue(GenreExport::Photo);
    const bool choisi = w_->SaveDialog1.Execute(w_);
    preuves->LireChoix();
    if (!choisi)
        return;
    const std::string chemin = CheminPhoto(Local(w_->SaveDialog1.FileName));
    if (!chemin.empty() && !SortiePermise(chemin, preuves->RapportDemande(), w_))
        return;
    // The picture's own pixels as a bitmap file image in memory: nothing is
    // written but the JPEG.
    const QImage image = w_->Image1->Picture().convertToFormat(QImage::Format_BGR888);
    const int32_t taille = BitmapTailleFichier(image.width(), image.height());
    if (image.isNull() || taille <= 0)
        return;
    std::unique_ptr<unsigned char[]> bitmap(new (std::nothrow) unsigned char[size_t(taille)]);
    std::unique_ptr<unsigned char[]> jpeg(new (std::nothrow) unsigned char[size_t(taille)]);
    int32_t b = 0, j = 0;
    if (!bitmap || !jpeg
        || BitmapDepuisBGR(image.constBits(), int32_t(image.bytesPerLine()), image.width(), image.height(),
                           bitmap.get(), taille, &b)
               != 0)
        return;
    bool ecrite = !chemin.empty() && BitmapToJpeg(bitmap.get(), b, jpeg.get(), &j, taille) == 0;
    if (ecrite) {
        // The picture's date and the film's name travel in the JPEG.
        std::vector<unsigned char> octets(jpeg.get(), jpeg.get() + j);
        preuves->CommenterPhoto(octets);
        ecrite = EcrireFichierEnPlace(chemin, octets.data(), octets.size()) == 0;
    }
    if (!ecrite) {
        AfficherMessage("Erreur de création de fichier", std::string(), w_);
        return;
    }
    if (!preuves->ApresPhoto(chemin))
        return;
    AfficherMessage("La photo est enregistrée", std::string(), w_);
}

// --------------------------------------------------------------- segment

void ExportsFenetre::MontrerMarques()
{
    w_->OxBouton1->setToolTip(TexteMarque(QStringLiteral("Début"), MarqueDebut));
    w_->OxBouton2->setToolTip(TexteMarque(QStringLiteral("Fin"), MarqueFin));
    marques_->update();
}

void ExportsFenetre::OxBouton1Click()
{
    MarqueDebut = w_->CurseurMinutes1->value();
    marques_->debutPose = true;
    MontrerMarques();
}

void ExportsFenetre::OxBouton2Click()
{
    MarqueFin = w_->CurseurMinutes1->value();
    marques_->finPose = true;
    MontrerMarques();
}

void ExportsFenetre::OxBouton3Click()
{
    if (MarqueDebut >= MarqueFin || DureeFilm == 0)
        return;
    const std::string extension = ExtensionExtraction(CheminFilm);
    w_->SaveDialog1.Filter = QString::fromStdString(FiltreExtraction(extension)).section(QLatin1Char('|'), 0, 0);
    w_->SaveDialog1.DefaultExt = QString::fromStdString(extension.substr(1));
    PreuvesFenetre* preuves = PreuvesDe(w_);
    preuves->PreparerDialogue(GenreExport::Extraction);
    const bool choisi = w_->SaveDialog1.Execute(w_);
    preuves->LireChoix();
    if (!choisi)
        return;
    const std::string destination = Local(w_->SaveDialog1.FileName);
    if (destination.size() <= size_t(LongueurMaxCheminExport)
        && !SortiePermise(destination, preuves->RapportDemande(), w_))
        return;
    Extrait extrait;
    const ResultatExtraction r =
        ExtraireSegment(CheminFilm, destination, MarqueDebut, MarqueFin, nullptr, &extrait);
    if (r == ResultatExtraction::Genere && !preuves->ApresExtraction(destination, extrait))
        return;
    const char* message = MessageExtraction(r);
    if (message[0])
        AfficherMessage(message, std::string(), w_);
}

