#include "ui/preuves_fenetre.h"

#include "core/boitemessage.h"
#include "core/etat.h"
#include "engine/fichierfilm.h"
#include "export/incrustation.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/reglages.h"

#include <QApplication>
#include <QFile>

const char* const LibelleRapportIntegrite = "Rapport d'intégrité";
const char* const LibelleIncrusterDate = "Incruster la date";

PreuvesFenetre::PreuvesFenetre(TLecteurZR7_Principale* fenetre) : QObject(fenetre), w_(fenetre)
{
    setObjectName(QStringLiteral("PreuvesFenetre"));
}

PreuvesFenetre* PreuvesDe(TLecteurZR7_Principale* fenetre)
{
    auto* p = fenetre->findChild<PreuvesFenetre*>(QStringLiteral("PreuvesFenetre"), Qt::FindDirectChildrenOnly);
    return p ? p : new PreuvesFenetre(fenetre);
}

void PreuvesFenetre::PreparerDialogue(GenreExport genre)
{
    genre_ = genre;
    LireFilmSource(CheminFilm, film_);
    hachage_.reset();
    auto& dialogue = w_->SaveDialog1;
    dialogue.Cases.clear();
    dialogue.NomPropose.clear();
    dialogue.Cases.push_back(
        CaseDialogue{QString::fromUtf8(LibelleRapportIntegrite), LireReglage(QString::fromLatin1(CleRapportIntegrite), true).toBool()});
    if (genre == GenreExport::Avi)
        dialogue.Cases.push_back(CaseDialogue{QString::fromUtf8(LibelleIncrusterDate), IncrustationParDefaut(film_)});
    if (genre == GenreExport::Photo) {
        // The picture on screen, as the reader last handed it over; before
        // any picture, the position of the slider.
        const int r = PrendreMutexVoie(0);
        const int64_t image = Voies[0].ImageMontree;
        const int64_t ms = Voies[0].MsImageMontree;
        if (r == 0)
            RendreMutexVoie(0);
        if (image >= 0) {
            imagePhoto_ = image;
            secondesPhoto_ = ms / 1000.0;
        } else {
            secondesPhoto_ = PositionSecondes;
            const double duree = film_.DureeSecondes();
            imagePhoto_ = duree > 0 ? int64_t(film_.nbImages * (secondesPhoto_ / duree)) : 0;
        }
        dialogue.NomPropose = QFile::decodeName(NomPhotoProposee(film_, secondesPhoto_).c_str());
    }
}

void PreuvesFenetre::LireChoix()
{
    auto& dialogue = w_->SaveDialog1;
    for (const CaseDialogue& c : dialogue.Cases) {
        if (c.libelle == QString::fromUtf8(LibelleRapportIntegrite)) {
            rapport_ = c.cochee;
            EcrireReglage(QString::fromLatin1(CleRapportIntegrite), rapport_);
        } else if (c.libelle == QString::fromUtf8(LibelleIncrusterDate)) {
            incruster_ = c.cochee;
        }
    }
    if (genre_ != GenreExport::Avi)
        incruster_ = false;
    dialogue.Cases.clear();
    dialogue.NomPropose.clear();
}

void PreuvesFenetre::CompleterSuiviAvi(std::function<void(const unsigned char*, size_t)>& observateur,
                                       CrochetImageAvi& crochet)
{
    hachage_.reset();
    if (rapport_) {
        auto hachage = std::make_shared<HachageSource>(TailleFichier(film_.chemin));
        hachage_ = hachage;
        auto avant = observateur;
        observateur = [hachage, avant](const unsigned char* octets, size_t nb) {
            hachage->Ajouter(octets, nb);
            if (avant)
                avant(octets, nb);
        };
    }
    if (incruster_) {
        auto avant = crochet;
        auto date = CrochetIncrustation(film_);
        crochet = [avant, date](unsigned char* b, int32_t t, int32_t l, int32_t h, int64_t n) {
            if (avant)
                avant(b, t, l, h, n);
            date(b, t, l, h, n);
        };
    }
}

bool PreuvesFenetre::Ecrire(InfosRapport infos)
{
    if (!rapport_) {
        SupprimerRapportsPerimes(infos.sortie.chemin);
        return true;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int r = EcrireRapportIntegrite(infos);
    QApplication::restoreOverrideCursor();
    if (r == 0)
        return true;
    AfficherMessage(MessageRapportImpossible, std::string(), w_);
    return false;
}

bool PreuvesFenetre::ApresAvi(const std::string& cheminAvi, uint32_t cadenceMillieme, int64_t echantillons)
{
    const std::string sha = hachage_ ? hachage_->Resultat() : std::string();
    hachage_.reset();
    return Ecrire(RapportAvi(film_, cheminAvi, cadenceMillieme, echantillons, incruster_, sha));
}

bool PreuvesFenetre::ApresExtraction(const std::string& destination, const Extrait& extrait)
{
    return Ecrire(RapportExtraction(film_, destination, extrait.DebutSecondes, extrait.FinSecondes,
                                    extrait.PremiereImage, extrait.NbImages));
}

bool PreuvesFenetre::ApresPhoto(const std::string& jpeg)
{
    return Ecrire(RapportPhoto(film_, jpeg, imagePhoto_, secondesPhoto_));
}

void PreuvesFenetre::CommenterPhoto(std::vector<unsigned char>& jpeg) const
{
    AjouterCommentaireJpeg(jpeg, CommentairePhotoFilm(film_, secondesPhoto_));
}
