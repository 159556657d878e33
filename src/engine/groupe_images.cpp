#include "engine/groupe_images.h"

#include "engine/index_images.h"
#include "engine/lecture_exacte.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>

int64_t OctetsImageTenue(int32_t largeur, int32_t hauteur)
{
    return static_cast<int64_t>(largeur) * hauteur * 3 / 2;
}

void ImageTenue::Liberer::operator()(AVFrame* f) const
{
    av_frame_free(&f);
}

void GroupeImages::Preparer(int64_t cle, int64_t fin, int64_t aDecoder, int64_t debut, int64_t pas,
                            int64_t octetsMax)
{
    Vider();
    cle_ = cle;
    fin_ = fin;
    aDecoder_ = std::max<int64_t>(0, std::min(aDecoder, fin - cle));
    debut_ = std::max(cle, std::min(debut, fin));
    pas_ = std::max<int64_t>(1, pas);
    octetsMax_ = octetsMax;
    prochaine_ = cle;
}

void GroupeImages::Vider()
{
    images_.clear();
    flux_.Fermer();
    ouvert_ = false;
    cle_ = fin_ = prochaine_ = debut_ = -1;
    aDecoder_ = 0;
    pas_ = 1;
    octetsMax_ = 0;
}

void GroupeImages::Limiter(int64_t aDecoder)
{
    if (!Prepare())
        return;
    aDecoder_ = std::max(prochaine_ - cle_, std::min(aDecoder, aDecoder_));
}

const AVFrame* GroupeImages::Trouver(int64_t numero) const
{
    for (const ImageTenue& t : images_)
        if (t.numero == numero)
            return t.frame.get();
    return nullptr;
}

int GroupeImages::DecoderSuivante(DecodeurImages& decodeur, int type, const char* chemin, const IndexImages& index,
                                  const char* motDePasse)
{
    if (Complet() || prochaine_ >= index.Nombre())
        return -1;
    if (!ouvert_) {
        const DepartExact d = CalculerDepartExact(&index, 0, 0, cle_);
        if (!d.exact || flux_.OuvrirExact(chemin, d.octet, d.debutEntetes, d.finEntetes,
                                          static_cast<uint32_t>(cle_), motDePasse)
                            != FluxOuvert) {
            aDecoder_ = prochaine_ - cle_;
            return -1;
        }
        ouvert_ = true;
        decodeur.chercherImageSuivante = true;
        flux_.Avancer(decodeur.Synchroniser(type, flux_.Donnees(), flux_.Disponibles()));
    }
    flux_.Compacter();
    flux_.Remplir(motDePasse);
    if (!flux_.Reste()) {
        aDecoder_ = prochaine_ - cle_;
        return -1;
    }
    ImageTenue t;
    t.frame.reset(av_frame_alloc());
    ImageDecodee r;
    if (t.frame && decodeur.DecoderSansConvertir(type, flux_.Donnees(), flux_.Disponibles(), t.frame.get(), r) == 0) {
        flux_.Avancer(r.octetsUtilises);
        t.numero = prochaine_++;
        octetsImage_ = OctetsImageTenue(t.frame->width, t.frame->height);
        // Below the kept part: a reference only.
        if (t.numero < debut_)
            return 0;
        RangerImage(images_, std::move(t), pas_, octetsMax_, octetsImage_, debut_);
        return 0;
    }
    // An undecodable picture: moved over, its number kept for the next.
    PlaceImage p;
    if (PlacerImage(type, flux_.Donnees(), flux_.Disponibles(), p) != 0) {
        aDecoder_ = prochaine_ - cle_;
        return -1;
    }
    flux_.Avancer(p.fin);
    decodeur.chercherImageSuivante = true;
    ++prochaine_;
    return 1;
}
