#include "ui/copie_fenetre.h"

#include "core/boitemessage.h"
#include "core/etat.h"
#include "export/extraction.h"
#include "ui/exports_fenetre.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/preuves_fenetre.h"
#include "ui/travail_progression.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QPainter>


const char* const BulleCopieExacte =
    "Copie exacte : les images d'origine du film, non réencodées, avec le son et la date, "
    "en MP4 ou MKV (entre les marques Début et Fin quand elles sont posées)";

namespace {

const QColor Encre(0x20, 0x20, 0x20);
const QColor Clair(0xF0, 0xF0, 0xF0);

// One small film strip with its two frames, at (x, y), 9 x 11.
void Bande(QPainter& p, qreal x, qreal y, const QColor& encre)
{
    p.setBrush(encre);
    p.drawRect(QRectF(x, y, 9, 11));
    p.setBrush(Clair);
    for (int i = 0; i < 3; ++i) {
        p.drawRect(QRectF(x + 0.8, y + 1 + i * 3.5, 1.2, 1.8));
        p.drawRect(QRectF(x + 7, y + 1 + i * 3.5, 1.2, 1.8));
    }
    p.drawRect(QRectF(x + 2.8, y + 1.3, 3.4, 3.8));
    p.drawRect(QRectF(x + 2.8, y + 6, 3.4, 3.8));
}

std::string Local(const QString& chemin)
{
    return QFile::encodeName(chemin).toStdString();
}

} // namespace

QPixmap IconeCopieExacte()
{
    QPixmap icone(16, 16);
    icone.fill(Qt::transparent);
    QPainter p(&icone);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    // The original behind, greyed; the copy in front, outlined so the two
    // strips read apart.
    Bande(p, 1, 1, QColor(0x90, 0x90, 0x90));
    p.setPen(QPen(Clair, 1));
    Bande(p, 6, 4.5, Encre);
    return icone;
}

QString FiltreCopie(int type)
{
    const QString mp4 = QStringLiteral("Film MP4 (*.mp4)");
    const QString mkv = QStringLiteral("Film Matroska (*.mkv)");
    return QString::fromLatin1(ExtensionProposeeCopie(type)) == QLatin1String(".mkv") ? mkv + ";;" + mp4
                                                                                       : mp4 + ";;" + mkv;
}

CopieFenetre::CopieFenetre(TLecteurZR7_Principale* fenetre) : QObject(fenetre), w_(fenetre)
{
    setObjectName(QStringLiteral("CopieFenetre"));
}

CopieFenetre* CopieDe(TLecteurZR7_Principale* fenetre)
{
    auto* c = fenetre->findChild<CopieFenetre*>(QStringLiteral("CopieFenetre"), Qt::FindDirectChildrenOnly);
    return c ? c : new CopieFenetre(fenetre);
}

void CopieFenetre::BoutonCopieClick()
{
    if (DureeFilm == 0 || NbImagesFilm == 0) {
        AfficherMessage("Aucun film n'est ouvert", std::string(), w_);
        return;
    }
    w_->StopPlayback();
    w_->MotDePasseChange();
    const int type = TypeFilm;
    const QString extension = QString::fromLatin1(ExtensionProposeeCopie(type));
    w_->SaveDialog1.Filter = FiltreCopie(type);
    w_->SaveDialog1.DefaultExt = extension.mid(1);
    PreuvesFenetre* preuves = PreuvesDe(w_);
    preuves->PreparerDialogue(GenreExport::CopieExacte);
    w_->SaveDialog1.NomPropose = QFileInfo(QFile::decodeName(CheminFilm)).completeBaseName() + extension;
    const bool choisi = w_->SaveDialog1.Execute(w_);
    preuves->LireChoix();
    if (!choisi)
        return;
    ParametresCopie p;
    p.cheminFilm = CheminFilm;
    p.motDePasse = MotDePasseFilm;
    p.sortie = Local(w_->SaveDialog1.FileName);
    if (ConteneurPourSortie(p.sortie) == ConteneurCopie::Aucun)
        p.sortie += extension.toStdString();
    // The marks set on the slider make it a segment.
    const MarquesCurseur* marques = ExportsDe(w_)->Marques();
    if (marques->debutPose && marques->finPose && MarqueDebut < MarqueFin) {
        p.debutSecondes = MarqueDebut;
        p.finSecondes = MarqueFin;
    }
    if (QFile::exists(QFile::decodeName(p.sortie.c_str()))
        && PoserQuestion("Le fichier existe déjà.\nVoulez-vous l'écraser?", std::string(), w_)
               != ReponseMessage::Oui)
        return;
    derniersParametres = p;

    TacheProgression tache;
    tache.titre = QStringLiteral("Copie exacte");
    tache.total = NbImagesFilm;
    tache.texte = TexteProgressionCopie;
    tache.surProgression = surProgression;
    BilanCopie bilan;
    tache.travail = [&](const std::function<bool()>& annuler, const std::function<void(int64_t, int64_t)>& progression) {
        SuiviCopie s;
        s.annuler = annuler;
        s.progression = progression;
        bilan = CopierExacte(p, s);
    };
    ExecuterAvecProgression(w_, tache);
    dernierBilan = bilan;

    const BilanCopie& b = dernierBilan;
    if (b.resultat == ResultatCopie::Enregistree) {
        if (!preuves->RapportDemande()) {
            SupprimerRapportsPerimes(p.sortie);
        } else {
            FilmSource film;
            LireFilmSource(p.cheminFilm, film);
            InfosRapport infos = RapportCopie(film, p.sortie, b);
            if (EcrireRapportIntegrite(infos) != 0) {
                AfficherMessage(MessageRapportImpossible, std::string(), w_);
                return;
            }
        }
        AfficherMessage(TexteBilanCopie(b), std::string(), w_);
    } else if (b.resultat == ResultatCopie::SortieRefusee) {
        AfficherMessage(std::string(MessageCopie(b.resultat)) + " :\n" + b.raison, std::string(), w_);
    } else if (MessageCopie(b.resultat)[0]) {
        AfficherMessage(MessageCopie(b.resultat), std::string(), w_);
    }
}

