#include "export/avi_export.h"

#include "codecs/bitmap.h"
#include "codecs/decoupage.h"
#include "codecs/korcodecs.h"
#include "engine/lecture_film.h"
#include "engine/motdepasse.h"
#include "engine/reperes.h"
#include "export/ecrivain_avi.h"
#include "export/fichier_temporaire.h"

#include <turbojpeg.h>

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

// Bytes scanned between two preparations of the mapped film.
constexpr int64_t PasRecherche = 1 << 20;
// Decoded pictures waiting between the decoding and the coding thread:
// one being decoded, one being coded, one ready.
constexpr int NbTranches = 3;
// The probe gives up after this many failed pictures: a film whose first
// pictures all fail is not worth walking to its end for a size.
constexpr int EssaisSonde = 2000;
// MPEG-4 probe: after a failed picture, the next picture start is looked
// for this far on (a picture is never shorter).
constexpr int64_t SautSondeMpeg4 = 84;
// H.264 probe: the same for the next start code.
constexpr int64_t SautSondeH264 = 400;
// H.264: a reference picture is looked for in windows of this size.
constexpr int64_t FenetreImageRef = 16 << 20;
// H.264: bytes seen again at the start of the next search window.
constexpr int64_t ChevauchementH264 = 64;

// Probe pictures are decoded into room for the largest picture the player
// shows, like the export picture buffer.
constexpr int32_t TailleImageSonde = KOR_BITMAP_TAILLE_MAX;

std::mutex ExportEnCours;

// Removes the temporary file unless the export put it in place.
struct Temporaire {
    std::string nom;
    ~Temporaire()
    {
        if (!nom.empty())
            std::remove(nom.c_str());
    }
};

bool EstDebutImageMpeg4(unsigned char x) { return x == 0xB6; }
bool EstSequenceMpeg4(unsigned char x) { return x == 0xB0; }
bool EstSpsH264(unsigned char x) { return (x & 0x0F) == 7; }
bool ToutCode(unsigned char) { return true; }

// First i in [debut, limite) where the body holds 00 00 01 x with
// accepte(x); -1 when none. limite must leave 4 bytes in the body.
template <class F>
int64_t ChercherCode(VueFilm& v, int64_t debut, int64_t limite, F accepte)
{
    const unsigned char* d = v.Corps();
    const int64_t n = v.TailleCorps();
    limite = std::min(limite, n - 3);
    int64_t i = std::max<int64_t>(debut, 0);
    while (i < limite) {
        const int64_t bloc = std::min(limite, i + PasRecherche);
        v.Preparer(std::min(n, bloc + 4));
        while (i < bloc) {
            const void* p = std::memchr(d + i + 2, 0x01, size_t(bloc - i));
            if (!p) {
                i = bloc;
                break;
            }
            const int64_t j = static_cast<const unsigned char*>(p) - d - 2;
            if (d[j] == 0 && d[j + 1] == 0 && accepte(d[j + 3]))
                return j;
            i = j + 1;
        }
    }
    return -1;
}

// First i in [debut, limite) where the body holds FF m; -1 when none.
int64_t ChercherMarqueur(VueFilm& v, int64_t debut, int64_t limite, unsigned char m)
{
    const unsigned char* d = v.Corps();
    const int64_t n = v.TailleCorps();
    limite = std::min(limite, n - 1);
    int64_t i = std::max<int64_t>(debut, 0);
    while (i < limite) {
        const int64_t bloc = std::min(limite, i + PasRecherche);
        v.Preparer(std::min(n, bloc + 1));
        while (i < bloc) {
            const void* p = std::memchr(d + i, 0xFF, size_t(bloc - i));
            if (!p) {
                i = bloc;
                break;
            }
            const int64_t j = static_cast<const unsigned char*>(p) - d;
            if (d[j + 1] == m)
                return j;
            i = j + 1;
        }
    }
    return -1;
}

int32_t Fenetre(int64_t reste, int32_t fenetre)
{
    return int32_t(std::min<int64_t>(reste, fenetre));
}

struct LibererImage {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

// A decoded picture on its way from the decoding to the coding thread: a
// bitmap file image, or the decoder's own YUV frame when nothing needs the
// pixels as a bitmap.
struct Tranche {
    std::unique_ptr<unsigned char[]> bitmap;
    std::unique_ptr<AVFrame, LibererImage> image;
    int32_t taille = 0, largeur = 0, hauteur = 0;
    int64_t debut = 0, fin = 0; // body bytes it came from
};

// Hands decoded pictures over from one thread to the other through a few
// buffers, so that decoding and coding overlap.
class Chaine
{
public:
    // capacite: room of each bitmap; 0 for YUV frames.
    explicit Chaine(int32_t capacite) : capacite_(capacite)
    {
        for (int i = 0; i < NbTranches; ++i) {
            if (capacite > 0) {
                tranches_[i].bitmap.reset(new unsigned char[size_t(capacite)]);
            } else {
                tranches_[i].image.reset(av_frame_alloc());
                if (!tranches_[i].image)
                    throw std::bad_alloc();
            }
            libres_.push_back(&tranches_[i]);
        }
    }
    int32_t Capacite() const { return capacite_; }
    // Decoding side: a free buffer, null once the coding side has stopped.
    Tranche* Prendre()
    {
        std::unique_lock<std::mutex> l(m_);
        cv_.wait(l, [&] { return arret_ || !libres_.empty(); });
        if (arret_)
            return nullptr;
        Tranche* t = libres_.front();
        libres_.pop_front();
        return t;
    }
    void Publier(Tranche* t)
    {
        std::lock_guard<std::mutex> l(m_);
        prets_.push_back(t);
        cv_.notify_all();
    }
    void Rendre(Tranche* t)
    {
        if (t->image)
            av_frame_unref(t->image.get());
        std::lock_guard<std::mutex> l(m_);
        libres_.push_back(t);
        cv_.notify_all();
    }
    // Decoding side: a picture found in the film that did not decode.
    void Perdue() { perdues_.fetch_add(1); }
    int64_t Perdues() const { return perdues_.load(); }
    void Finir()
    {
        std::lock_guard<std::mutex> l(m_);
        fini_ = true;
        cv_.notify_all();
    }
    void Arreter()
    {
        std::lock_guard<std::mutex> l(m_);
        arret_ = true;
        cv_.notify_all();
    }
    // Coding side: the next picture, null when the decoding side is done.
    Tranche* Suivante()
    {
        std::unique_lock<std::mutex> l(m_);
        cv_.wait(l, [&] { return fini_ || !prets_.empty(); });
        if (prets_.empty())
            return nullptr;
        Tranche* t = prets_.front();
        prets_.pop_front();
        return t;
    }

private:
    int32_t capacite_;
    Tranche tranches_[NbTranches];
    std::deque<Tranche*> libres_, prets_;
    std::mutex m_;
    std::condition_variable cv_;
    bool fini_ = false, arret_ = false;
    std::atomic<int64_t> perdues_{0};
};

// MJPEG writing pass, decoding side.
void DecoderMjpeg(VueFilm& v, Chaine& c)
{
    const unsigned char* d = v.Corps();
    const int64_t n = v.TailleCorps();
    DecodeurJpegExport jpeg;
    int64_t t = ChercherMarqueur(v, 0, n - 1, 0xD8);
    while (t >= 0 && t < n) {
        t = ChercherMarqueur(v, t, n - 1, 0xD8);
        if (t < 0)
            break;
        const int64_t e = ChercherMarqueur(v, t + 4, n - 1, 0xD9);
        if (e < 0)
            break;
        const int64_t longueur = e - t + 2;
        Tranche* tr = c.Prendre();
        if (!tr)
            break;
        int32_t consomme = 0;
        tr->taille = tr->largeur = tr->hauteur = 0;
        if (jpeg.DecodeJpegToBitmap(d + t, longueur, tr->bitmap.get(), c.Capacite(), &tr->taille,
                                    &consomme, &tr->largeur, &tr->hauteur)
                == 0
            && tr->taille > 0) {
            tr->debut = t;
            tr->fin = t + longueur;
            c.Publier(tr);
        } else {
            c.Perdue();
            c.Rendre(tr);
        }
        t += longueur;
        v.Liberer(t);
    }
    c.Finir();
}

// H.264: the next picture start at or after body offset p, as
// KORH264_ChercheImage finds it, looked for window after window up to the
// end of the body (a large picture or a long damaged stretch does not end
// the search); -1 when none.
int64_t ChercherImageH264(VueFilm& v, int64_t p)
{
    unsigned char* d = const_cast<unsigned char*>(v.Corps());
    const int64_t n = v.TailleCorps();
    for (int64_t base = p; base >= 0 && base < n;) {
        const int64_t fin = std::min(n, base + FenetreH264);
        v.Preparer(fin);
        const int32_t u = KORH264_ChercheImage(d + base, int32_t(fin - base));
        if (u >= 0)
            return base + u;
        if (fin == n)
            break;
        // Seen again from a little before the window's end: a start code
        // and unit header across it.
        base = fin - ChevauchementH264;
    }
    return -1;
}

// H.264 writing pass, decoding side (decoder instance 1 is open). With a
// YUV chain the decoder's frames go to the encoder as they are.
void DecoderH264(VueFilm& v, Chaine& c)
{
    unsigned char* d = const_cast<unsigned char*>(v.Corps());
    const int64_t n = v.TailleCorps();
    int64_t p = -1;
    for (int64_t base = 0; base < n && p < 0;) {
        const int64_t fin = std::min(n, base + FenetreImageRef);
        v.Preparer(fin);
        int32_t nombre = 0;
        const int32_t r = KORH264_ChercheImageRef(d + base, int32_t(fin - base), &nombre);
        if (r >= 0)
            p = base + r;
        else if (fin == n)
            break;
        else
            base = fin - 64; // a picture start across the window's end
    }
    while (p >= 0 && p < n) {
        const int64_t debut = ChercherImageH264(v, p);
        if (debut < 0)
            break;
        // The picture runs to the next picture start, or to the end of the
        // film for the last one; the decoder is given the pictures after it
        // too, to decode ahead.
        const int64_t suivante = ChercherImageH264(v, debut + 1);
        const int64_t fin = suivante < 0 ? n : suivante;
        const int64_t longueur = std::min<int64_t>({n - debut, fin - debut + FenetreH264, INT32_MAX});
        if (fin - debut > longueur) { // beyond what one call can take
            c.Perdue();
            p = fin;
            continue;
        }
        v.Preparer(debut + longueur);
        Tranche* tr = c.Prendre();
        if (!tr)
            break;
        int32_t consomme = 0;
        tr->taille = tr->largeur = tr->hauteur = 0;
        int32_t r;
        if (tr->image) {
            r = KORH264_DecodePaquetImage(1, d + debut, int32_t(longueur), tr->image.get(), &consomme,
                                          &tr->hauteur, &tr->largeur);
            tr->taille = r == 0 ? 1 : 0;
        } else {
            r = KORH264_DecodePaquetCap(1, d + debut, int32_t(longueur), tr->bitmap.get(), c.Capacite(),
                                        &tr->taille, &consomme, 0, &tr->hauteur, &tr->largeur);
        }
        if (r == 0 && tr->taille > 0 && consomme > 0) {
            tr->debut = debut;
            tr->fin = debut + consomme;
            c.Publier(tr);
            p = debut + consomme;
        } else {
            // Not decoded: counted, and the walk goes on at the next picture.
            c.Perdue();
            c.Rendre(tr);
            p = fin;
        }
        v.Liberer(p);
    }
    c.Finir();
}

// MPEG-4: the picture whose bytes start at or after body offset p: from p
// (its headers) to the next header or picture start after its picture
// start, or to the end of the body for the last picture. False when no
// picture starts after p (headers alone are no picture).
bool ImageMpeg4(VueFilm& v, int64_t p, int64_t* fin)
{
    const int64_t n = v.TailleCorps();
    const int64_t image = ChercherCode(v, p, n - 4, EstDebutImageMpeg4);
    if (image < 0)
        return false;
    const int64_t q = ChercherCode(v, image + 4, n - 4, EnTeteMpeg4);
    *fin = q < 0 ? n : q;
    v.Preparer(*fin);
    return true;
}

// MPEG-4 writing pass when the pictures are to be changed (date burned
// in), decoding side (decoder instance 1 is open).
void DecoderMpeg4(VueFilm& v, Chaine& c)
{
    unsigned char* d = const_cast<unsigned char*>(v.Corps());
    const int64_t n = v.TailleCorps();
    int64_t p = ChercherCode(v, 0, n - 4, EstSequenceMpeg4);
    int64_t q = 0;
    while (p >= 0 && p < n && ImageMpeg4(v, p, &q)) {
        const int64_t longueur = std::min<int64_t>({n - p, q - p + FenetreMpeg4, INT32_MAX});
        if (q - p > longueur) {
            c.Perdue();
            p = q;
            continue;
        }
        v.Preparer(p + longueur);
        Tranche* tr = c.Prendre();
        if (!tr)
            break;
        int32_t utilises = 0;
        unsigned char cle = 0;
        tr->taille = tr->largeur = tr->hauteur = 0;
        const int32_t r = KORMP4_DEC_GetFrameCap(1, d + p, int32_t(longueur), tr->bitmap.get(), c.Capacite(),
                                                 &tr->taille, 0, &utilises, &cle, &tr->largeur, &tr->hauteur);
        if (r == 0 && tr->taille > 0) {
            tr->debut = p;
            tr->fin = q;
            c.Publier(tr);
        } else {
            c.Perdue();
            c.Rendre(tr);
        }
        p = q;
        v.Liberer(p);
    }
    c.Finir();
}

struct Ecriture {
    EcrivainAvi& avi;
    const SuiviAvi& suivi;
    int64_t total;
    BilanAvi& bilan;
    bool erreur = false, annule = false;

    bool Annuler()
    {
        if (!annule && suivi.annuler && suivi.annuler())
            annule = true;
        return annule;
    }
    // One sample from body bytes [debut, fin); false stops the pass.
    bool Echantillon(const unsigned char* d, int32_t taille, bool cle, int64_t debut, int64_t fin)
    {
        if (avi.Ecrire(d, taille, cle) != 0) {
            erreur = true;
            return false;
        }
        if (bilan.echantillons == 0)
            bilan.debutSource = debut + 8;
        bilan.finSource = fin + 8;
        ++bilan.echantillons;
        if (cle)
            ++bilan.cles;
        if (suivi.progression)
            suivi.progression(bilan.echantillons, total);
        return !Annuler();
    }
};

// MPEG-4 writing pass: the stored pictures copied as they are, each picture
// one sample with the headers that precede it; a sample whose picture is
// intra is a key frame.
void CopierMpeg4(VueFilm& v, Ecriture& w)
{
    const unsigned char* d = v.Corps();
    const int64_t n = v.TailleCorps();
    int64_t p = ChercherCode(v, 0, n - 4, EstSequenceMpeg4);
    int64_t q = 0;
    while (p >= 0 && p < n && !w.Annuler() && ImageMpeg4(v, p, &q)) {
        const int64_t taille = q - p;
        if (taille > INT32_MAX) {
            ++w.bilan.imagesPerdues;
        } else {
            const bool cle = TypeImageMpeg4(d + p, taille) == 1;
            if (!w.Echantillon(d + p, int32_t(taille), cle, p, q))
                break;
        }
        p = q;
        v.Liberer(p);
    }
}

// MJPEG and H.264 writing pass: pictures decoded on a second thread, coded
// again here, at the AVI's rate.
void Recoder(VueFilm& v, int type, int32_t largeur, int32_t hauteur, uint32_t cadence, Ecriture& w)
{
    // A size the encoder refuses would give an AVI without samples: a
    // failure, not a film.
    const int32_t tailleBitmap = BitmapTailleFichier(largeur, hauteur);
    if (tailleBitmap <= 0
        || cadence > uint32_t(INT32_MAX)
        || KORMP4_ENC_InitEncoderMPEG4Fraction(0, largeur, hauteur, DebitEncodeurAvi, int32_t(cadence),
                                               int32_t(EchelleAvi), SecondesEntreClesAvi)
               != 0) {
        w.erreur = true;
        return;
    }
    std::unique_ptr<unsigned char[]> sortie(new unsigned char[TailleSortieEncodeur]);
    // H.264 pictures nobody changes go from the decoder to the encoder as
    // YUV frames. Otherwise bitmaps: pictures of another size than the
    // probed one cannot be coded, so room for the probed size is enough.
    const bool yuv = type == TypeH264 && !w.suivi.crochetImage;
    Chaine chaine(yuv ? 0 : tailleBitmap);
    if (type == TypeH264)
        KORH264_InitDecodeur(1);
    else if (type == TypeMpeg4)
        KORMP4_DEC_Init(1);
    std::thread decodage([&] {
        if (type == TypeMjpeg)
            DecoderMjpeg(v, chaine);
        else if (type == TypeMpeg4)
            DecoderMpeg4(v, chaine);
        else
            DecoderH264(v, chaine);
    });
    int64_t numero = 0, perdues = 0;
    bool arrete = false;
    while (Tranche* t = chaine.Suivante()) {
        // After a stop the pictures still on their way are only given back.
        if (!arrete && t->largeur == largeur && t->hauteur == hauteur) {
            int32_t nb;
            if (yuv) {
                nb = KORMP4_ENC_EncodeImageYuv(0, t->image.get(), sortie.get(), TailleSortieEncodeur);
            } else {
                if (w.suivi.crochetImage)
                    w.suivi.crochetImage(t->bitmap.get(), t->taille, t->largeur, t->hauteur, numero);
                nb = KORMP4_ENC_EncodeImageMP4(0, t->bitmap.get() + KOR_BITMAP_ENTETE, t->taille - KOR_BITMAP_ENTETE,
                                               sortie.get(), TailleSortieEncodeur, 0);
            }
            ++numero;
            if (nb > 0) {
                arrete = !w.Echantillon(sortie.get(), nb, TypeImageMpeg4(sortie.get(), nb) == 1, t->debut,
                                        t->fin);
            } else {
                ++perdues;
                arrete = w.Annuler();
            }
        } else if (!arrete) {
            ++perdues; // another size than the film's
            arrete = w.Annuler();
        }
        chaine.Rendre(t);
        if (arrete)
            chaine.Arreter();
    }
    decodage.join();
    w.bilan.imagesPerdues += perdues + chaine.Perdues();
    if (type == TypeH264)
        KORH264_FermeDecodeur(1);
    else if (type == TypeMpeg4)
        KORMP4_DEC_Termine(1);
    KORMP4_ENC_Mp4Close(0);
}

// Looks for the picture size of an MPEG-4 or H.264 body: from the first
// code `entete` accepts, decodes one picture after another with `decoder`
// (data, bytes: result), moving on after a failure to the next code
// `suivant` accepts at least `premierSaut`, then `saut`, bytes further, for
// at most EssaisSonde attempts.
template <typename Decoder>
int SonderFlux(VueFilm& v, bool (*entete)(unsigned char), bool (*suivant)(unsigned char), int64_t premierSaut,
               int64_t saut, int32_t fenetre, int32_t* largeur, int32_t* hauteur, Decoder decoder)
{
    unsigned char* d = const_cast<unsigned char*>(v.Corps());
    const int64_t n = v.TailleCorps();
    int64_t p = ChercherCode(v, 0, n - 4, entete);
    for (int essai = 0; p >= 0 && p < n && essai < EssaisSonde; ++essai) {
        v.Preparer(std::min(n, p + fenetre));
        if (decoder(d + p, Fenetre(n - p, fenetre)) == 0 && *largeur > 0 && *hauteur > 0)
            return 0;
        *largeur = *hauteur = 0;
        p = ChercherCode(v, p + (essai == 0 ? premierSaut : saut), n - 4, suivant);
    }
    return -1;
}

int SonderMpeg4(VueFilm& v, unsigned char* image, int32_t* largeur, int32_t* hauteur)
{
    KORMP4_DEC_Init(1);
    const int r = SonderFlux(v, EstSequenceMpeg4, EstDebutImageMpeg4, 0, SautSondeMpeg4, FenetreMpeg4, largeur,
                             hauteur, [&](unsigned char* d, int32_t n) {
                                 int32_t taille = 0, utilises = 0;
                                 unsigned char cle = 0;
                                 return KORMP4_DEC_GetFrameCap(1, d, n, image, TailleImageSonde, &taille, 0,
                                                               &utilises, &cle, largeur, hauteur);
                             });
    KORMP4_DEC_Termine(1);
    return r;
}

int SonderMjpeg(VueFilm& v, unsigned char* image, int32_t* largeur, int32_t* hauteur)
{
    const unsigned char* d = v.Corps();
    const int64_t n = v.TailleCorps();
    DecodeurJpegExport jpeg;
    int64_t i = ChercherMarqueur(v, 0, n - 2, 0xD8);
    for (int essai = 0; i >= 0 && essai < EssaisSonde; ++essai) {
        v.Preparer(std::min(n, i + FenetreMjpeg));
        int32_t taille = 0, consomme = 0;
        if (jpeg.DecodeJpegToBitmap(d + i, std::min<int64_t>(n - i, FenetreMjpeg), image,
                                    TailleImageSonde, &taille, &consomme, largeur, hauteur)
                == 0
            && *largeur > 0 && *hauteur > 0)
            return 0;
        *largeur = *hauteur = 0;
        i = ChercherMarqueur(v, i + 3, n - 2, 0xD8);
    }
    return -1;
}

int SonderH264(VueFilm& v, unsigned char* image, int32_t* largeur, int32_t* hauteur)
{
    KORH264_InitDecodeur(1);
    const int r = SonderFlux(v, EstSpsH264, ToutCode, 1, SautSondeH264, FenetreH264, largeur, hauteur,
                             [&](unsigned char* d, int32_t n) {
                                 int32_t taille = 0, utilises = 0;
                                 return KORH264_DecodePaquetCap(1, d, n, image, TailleImageSonde, &taille,
                                                                &utilises, 0, hauteur, largeur);
                             });
    KORH264_FermeDecodeur(1);
    return r;
}

} // namespace

std::string CheminAvi(const std::string& choisi)
{
    if (choisi.empty() || choisi.size() > size_t(LongueurMaxCheminExport))
        return std::string();
    const size_t n = choisi.size();
    const bool finAvi = n > 4 && choisi[n - 4] == '.' && std::tolower((unsigned char)choisi[n - 3]) == 'a'
                        && std::tolower((unsigned char)choisi[n - 2]) == 'v'
                        && std::tolower((unsigned char)choisi[n - 1]) == 'i';
    return finAvi ? choisi : choisi + ".avi";
}

uint32_t CadenceAvi(bool forcer, const char* texte, uint32_t nbImages, uint32_t dureeSecondes)
{
    if (forcer) {
        const long long v = texte ? std::strtoll(texte, nullptr, 10) : 0;
        // Negative or beyond what the AVI header can carry: no rate.
        if (v < 0 || v > INT32_MAX / 1000)
            return 0;
        return v == 0 ? 1000u : uint32_t(v * 1000);
    }
    if (dureeSecondes == 0)
        return 0;
    const long double r = (long double)nbImages * 1000.0L / (long double)dureeSecondes;
    return r >= (long double)INT32_MAX ? 0u : uint32_t(r);
}

int TypeImageMpeg4(const unsigned char* d, int64_t n)
{
    for (int64_t i = 0; d && i + 4 < n; ++i)
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == 0xB6)
            return (d[i + 4] >> 6) == 0 ? 1 : 0; // vop_coding_type 0: intra
    return -1;
}

DecodeurJpegExport::DecodeurJpegExport() : h_(tjInitDecompress()) {}

DecodeurJpegExport::~DecodeurJpegExport()
{
    if (h_)
        tjDestroy(static_cast<tjhandle>(h_));
}

int DecodeurJpegExport::DecodeJpegToBitmap(const unsigned char* donnees, int64_t longueur,
                                           unsigned char* destination, int32_t capacite, int32_t* taille,
                                           int32_t* consomme, int32_t* largeur, int32_t* hauteur)
{
    *taille = *consomme = *largeur = *hauteur = 0;
    if (!donnees || longueur < 4 || !h_ || !destination)
        return -1;
    int64_t a = -1, e = -1;
    for (int64_t i = 0; i < longueur - 1; ++i) {
        if (donnees[i] != 0xFF)
            continue;
        if (a < 0 && donnees[i + 1] == 0xD8) {
            a = i;
            ++i;
        } else if (a >= 0 && donnees[i + 1] == 0xD9) {
            e = i;
            break;
        }
    }
    if (a < 0 || e < 0 || e + 2 - a > INT32_MAX)
        return -1;
    auto* h = static_cast<tjhandle>(h_);
    const unsigned long n = (unsigned long)(e + 2 - a);
    int l = 0, ht = 0, sous = 0, couleurs = 0;
    if (tjDecompressHeader3(h, donnees + a, n, &l, &ht, &sous, &couleurs) != 0)
        return -1;
    *consomme = int32_t(e + 2);
    const int32_t t = BitmapTailleFichier(l, ht);
    if (l > DimensionMaxJpeg || ht > DimensionMaxJpeg || t <= 0 || t > capacite)
        return 0; // found but too large for the room: nothing copied
    BitmapEcrireEntete(destination, l, ht);
    const int pas = BitmapTailleLigne(l);
    if (tjDecompress2(h, donnees + a, n, destination + KOR_BITMAP_ENTETE, l, pas, ht, TJPF_BGR,
                      TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE | TJFLAG_BOTTOMUP)
            != 0
        && tjGetErrorCode(h) != TJERR_WARNING)
        return -1;
    const int utiles = l * 3;
    if (pas > utiles)
        for (int y = 0; y < ht; ++y)
            std::memset(destination + KOR_BITMAP_ENTETE + size_t(y) * pas + utiles, 0, size_t(pas - utiles));
    *taille = t;
    *largeur = l;
    *hauteur = ht;
    return 0;
}

const char* MessageAvi(ResultatAvi r)
{
    switch (r) {
    case ResultatAvi::Enregistre:
        return "Le film est enregistré";
    case ResultatAvi::Incomplet:
        return "Export incomplet : des images du film n'ont pas pu être exportées";
    case ResultatAvi::Annule:
        return "";
    default:
        return "Erreur de création";
    }
}

std::string MessageFinAvi(const BilanAvi& b)
{
    if (b.resultat != ResultatAvi::Incomplet || b.imagesPerdues <= 0)
        return MessageAvi(b.resultat);
    char texte[200];
    if (b.imagesPerdues == 1)
        std::snprintf(texte, sizeof texte,
                      "Export incomplet : 1 image du film n'a pas pu être exportée (%lld images enregistrées)",
                      (long long)b.echantillons);
    else
        std::snprintf(texte, sizeof texte,
                      "Export incomplet : %lld images du film n'ont pas pu être exportées (%lld images "
                      "enregistrées)",
                      (long long)b.imagesPerdues, (long long)b.echantillons);
    return texte;
}

int SonderDimensionsAvi(const std::string& cheminFilm, int type, bool protege, int32_t* largeur,
                        int32_t* hauteur)
{
    *largeur = *hauteur = 0;
    VueFilm v;
    if (v.Ouvrir(cheminFilm, protege) != 0)
        return -2;
    std::unique_ptr<unsigned char[]> image(new unsigned char[TailleImageSonde]);
    switch (type) {
    case TypeMpeg4:
        return SonderMpeg4(v, image.get(), largeur, hauteur);
    case TypeMjpeg:
        return SonderMjpeg(v, image.get(), largeur, hauteur);
    case TypeH264:
        return SonderH264(v, image.get(), largeur, hauteur);
    default:
        return -1;
    }
}

BilanAvi ExportAvi(const ParametresAvi& p, const SuiviAvi& suivi)
{
    BilanAvi bilan;
    std::unique_lock<std::mutex> seul(ExportEnCours, std::try_to_lock);
    if (!seul.owns_lock() || p.dureeSecondes == 0 || p.nbImages == 0 || p.cheminAvi.empty())
        return bilan;
    try {
        const bool protege = VerifierMotDePasse(p.cheminFilm.c_str(), p.motDePasse.c_str()) == 1;
        // A film that cannot be read, or in which no picture decodes (a
        // wrong password...), gives no AVI rather than one without samples.
        if (SonderDimensionsAvi(p.cheminFilm, p.type, protege, &bilan.largeur, &bilan.hauteur) != 0) {
            bilan.resultat = ResultatAvi::ErreurLecture;
            return bilan;
        }
        bilan.cadence = CadenceAvi(p.forcerCadence, p.texteCadence.c_str(), p.nbImages, p.dureeSecondes);
        if (bilan.cadence == 0)
            return bilan;

        VueFilm v;
        if (v.Ouvrir(p.cheminFilm, protege, suivi.observateurSource) != 0) {
            bilan.resultat = ResultatAvi::ErreurLecture;
            return bilan;
        }
        Temporaire temp{CreerNomTemporaire(p.cheminAvi)};
        if (temp.nom.empty()) {
            bilan.resultat = ResultatAvi::ErreurEcriture;
            return bilan;
        }
        EcrivainAvi avi;
        if (avi.Ouvrir(temp.nom, bilan.largeur, bilan.hauteur, bilan.cadence) != 0) {
            avi.Fermer();
            bilan.resultat = ResultatAvi::ErreurEcriture;
            return bilan;
        }
        Ecriture w{avi, suivi, int64_t(p.nbImages), bilan};
        if (p.type == TypeMpeg4 && !p.recoder)
            CopierMpeg4(v, w);
        else if (p.type == TypeMpeg4 || p.type == TypeMjpeg || p.type == TypeH264)
            Recoder(v, p.type, bilan.largeur, bilan.hauteur, bilan.cadence, w);
        w.Annuler();
        if (!w.annule && !w.erreur)
            v.Terminer();
        const bool tronque = v.Tronquee(); // the film shrank under the export
        v.Fermer();
        const bool ferme = avi.Fermer() == 0;
        if (w.annule) {
            bilan.resultat = ResultatAvi::Annule;
        } else if (tronque) {
            bilan.resultat = ResultatAvi::ErreurLecture;
        } else if (w.erreur || !ferme || MettreEnPlace(temp.nom, p.cheminAvi) != 0) {
            bilan.resultat = ResultatAvi::ErreurEcriture;
        } else {
            temp.nom.clear(); // moved into place
            bilan.resultat = bilan.imagesPerdues > 0 ? ResultatAvi::Incomplet : ResultatAvi::Enregistre;
        }
        return bilan;
    } catch (const std::exception&) {
        bilan.resultat = ResultatAvi::ErreurEcriture;
        return bilan;
    }
}

std::string TexteProgressionAvi(int64_t fait, int64_t total, double secondesEcoulees)
{
    char reste[32] = "estimation en cours";
    if (fait > 0 && total > 0 && secondesEcoulees >= 0) {
        const double s = fait >= total ? 0 : secondesEcoulees * double(total - fait) / double(fait);
        const long long t = (long long)s;
        if (t >= 3600)
            std::snprintf(reste, sizeof reste, "%lld:%02lld:%02lld", t / 3600, t / 60 % 60, t % 60);
        else
            std::snprintf(reste, sizeof reste, "%lld:%02lld", t / 60, t % 60);
    }
    char texte[128];
    std::snprintf(texte, sizeof texte, "Image %lld sur %lld — temps restant : %s", (long long)fait,
                  (long long)total, reste);
    return texte;
}
