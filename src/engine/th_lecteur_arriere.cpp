// Backwards playback of the reader thread (Sens = -1): the key group
// before the picture on screen is decoded and its pictures are shown in
// reverse order, while the group before it is decoded in the waits between
// them. Pacing and late pictures follow the same rule as forwards
// (regle_retard.h), counted backwards from the run's anchor.
#include "engine/th_lecteur_magneto.h"

#include "core/etat.h"
#include "engine/cadence.h"
#include "engine/groupe_images.h"
#include "engine/index_images.h"
#include "engine/lecture_exacte.h"
#include "engine/motdepasse.h"
#include "engine/regle_retard.h"
#include "engine/th_indexeur.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cmath>

namespace {

// Longest sleep between two looks at the commands while waiting for a
// picture's due time.
constexpr double PasAttenteArriereMs = 10.0;

} // namespace

// Raised once the film's first picture has been shown backwards; only by
// the run that is still the current one.
void Th_Lecteur_Magneto::SignalerDebutDeFilm()
{
    const int r = PrendreMutexVoie(Voie());
    ::Voie& v = Voies[Voie()];
    if (v.FlagLecture != 0 && v.NumeroDemande == numeroRun_ && v.Sens == sens_)
        v.FlagDebutDeFilm = 1;
    if (r == 0)
        RendreMutexVoie(Voie());
}

Th_Lecteur_Magneto::Suite Th_Lecteur_Magneto::RunArriere(const char* chemin, int type, int32_t seconde,
                                                         uint32_t dureeSecondes)
{
    const int voie = Voie();
    ::Voie& v = Voies[voie];
    // The decoder goes over to the key groups: a kept forward stream no
    // longer follows it.
    OublierSuite();
    typeSuite_ = type;
    CopierTexte(cheminSuite_, sizeof cheminSuite_, chemin);
    char motDePasse[LongueurMotDePasse + 1];
    CopierTexte(motDePasse, sizeof motDePasse, v.MotDePasseFilm);

    // Backwards needs the key pictures of the index: until it is published
    // the run waits, showing what is on screen.
    std::shared_ptr<const IndexImages> index;
    for (;;) {
        index = IndexFilm(chemin);
        if (index && index->Nombre() > 0)
            break;
        if (!RunCourant(false))
            return Suite::Repos;
        if (!Dormir(AttenteReessaiMs))
            return Suite::Fin;
    }
    const DepartExact depart = DepartExactDuRun(voie, chemin, seconde, dureeSecondes, false);
    suivi_.Debuter(depart);
    if (!depart.exact)
        return Suite::Repos;
    // The header's count and duration give the interval, as forwards.
    uint32_t nbImagesEntete = 0, dureeMs = 0;
    {
        FluxFilm entete;
        if (entete.OuvrirExact(chemin, depart.octet, -1, -1, 0, motDePasse) != FluxOuvert) {
            SignalerFinDeFilm();
            return AttendreFinDeRun();
        }
        nbImagesEntete = entete.NbImages();
        dureeMs = entete.DureeMs();
    }
    const uint32_t nbImages = static_cast<uint32_t>(index->Nombre());
    const auto cleAuPlusTard = [&index](int64_t k) { return index->CleAuPlusTard(k); };

    bool ancree = false;
    double ancreMs = 0;
    int64_t ancreImage = depart.image;
    double dernierMontreMs = -1.0e18;
    double vitesse = LireVitesse();
    int64_t tailleImage = 0; // bytes of one kept picture, once known

    // The group shown and the one before it, decoded meanwhile.
    std::unique_ptr<GroupeImages> groupeCourant(new GroupeImages), groupeSuivant(new GroupeImages);
    // At the end of the run the pictures of the group shown stay for the
    // backward picture steps.
    struct Garder {
        std::unique_ptr<GroupeImages>& de;
        std::unique_ptr<GroupeImages>& vers;
        ~Garder() { std::swap(de, vers); }
    } garder{groupeCourant, tenues_};
    GroupeImages* courant = groupeCourant.get();
    GroupeImages* suivant = groupeSuivant.get();
    courant->Preparer(index->CleAuPlusTard(depart.image), depart.image + 1, depart.image + 1);
    bool debutAtteint = false;
    const auto preparerSuivant = [&]() {
        const double intervalle = IntervalleReelMs(dureeMs, nbImagesEntete, vitesse);
        // A late run goes on from the picture due once the group is
        // decoded, not from the one just before the group shown (with MJPEG,
        // where every picture is a key picture, this is what passes
        // pictures by).
        int64_t fin = courant->Cle();
        if (ancree && vitesse > 1.0 && intervalle > 0) {
            const double t = MaintenantPrecis() + 2.0 * coutDecodageMs_ - ancreMs;
            const int64_t due = ancreImage - static_cast<int64_t>(std::floor(t / intervalle));
            fin = std::max<int64_t>(std::min(fin, due + 1), std::min<int64_t>(fin, 1));
        }
        int64_t cle = -1;
        if (!GroupePrecedent(fin, cleAuPlusTard, cle)) {
            suivant->Vider();
            return;
        }
        int64_t n = ImagesADecoderEnArriere(fin - cle, intervalle, coutDecodageMs_);
        if (tailleImage > 0)
            n = std::min<int64_t>(n, std::max<int64_t>(1, MemoireImagesTenuesOctets / tailleImage));
        suivant->Preparer(cle, fin, n);
    };
    // Decodes one more picture of a group; false when it is complete.
    const auto decoderUne = [&](GroupeImages& g) {
        const double debut = MaintenantPrecis();
        const int r = g.DecoderSuivante(decodeur_, type, chemin, *index, motDePasse);
        if (r == 0) {
            coutDecodageMs_ = MoyenneCout(coutDecodageMs_, MaintenantPrecis() - debut);
            const AVFrame* f = g.Images().back().frame.get();
            tailleImage = OctetsImageTenue(f->width, f->height);
        }
        return r >= 0;
    };

    for (;;) {
        if (DoitSArreter())
            return Suite::Fin;
        if (!RunCourant(false))
            return Suite::Repos;
        // Pause, speed: the pictures are due from a new anchor.
        bool pause = false;
        if (!AttendreFinDePause(pause))
            return Suite::Fin;
        if (pause)
            ancree = false;
        const double lue = LireVitesse();
        if (lue != vitesse) {
            vitesse = lue;
            ancree = false;
        }
        v.IntervalleImage = IntervalleImageMs(dureeMs, nbImagesEntete, vitesse);
        const double intervalle = IntervalleReelMs(dureeMs, nbImagesEntete, vitesse);

        if (!courant->Complet()) {
            // The run's first group is decoded before any of it is shown.
            decoderUne(*courant);
            continue;
        }
        if (courant->Images().empty()) {
            if (debutAtteint || (courant->Cle() == 0 && !suivant->Prepare())) {
                SignalerDebutDeFilm();
                return AttendreFinDeRun();
            }
            if (!suivant->Prepare())
                preparerSuivant();
            if (!suivant->Prepare()) {
                debutAtteint = true;
                continue;
            }
            while (!suivant->Complet() && decoderUne(*suivant)) {
                if (DoitSArreter())
                    return Suite::Fin;
            }
            std::swap(courant, suivant);
            std::swap(groupeCourant, groupeSuivant);
            suivant->Vider();
            preparerSuivant();
            continue;
        }
        if (courant->Complet() && !suivant->Prepare() && courant->Cle() > 0)
            preparerSuivant();

        ImageTenue& haut = courant->Images().back();
        const int64_t numero = haut.numero;
        if (!ancree) {
            ancree = true;
            ancreMs = MaintenantPrecis();
            ancreImage = numero;
        }
        EtatImage e;
        e.intervalleMs = intervalle;
        e.ecart = ancreImage - numero;
        e.dernierMontreMs = dernierMontreMs - ancreMs;
        // Until its due time: the group before is decoded meanwhile, within
        // the room for kept pictures.
        const double echeance = ancreMs + EcheanceMs(e.ecart, intervalle);
        for (;;) {
            const double maintenant = MaintenantPrecis();
            if (maintenant >= echeance - 0.5)
                break;
            const int64_t tenues = static_cast<int64_t>(courant->Images().size() + suivant->Images().size());
            const bool place = tailleImage == 0 || (tenues + 1) * tailleImage <= MemoireImagesTenuesOctets;
            if (suivant->Prepare() && !suivant->Complet() && place
                && maintenant + coutDecodageMs_ < echeance) {
                decoderUne(*suivant);
                continue;
            }
            const double reste = std::min(echeance - maintenant, PasAttenteArriereMs);
            if (reste >= 1.0 && !Dormir(static_cast<int>(reste)))
                return Suite::Fin;
            if (!RunCourant(false))
                return Suite::Repos;
        }
        e.maintenantMs = MaintenantPrecis() - ancreMs;
        e.toutMontrer = !(vitesse > 1.0);
        if (ChoisirImage(e) == ChoixImage::Montrer) {
            ImageDecodee image;
            image.hauteur = haut.frame->height;
            image.largeur = haut.frame->width;
            av_frame_unref(frame_.get());
            av_frame_move_ref(frame_.get(), haut.frame.get());
            MontrerImage(image, true, numero, dureeMs, nbImages);
            av_frame_unref(frame_.get());
            dernierMontreMs = MaintenantPrecis();
        }
        courant->Images().pop_back();
        if (numero == 0) {
            SignalerDebutDeFilm();
            return AttendreFinDeRun();
        }
    }
}
