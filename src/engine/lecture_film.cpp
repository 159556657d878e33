#include "engine/lecture_film.h"

#include "codecs/bitmap.h"
#include "codecs/decoupage.h"
#include "codecs/korcodecs.h"
#include "core/ouverture.h"
#include "engine/fichierfilm.h"
#include "engine/motdepasse.h"
#include "engine/reperes.h"

#include <turbojpeg.h>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Largest bitmap file image the reader's picture buffer holds.
constexpr int32_t TailleBufferImageMax = KOR_BITMAP_TAILLE_MAX;
// Fastest JPEG decoding, straight into bottom-up B, G, R bitmap rows.
constexpr int DrapeauxJpeg = TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE | TJFLAG_BOTTOMUP;

uint32_t LireMot(const unsigned char* o)
{
    return static_cast<uint32_t>(o[0]) | static_cast<uint32_t>(o[1]) << 8
           | static_cast<uint32_t>(o[2]) << 16 | static_cast<uint32_t>(o[3]) << 24;
}

} // namespace

// ---- FluxFilm

void FluxFilm::FermerFichier::operator()(FILE* f) const
{
    if (f != nullptr)
        std::fclose(f);
}

FluxFilm::FluxFilm() = default;
FluxFilm::~FluxFilm() = default;

void FluxFilm::Fermer()
{
    fichier_.reset();
    tampon_.reset();
    debut_ = tamponne_ = consomme_ = 0;
    restant_ = lus_ = 0;
}

void FluxFilm::Echanger(FluxFilm& autre)
{
    using std::swap;
    swap(chemin_, autre.chemin_);
    swap(fichier_, autre.fichier_);
    swap(tampon_, autre.tampon_);
    swap(debut_, autre.debut_);
    swap(tamponne_, autre.tamponne_);
    swap(consomme_, autre.consomme_);
    swap(restant_, autre.restant_);
    swap(lus_, autre.lus_);
    swap(tailleFichier_, autre.tailleFichier_);
    swap(nbImages_, autre.nbImages_);
    swap(dureeMs_, autre.dureeMs_);
    swap(imageBase_, autre.imageBase_);
    swap(erreurSysteme_, autre.erreurSysteme_);
}

int32_t FluxFilm::LireMorceau(unsigned char* ou, int32_t voulu, const char* motDePasse)
{
    const size_t lu = std::fread(ou, 1, static_cast<size_t>(voulu), fichier_.get());
    // The password is checked for every chunk: a password typed during
    // playback changes the descrambling of the chunks read afterwards.
    if (lu > 0 && VerifierMotDePasse(chemin_.c_str(), motDePasse) == 1)
        Desembrouiller(ou, static_cast<int>(lu));
    return static_cast<int32_t>(lu);
}

OuvertureFlux FluxFilm::OuvrirFichierEtEntete(const char* chemin)
{
    Fermer();
    erreurSysteme_ = 0;
    chemin_ = chemin != nullptr ? chemin : "";
    // A FIFO, device or folder named like the film is refused, never waited on.
    fichier_.reset(OuvrirFichierOrdinaire(chemin_.c_str()));
    if (!fichier_)
        return FluxSansFichier;
    tailleFichier_ = 0;
    if (fseeko(fichier_.get(), 0, SEEK_END) == 0)
        tailleFichier_ = ftello(fichier_.get());
    if (tailleFichier_ < 0 || fseeko(fichier_.get(), 0, SEEK_SET) != 0)
        tailleFichier_ = 0;

    tampon_.reset(new (std::nothrow) unsigned char[TailleTamponFlux]);
    if (!tampon_) {
        erreurSysteme_ = errno;
        Fermer();
        return FluxSansMemoire;
    }

    unsigned char entete[TailleEnteteFilm];
    if (std::fread(entete, 1, sizeof entete, fichier_.get()) != sizeof entete) {
        Fermer();
        return FluxEnteteInvalide;
    }
    nbImages_ = LireMot(entete);
    dureeMs_ = LireMot(entete + 4);
    if (nbImages_ == 0 || dureeMs_ == 0) {
        Fermer();
        return FluxEnteteInvalide;
    }

    return FluxOuvert;
}

OuvertureFlux FluxFilm::Ouvrir(const char* chemin, int32_t seconde, uint32_t dureeSecondes,
                               const char* motDePasse)
{
    const OuvertureFlux entete = OuvrirFichierEtEntete(chemin);
    if (entete != FluxOuvert)
        return entete;

    const PositionDepart depart = PositionPourSeconde(tailleFichier_, nbImages_, dureeSecondes, seconde);
    restant_ = tailleFichier_;
    imageBase_ = depart.ImageEstimee;
    // Bytes from the read position to the end of the file: all of them are
    // read, the last picture included.
    if (depart.Octet > TailleEnteteFilm) {
        if (fseeko(fichier_.get(), static_cast<off_t>(depart.Octet), SEEK_SET) != 0) {
            Fermer();
            return FluxMorceauCourt;
        }
        restant_ -= depart.Octet;
    } else {
        restant_ -= TailleEnteteFilm;
    }
    if (restant_ < 0)
        restant_ = 0;

    const int32_t voulu = static_cast<int32_t>(std::min<int64_t>(restant_, TailleMorceauFlux));
    const int32_t lu = LireMorceau(tampon_.get(), voulu, motDePasse);
    if (lu < voulu) {
        Fermer();
        return FluxMorceauCourt;
    }
    tamponne_ = lu;
    lus_ = lu;
    debut_ = consomme_ = 0;
    return FluxOuvert;
}

OuvertureFlux FluxFilm::OuvrirExact(const char* chemin, int64_t octet, int64_t debutEntetes,
                                    int64_t finEntetes, uint32_t image, const char* motDePasse)
{
    const OuvertureFlux entete = OuvrirFichierEtEntete(chemin);
    if (entete != FluxOuvert)
        return entete;
    if (octet < TailleEnteteFilm || octet > tailleFichier_) {
        Fermer();
        return FluxEnteteInvalide;
    }
    imageBase_ = image;
    int32_t prefixe = 0;
    if (debutEntetes >= TailleEnteteFilm && finEntetes > debutEntetes && finEntetes - debutEntetes <= ReserveFlux
        && finEntetes <= tailleFichier_) {
        prefixe = static_cast<int32_t>(finEntetes - debutEntetes);
        if (fseeko(fichier_.get(), static_cast<off_t>(debutEntetes), SEEK_SET) != 0
            || LireMorceau(tampon_.get(), prefixe, motDePasse) != prefixe) {
            Fermer();
            return FluxMorceauCourt;
        }
    }
    if (fseeko(fichier_.get(), static_cast<off_t>(octet), SEEK_SET) != 0) {
        Fermer();
        return FluxMorceauCourt;
    }
    restant_ = tailleFichier_ - octet;
    const int32_t voulu = static_cast<int32_t>(std::min<int64_t>(restant_, TailleMorceauFlux));
    const int32_t lu = LireMorceau(tampon_.get() + prefixe, voulu, motDePasse);
    if (lu < voulu) {
        Fermer();
        return FluxMorceauCourt;
    }
    tamponne_ = prefixe + lu;
    lus_ = lu;
    debut_ = consomme_ = 0;
    return FluxOuvert;
}

int32_t FluxFilm::Remplir(const char* motDePasse)
{
    if (!fichier_ || !tampon_ || lus_ >= restant_ || tamponne_ - consomme_ >= ReserveFlux)
        return 0;
    if (debut_ > 0) {
        // The held data goes to the start of the buffer, for the chunk to fit.
        std::memmove(tampon_.get(), tampon_.get() + debut_, static_cast<size_t>(tamponne_ - debut_));
        tamponne_ -= debut_;
        consomme_ -= debut_;
        debut_ = 0;
    }
    if (tamponne_ >= RemplissageMaxFlux)
        return 0;
    const int32_t voulu = static_cast<int32_t>(std::min<int64_t>(restant_ - lus_, TailleMorceauFlux));
    const int32_t lu = LireMorceau(tampon_.get() + tamponne_, voulu, motDePasse);
    if (lu <= 0) {
        // A file that ends early (cut while playing) ends the run instead
        // of being asked for its missing bytes for ever.
        restant_ = lus_;
        return 0;
    }
    lus_ += lu;
    tamponne_ += lu;
    return lu;
}

void FluxFilm::Compacter()
{
    if (!tampon_)
        return;
    if (consomme_ >= tamponne_) {
        debut_ = tamponne_ = consomme_ = 0;
        return;
    }
    if (tamponne_ - consomme_ >= ReserveFlux) {
        debut_ = consomme_;
        return;
    }
    if (consomme_ > 0)
        std::memmove(tampon_.get(), tampon_.get() + consomme_, static_cast<size_t>(tamponne_ - consomme_));
    tamponne_ -= consomme_;
    debut_ = consomme_ = 0;
}

// ---- DecodeurImages

void DecodeurImages::DetruireTj::operator()(void* h) const
{
    if (h != nullptr)
        tjDestroy(static_cast<tjhandle>(h));
}

DecodeurImages::DecodeurImages(int instance) : instance_(instance), jpeg_(tjInitDecompress()) {}

DecodeurImages::~DecodeurImages()
{
    Fermer();
}

void DecodeurImages::Ouvrir(int type)
{
    if (type == TypeMpeg4)
        KORMP4_DEC_Init(instance_);
    else if (type == TypeH264)
        KORH264_InitDecodeur(instance_);
    ouvert_ = true;
    typeOuvert_ = type;
    synchronise = false;
}

void DecodeurImages::Fermer()
{
    if (!ouvert_)
        return;
    if (typeOuvert_ == TypeMpeg4)
        KORMP4_DEC_Termine(instance_);
    else if (typeOuvert_ == TypeH264)
        KORH264_FermeDecodeur(instance_);
    ouvert_ = false;
    typeOuvert_ = -1;
}

void DecodeurImages::Echanger(DecodeurImages& autre)
{
    using std::swap;
    // The stream's decoding state only: each keeps its converter (its
    // conversion context stays warm) and what it showed.
    swap(instance_, autre.instance_);
    swap(ouvert_, autre.ouvert_);
    swap(typeOuvert_, autre.typeOuvert_);
    swap(chercherImageSuivante, autre.chercherImageSuivante);
    swap(synchronise, autre.synchronise);
}

int32_t DecodeurImages::Synchroniser(int type, unsigned char* d, int32_t n)
{
    if (type == TypeMpeg4 && !synchronise) {
        const int32_t i = ChercherDebutMpeg4(d, n);
        if (i >= 0) {
            synchronise = true;
            return i;
        }
    } else if (type == TypeH264) {
        int32_t nombre = 0;
        const int32_t r = KORH264_ChercheImageRef(d, n, &nombre);
        if (r >= 0) {
            synchronise = true;
            chercherImageSuivante = false;
            return r;
        }
    }
    return 0;
}

void DecodeurImages::NouvelleInstanceJpeg()
{
    // After a fatal error the decompressor can stay in a state where it
    // refuses every later picture: start again from a fresh one.
    jpeg_.reset(tjInitDecompress());
}

int DecodeurImages::DecoderJpeg(unsigned char* d, int32_t n, unsigned char* sortie,
                                int32_t capacite, ImageDecodee& r)
{
    int32_t a = 0, e = 0;
    if (ChercherImageJpeg(d, std::min(n, FenetreMjpeg), &a, &e) != 0)
        return -1;
    const unsigned char* jpeg = d + a;
    const unsigned long taille = static_cast<unsigned long>(e + 2 - a);
    r.octetsUtilises = e + 2;
    tjhandle h = static_cast<tjhandle>(jpeg_.get());
    if (h == nullptr)
        return -1;
    int largeur = 0, hauteur = 0, sousEch = 0, couleurs = 0;
    if (tjDecompressHeader3(h, jpeg, taille, &largeur, &hauteur, &sousEch, &couleurs) != 0) {
        NouvelleInstanceJpeg();
        return 0; // rejected by the decoder: a good picture that shows nothing
    }
    // A header may claim any size up to 65535 x 65535: refuse what the
    // picture buffer cannot hold instead of decoding into it.
    const int32_t tailleBitmap = BitmapTailleFichier(largeur, hauteur);
    if (largeur > DimensionMaxJpeg || hauteur > DimensionMaxJpeg || tailleBitmap <= 0
        || tailleBitmap > capacite) {
        r.octetsUtilises = 0;
        return -1;
    }
    BitmapEcrireEntete(sortie, largeur, hauteur);
    const int pas = BitmapTailleLigne(largeur);
    if (tjDecompress2(h, jpeg, taille, sortie + KOR_BITMAP_ENTETE, largeur, pas, hauteur, TJPF_BGR,
                      DrapeauxJpeg)
            != 0
        && tjGetErrorCode(h) != TJERR_WARNING) {
        NouvelleInstanceJpeg();
        return 0;
    }
    // Row padding is not written by the decoder: keep it zero as in a file.
    const int utiles = largeur * 3;
    if (pas > utiles) {
        for (int y = 0; y < hauteur; ++y)
            std::memset(sortie + KOR_BITMAP_ENTETE + static_cast<size_t>(y) * pas + utiles, 0,
                        static_cast<size_t>(pas - utiles));
    }
    if (hauteurImage_ <= 0 || largeurImage_ <= 0) {
        hauteurImage_ = hauteur;
        largeurImage_ = largeur;
    }
    r.taille = tailleBitmap;
    return 0;
}

int DecodeurImages::Decoder(int type, unsigned char* d, int32_t n, unsigned char* sortie,
                            int32_t capacite, ImageDecodee& r)
{
    r = ImageDecodee();
    if (d == nullptr || n <= 0 || sortie == nullptr)
        return -1;
    ++nbDecodages_;
    if (type == TypeMjpeg) {
        const int res = DecoderJpeg(d, n, sortie, capacite, r);
        r.hauteur = hauteurImage_;
        r.largeur = largeurImage_;
        return res;
    }
    int32_t taille = 0, utilises = 0, largeur = 0, hauteur = 0;
    if (type == TypeMpeg4) {
        unsigned char cle = 0;
        const int32_t res = KORMP4_DEC_GetFrameCap(instance_, d, std::min(n, FenetreMpeg4), sortie,
                                                   capacite, &taille, 0, &utilises, &cle, &largeur,
                                                   &hauteur);
        r.resultat = res;
        if (res != 0)
            return -1;
        r.cle = cle != 0;
        if (r.cle)
            synchronise = true;
    } else if (type == TypeH264) {
        const int32_t u = DebutImageH264(d, n);
        if (u < 0)
            return -1;
        r.decalage = u;
        const int32_t res = KORH264_DecodePaquetCap(instance_, d + u, std::min(n - u, FenetreH264),
                                                    sortie, capacite, &taille, &utilises, 0,
                                                    &hauteur, &largeur);
        r.resultat = res;
        if (res != 0)
            return -1;
    } else {
        return -1;
    }
    r.taille = taille;
    // A decoder that reports no bytes used would stall the stream.
    r.octetsUtilises = r.decalage + std::max(utilises, 1);
    r.hauteur = hauteur;
    r.largeur = largeur;
    return 0;
}

int32_t DecodeurImages::DebutImageH264(unsigned char* d, int32_t n)
{
    if (!chercherImageSuivante) {
        chercherImageSuivante = true;
        return 0;
    }
    return KORH264_ChercheImage(d, n);
}

void DecodeurImages::LibererSws::operator()(SwsContext* s) const
{
    sws_freeContext(s);
}

int DecodeurImages::DecoderSansConvertir(int type, unsigned char* d, int32_t n, AVFrame* image,
                                         ImageDecodee& r)
{
    r = ImageDecodee();
    if (d == nullptr || n <= 0 || image == nullptr)
        return -1;
    ++nbDecodages_;
    int32_t utilises = 0, largeur = 0, hauteur = 0;
    if (type == TypeMpeg4) {
        unsigned char cle = 0;
        const int32_t res = KORMP4_DEC_GetFrameImage(instance_, d, std::min(n, FenetreMpeg4), image, &utilises,
                                                     &cle, &largeur, &hauteur);
        r.resultat = res;
        if (res != 0)
            return -1;
        r.cle = cle != 0;
        if (r.cle)
            synchronise = true;
    } else if (type == TypeH264) {
        const int32_t u = DebutImageH264(d, n);
        if (u < 0)
            return -1;
        r.decalage = u;
        const int32_t res = KORH264_DecodePaquetImage(instance_, d + u, std::min(n - u, FenetreH264), image,
                                                      &utilises, &hauteur, &largeur);
        r.resultat = res;
        if (res != 0)
            return -1;
        r.cle = image->key_frame != 0;
    } else if (type == TypeMjpeg) {
        return DecoderJpegYuv(d, n, image, r);
    } else {
        return -1;
    }
    r.octetsUtilises = r.decalage + std::max(utilises, 1);
    r.hauteur = hauteur;
    r.largeur = largeur;
    return 0;
}

int DecodeurImages::DecoderJpegYuv(unsigned char* d, int32_t n, AVFrame* image, ImageDecodee& r)
{
    int32_t a = 0, e = 0;
    if (ChercherImageJpeg(d, std::min(n, FenetreMjpeg), &a, &e) != 0)
        return -1;
    const unsigned char* jpeg = d + a;
    const unsigned long taille = static_cast<unsigned long>(e + 2 - a);
    r.octetsUtilises = e + 2;
    r.cle = true;
    tjhandle h = static_cast<tjhandle>(jpeg_.get());
    int largeur = 0, hauteur = 0, sousEch = 0, couleurs = 0;
    if (h == nullptr || tjDecompressHeader3(h, jpeg, taille, &largeur, &hauteur, &sousEch, &couleurs) != 0) {
        NouvelleInstanceJpeg();
        return -1;
    }
    if (largeur > DimensionMaxJpeg || hauteur > DimensionMaxJpeg || BitmapTailleFichier(largeur, hauteur) <= 0
        || BitmapTailleFichier(largeur, hauteur) > TailleBufferImageMax)
        return -1;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    switch (sousEch) {
    case TJSAMP_420: format = AV_PIX_FMT_YUVJ420P; break;
    case TJSAMP_422: format = AV_PIX_FMT_YUVJ422P; break;
    case TJSAMP_444: format = AV_PIX_FMT_YUVJ444P; break;
    case TJSAMP_440: format = AV_PIX_FMT_YUVJ440P; break;
    case TJSAMP_GRAY: format = AV_PIX_FMT_GRAY8; break;
    default: return -1;
    }
    av_frame_unref(image);
    image->format = format;
    image->width = largeur;
    image->height = hauteur;
    if (av_frame_get_buffer(image, 0) < 0)
        return -1;
    if (tjDecompressToYUVPlanes(h, jpeg, taille, image->data, largeur, image->linesize, hauteur,
                                TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE)
            != 0
        && tjGetErrorCode(h) != TJERR_WARNING) {
        av_frame_unref(image);
        NouvelleInstanceJpeg();
        return -1;
    }
    image->color_range = AVCOL_RANGE_JPEG;
    if (hauteurImage_ <= 0 || largeurImage_ <= 0) {
        hauteurImage_ = hauteur;
        largeurImage_ = largeur;
    }
    r.hauteur = hauteurImage_;
    r.largeur = largeurImage_;
    return 0;
}

int DecodeurImages::Convertir(const AVFrame* image, unsigned char* sortie, int32_t capacite, int32_t* taille)
{
    SwsContext* s = sws_.release();
    const int32_t r = BitmapDepuisFrame(image, &s, sortie, capacite, taille);
    sws_.reset(s);
    return r == 0 ? 0 : -1;
}

int DecodeurImages::PasserJpeg(unsigned char* d, int32_t n, ImageDecodee& r)
{
    r = ImageDecodee();
    int32_t a = 0, e = 0;
    if (d == nullptr || n <= 0 || ChercherImageJpeg(d, std::min(n, FenetreMjpeg), &a, &e) != 0)
        return -1;
    r.octetsUtilises = e + 2;
    r.cle = true;
    r.hauteur = hauteurImage_;
    r.largeur = largeurImage_;
    return 0;
}

namespace {

// MPEG-4: the picture start code 00 00 01 B6 within the first picture, and
// its coding type (two top bits of the next byte, 0 for intra).
bool IntraMpeg4(const unsigned char* d, int32_t n)
{
    for (int32_t i = ChercherCodeDebut(d, n, 0); i >= 0 && i + 4 < n; i = ChercherCodeDebut(d, n, i + 3)) {
        if (d[i + 3] == 0xB6)
            return (d[i + 4] >> 6) == 0;
    }
    return false;
}

} // namespace

int PlacerImage(int type, const unsigned char* d, int32_t n, PlaceImage& p)
{
    p = PlaceImage();
    if (d == nullptr || n <= 0)
        return -1;
    if (type == TypeMjpeg) {
        int32_t a = 0, e = 0;
        if (ChercherImageJpeg(d, std::min(n, FenetreMjpeg), &a, &e) != 0)
            return -1;
        p.debut = a;
        p.fin = e + 2;
        p.cle = true;
        return 0;
    }
    if (type == TypeMpeg4) {
        const int32_t fin = FinPremiereImageMpeg4(d, n);
        if (fin < 1)
            return -1;
        p.fin = fin;
        p.cle = IntraMpeg4(d, fin);
        return 0;
    }
    if (type == TypeH264) {
        const int32_t u = DebutImageH264(d, n);
        if (u < 0)
            return -1;
        const int32_t l = FinPremiereImageH264(d + u, n - u);
        if (l < 1)
            return -1;
        p.debut = u;
        p.fin = u + l;
        p.cle = ImageIdrH264(d + u, l);
        return 0;
    }
    return -1;
}

int DecoderFilmSansCadence(const char* chemin, int type, const char* motDePasse, int instance,
                           unsigned char* sortie, int32_t capacite,
                           const std::function<void(const ImageDecodee&, const unsigned char*)>& image)
{
    FluxFilm flux;
    if (flux.Ouvrir(chemin, 0, 0, motDePasse) != FluxOuvert)
        return -1;
    DecodeurImages decodeur(instance);
    decodeur.Ouvrir(type);
    flux.Avancer(decodeur.Synchroniser(type, flux.Donnees(), flux.Disponibles()));
    int bonnes = 0;
    ImageDecodee r;
    while (flux.Reste()) {
        flux.Remplir(motDePasse);
        if (decodeur.Decoder(type, flux.Donnees(), flux.Disponibles(), sortie, capacite, r) == 0) {
            ++bonnes;
            if (image)
                image(r, r.taille > 0 ? sortie : nullptr);
            flux.Avancer(r.octetsUtilises);
        } else {
            flux.Avancer(r.decalage);
            flux.Avancer(SautApresEchec(type, flux.Donnees(), flux.Disponibles()));
        }
        flux.Compacter();
    }
    return bonnes;
}
