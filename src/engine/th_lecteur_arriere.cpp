// Backwards playback of the reader thread (Sens = -1): a segment of the
// key group before the picture on screen is decoded and its pictures are
// shown in reverse order, while the segment before it is decoded in the
// waits between them. What to do next is DeciderArriere's choice and which
// pictures a segment keeps SegmentPrecedent's (regle_retard.h): this loop
// only carries them out, on the film, the decoder and the clock.
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
    NoterFilmSuite(type, chemin);
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

    // The segment shown and the one before it, decoded meanwhile.
    std::unique_ptr<GroupeImages> groupeCourant(new GroupeImages), groupeSuivant(new GroupeImages);
    // At the end of the run the pictures of the segment shown stay for the
    // backward picture steps.
    struct Garder {
        std::unique_ptr<GroupeImages>& de;
        std::unique_ptr<GroupeImages>& vers;
        ~Garder() { std::swap(de, vers); }
    } garder{groupeCourant, tenues_};
    GroupeImages* courant = groupeCourant.get();
    GroupeImages* suivant = groupeSuivant.get();
    // Half the room for kept pictures to each segment: the one shown and
    // the one decoded meanwhile never hold more than the room together.
    const int64_t octetsSegment = MemoireImagesTenuesOctets / 2;
    {
        const int64_t cle = index->CleAuPlusTard(depart.image);
        courant->Preparer(cle, depart.image + 1, depart.image + 1 - cle, cle, 1, octetsSegment);
    }
    bool debutAtteint = false;
    // Whether the segment shown, and the one before, are parts of a group
    // too large to be kept whole (then time is kept by the rule at x 1 too).
    bool coupeCourant = false, coupeSuivant = false, premierGroupe = true;
    const auto imageDue = [&](double dansMs) {
        // Past the film's start, its first picture.
        return ancree ? std::max<int64_t>(0, ImageDueEnArriere(ancreImage, MaintenantPrecis() + dansMs - ancreMs,
                                                               IntervalleReelMs(dureeMs, nbImagesEntete, vitesse)))
                      : int64_t(-1);
    };
    const auto preparerSuivant = [&]() {
        EtatSegment e;
        e.fin = courant->Debut();
        e.chaqueImage = !(vitesse > 1.0);
        e.intervalleMs = IntervalleReelMs(dureeMs, nbImagesEntete, vitesse);
        e.coutImageMs = coutDecodageMs_;
        // Every picture shown: from the one before, however late.
        if (!(e.chaqueImage && !coupeCourant))
            e.due = imageDue(2.0 * coutDecodageMs_);
        const int64_t octets = courant->OctetsImage();
        e.gardeesMax = octets > 0 ? std::max<int64_t>(1, octetsSegment / octets) : 0;
        SegmentArriere seg;
        if (!SegmentPrecedent(e, cleAuPlusTard, seg)) {
            suivant->Vider();
            debutAtteint = true;
            return;
        }
        coupeSuivant = seg.coupe;
        suivant->Preparer(seg.cle, seg.fin, seg.aDecoder, seg.debut, seg.pas, octetsSegment);
    };
    // Decodes one more picture of a segment.
    const auto decoderUne = [&](GroupeImages& g) {
        const double debut = MaintenantPrecis();
        if (g.DecoderSuivante(decodeur_, type, chemin, *index, motDePasse) == 0)
            coutDecodageMs_ = MoyenneCout(coutDecodageMs_, MaintenantPrecis() - debut);
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

        // The clock starts from the first picture the run can show.
        if (!ancree && courant->Complet()) {
            ancree = true;
            ancreMs = MaintenantPrecis();
            ancreImage = courant->Images().empty() ? courant->Debut() - 1 : courant->Images().back().numero;
        }
        if (premierGroupe && courant->Complet()) {
            // The run's first group keeps its top within its room.
            premierGroupe = false;
            coupeCourant = courant->Debut() > courant->Cle();
        }
        const std::deque<ImageTenue>& images = courant->Images();
        EtatArriere e;
        e.intervalleMs = intervalle;
        e.maintenantMs = MaintenantPrecis() - ancreMs;
        e.ancreImage = ancreImage;
        e.dernierMontreMs = dernierMontreMs - ancreMs;
        e.coutImageMs = coutDecodageMs_;
        // At x 1 and slower every picture is shown, but for a group shown in
        // parts: there the rule keeps time if decoding twice falls behind.
        e.toutMontrer = !(vitesse > 1.0) && !coupeCourant && !garderLePas_;
        e.courantComplet = courant->Complet();
        e.haut = images.empty() ? -1 : images.back().numero;
        e.apres = images.size() < 2 ? -1 : images[images.size() - 2].numero;
        e.suivantPrepare = suivant->Prepare();
        e.suivantComplet = suivant->Complet();
        e.suivantCle = suivant->Cle();
        e.suivantProchaine = suivant->Prochaine();
        e.suivantDebut = suivant->Debut();
        e.suivantGardees = static_cast<int64_t>(suivant->Images().size());
        e.debutAtteint = debutAtteint;
        if (ancree && !e.toutMontrer) {
            const int64_t due = ImageDueEnArriere(ancreImage, e.maintenantMs + coutDecodageMs_, intervalle);
            e.cleDue = due >= 0 ? index->CleAuPlusTard(due) : 0;
        }

        const DecisionArriere d = DeciderArriere(e);
        switch (d.action) {
        case ActionArriere::DecoderCourant:
            decoderUne(*courant);
            break;
        case ActionArriere::Preparer:
            preparerSuivant();
            break;
        case ActionArriere::DecoderSuivant:
            decoderUne(*suivant);
            break;
        case ActionArriere::Echanger:
            suivant->Limiter(0); // what is decoded so far is all of it
            std::swap(courant, suivant);
            std::swap(groupeCourant, groupeSuivant);
            std::swap(coupeCourant, coupeSuivant);
            suivant->Vider();
            break;
        case ActionArriere::Attendre: {
            const double reste = std::min(d.attenteMs, PasAttenteArriereMs);
            if (!Dormir(std::max(1, static_cast<int>(reste))))
                return Suite::Fin;
            break;
        }
        case ActionArriere::Debut:
            SignalerDebutDeFilm();
            return AttendreFinDeRun();
        case ActionArriere::Montrer:
        case ActionArriere::Passer: {
            ImageTenue& haut = courant->Images().back();
            const int64_t numero = haut.numero;
            if (d.action == ActionArriere::Montrer) {
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
            break;
        }
        }
    }
}
