// The reader's data path, apart from its thread: a film read in chunks into
// a sliding buffer (FluxFilm), and the decoding of one picture at a time
// into a bitmap file image (DecodeurImages). The reader thread adds the
// commands, the pacing and the hand-over around them; DecoderFilmSansCadence
// runs the same path flat out (benchmarks, checks).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <cstdio>

struct AVFrame;
struct SwsContext;

// Stream buffer of a run: room for the data kept plus one chunk more.
constexpr int32_t TailleTamponFlux = 4800000;
// One file read: large reads keep the disk streaming.
constexpr int32_t TailleMorceauFlux = 1200000;
// Refill when fewer unconsumed bytes remain: the largest picture the reader
// is sure to find whole.
constexpr int32_t ReserveFlux = 600000;
// No refill once this much is held, so that a chunk always fits behind it.
constexpr int32_t RemplissageMaxFlux = TailleTamponFlux - TailleMorceauFlux;

// Bytes handed to one decoder call, by kind: above the largest picture each
// coding produces at the sizes the recorders use.
constexpr int32_t FenetreMpeg4 = 300000;
constexpr int32_t FenetreH264 = 900000;
constexpr int32_t FenetreMjpeg = 5000000;

// Film kinds (TypeFilm).
constexpr int TypeMpeg4 = 0;
constexpr int TypeMjpeg = 1;
constexpr int TypeH264 = 2;

// Why a film could not be opened for a run.
enum OuvertureFlux : int {
    FluxOuvert = 0,
    FluxSansFichier = -1,     // the file cannot be opened
    FluxSansMemoire = -2,     // the stream buffer cannot be allocated
    FluxEnteteInvalide = -3,  // short header, or a zero word
    FluxMorceauCourt = -4,    // the first chunk came short
};

class FluxFilm
{
public:
    FluxFilm();
    ~FluxFilm();
    FluxFilm(const FluxFilm&) = delete;
    FluxFilm& operator=(const FluxFilm&) = delete;

    // Opens the film for a run from second `seconde` of a film of
    // `dureeSecondes` (DureeFilm): reads the header, positions the file by
    // the proportional rule, allocates the stream buffer and reads the first
    // chunk, descrambled when `motDePasse` opens the film. Everything taken
    // is released again on failure.
    OuvertureFlux Ouvrir(const char* chemin, int32_t seconde, uint32_t dureeSecondes,
                         const char* motDePasse);
    // Opens the film for an exact run: reads the header, then the sequence
    // headers [debutEntetes, finEntetes) when finEntetes > debutEntetes >= 8
    // (at most ReserveFlux bytes), then the body from `octet` on, behind
    // them in the buffer; descrambled as Ouvrir does. ImageBase() is then
    // `image`. Everything taken is released again on failure.
    OuvertureFlux OuvrirExact(const char* chemin, int64_t octet, int64_t debutEntetes, int64_t finEntetes,
                              uint32_t image, const char* motDePasse);
    // Releases the file and the stream buffer.
    void Fermer();
    // Exchanges the whole state (file, buffer, position) with `autre`: a
    // stream read ahead becomes the one a run continues.
    void Echanger(FluxFilm& autre);

    // Reads one more chunk at the end of the held data when the file has
    // more, fewer than ReserveFlux bytes are unconsumed and fewer than
    // RemplissageMaxFlux are held; the chunk is descrambled once when
    // `motDePasse` opens the film. Returns the bytes read.
    int32_t Remplir(const char* motDePasse);

    unsigned char* Donnees() { return tampon_.get() + consomme_; }
    int32_t Disponibles() const { return tamponne_ - consomme_; }
    // Held and consumed bytes, counted from the start of the held data.
    int32_t Tamponne() const { return tamponne_ - debut_; }
    int32_t Consomme() const { return consomme_ - debut_; }
    // Moves the decoding point on by `n` bytes (may pass the held data).
    void Avancer(int32_t n) { consomme_ += n; }
    // Drops the consumed bytes: the unconsumed ones become the held data,
    // consumed = 0. They are moved to the start of the buffer only when a
    // refill is due (fewer than ReserveFlux of them), the one time a chunk
    // must fit behind them; otherwise they stay where they are, instead of
    // moving about a megabyte for each picture.
    void Compacter();
    // True while held bytes remain or the file has more to read.
    bool Reste() const { return tamponne_ > debut_ || lus_ < restant_; }

    uint32_t NbImages() const { return nbImages_; }
    uint32_t DureeMs() const { return dureeMs_; }
    uint32_t ImageBase() const { return imageBase_; }
    // A kept stream taken up again: its pictures are counted from `image`.
    void FixerImageBase(uint32_t image) { imageBase_ = image; }
    int64_t TailleFichier() const { return tailleFichier_; }
    int64_t OctetsLus() const { return lus_; }
    int ErreurSysteme() const { return erreurSysteme_; }

private:
    // Opening steps shared by Ouvrir and OuvrirExact: the regular file, its
    // size, the buffer and the header (picture count and duration).
    OuvertureFlux OuvrirFichierEtEntete(const char* chemin);

    struct FermerFichier {
        void operator()(FILE* f) const;
    };
    int32_t LireMorceau(unsigned char* ou, int32_t voulu, const char* motDePasse);

    std::string chemin_;
    std::unique_ptr<FILE, FermerFichier> fichier_;
    std::unique_ptr<unsigned char[]> tampon_;
    // Offsets in the buffer: start of the held data, end of the held data,
    // decoding point.
    int32_t debut_ = 0;
    int32_t tamponne_ = 0;
    int32_t consomme_ = 0;
    int64_t restant_ = 0;   // file bytes of this run
    int64_t lus_ = 0;       // of which already read
    int64_t tailleFichier_ = 0;
    uint32_t nbImages_ = 0, dureeMs_ = 0, imageBase_ = 0;
    int erreurSysteme_ = 0;
};

// One decoder call's outcome.
struct ImageDecodee {
    int32_t octetsUtilises = 0; // bytes to move on by after a good picture
    int32_t decalage = 0;       // H.264: bytes skipped to reach the picture (also on failure)
    int32_t taille = 0;         // bitmap file bytes written; 0 = nothing new to show
    int32_t hauteur = 0, largeur = 0; // reported picture size
    bool cle = false;           // MPEG-4 intra picture
    int32_t resultat = 0;       // library result (H.264 log line)
};

class DecodeurImages
{
public:
    // `instance`: the library decoder instance (the reader's channel index).
    explicit DecodeurImages(int instance);
    ~DecodeurImages(); // closes the library instance if still open
    DecodeurImages(const DecodeurImages&) = delete;
    DecodeurImages& operator=(const DecodeurImages&) = delete;

    // Marks the decoder open for `type`, opening a library instance for
    // MPEG-4 and H.264; a run then looks for its decoding point again.
    void Ouvrir(int type);
    // Closes the library instance of the kind it was opened for.
    void Fermer();
    bool Ouvert() const { return ouvert_; }
    // Exchanges the library instance and the stream's decoding state with
    // `autre` (a decoder that decoded ahead becomes the reader's); each
    // keeps its converter and its own count of decodings.
    void Echanger(DecodeurImages& autre);

    // Offset in `d` where decoding of a run starts (0 when none is found).
    int32_t Synchroniser(int type, unsigned char* d, int32_t n);

    // Decodes the first picture of the `n` bytes at `d` into `sortie`
    // (room of `capacite` bytes) as a bitmap file image. 0 for a good
    // picture (a JPEG the decoder rejects is good but shows nothing), -1
    // for a failed one; `r` tells how far to move on.
    int Decoder(int type, unsigned char* d, int32_t n, unsigned char* sortie, int32_t capacite,
                ImageDecodee& r);

    // Decodes the first picture of the `n` bytes at `d` as Decoder does,
    // but leaves it unconverted: `image` receives a new reference to the
    // decoder's frame (MJPEG: the JPEG's own YUV planes, full range);
    // r.taille stays 0, r.cle is set for a key picture. 0 for a good
    // picture, -1 for a failed one (a rejected JPEG fails here).
    int DecoderSansConvertir(int type, unsigned char* d, int32_t n, AVFrame* image, ImageDecodee& r);
    // Converts a frame kept by DecoderSansConvertir into a bitmap file
    // image at `sortie`; its size in *taille. 0, or -1 (nothing to show).
    int Convertir(const AVFrame* image, unsigned char* sortie, int32_t capacite, int32_t* taille);
    // MJPEG: moves over the first picture without decoding it (r as for
    // Decoder, r.taille 0). 0, or -1 when the data holds no whole picture.
    int PasserJpeg(unsigned char* d, int32_t n, ImageDecodee& r);

    // Size of the first MJPEG picture shown since the last OublierTaille.
    int32_t HauteurImage() const { return hauteurImage_; }
    int32_t LargeurImage() const { return largeurImage_; }
    void OublierTaille() { hauteurImage_ = largeurImage_ = 0; }

    // Pictures given to the decoder since construction (any thread may read).
    int64_t NbDecodages() const { return nbDecodages_.load(); }

    // H.264: look for the next picture start before decoding.
    bool chercherImageSuivante = true;
    // A decoding point has been found since the decoder was opened.
    bool synchronise = false;

private:
    // H.264: where the picture to decode starts in d (0 when told not to
    // look, once), -1 when none is found.
    int32_t DebutImageH264(unsigned char* d, int32_t n);
    int DecoderJpeg(unsigned char* d, int32_t n, unsigned char* sortie, int32_t capacite,
                    ImageDecodee& r);
    int DecoderJpegYuv(unsigned char* d, int32_t n, AVFrame* image, ImageDecodee& r);
    void NouvelleInstanceJpeg();
    struct DetruireTj {
        void operator()(void* h) const;
    };
    int instance_;
    bool ouvert_ = false;
    int typeOuvert_ = -1;
    std::unique_ptr<void, DetruireTj> jpeg_;
    struct LibererSws {
        void operator()(SwsContext* s) const;
    };
    std::unique_ptr<SwsContext, LibererSws> sws_;
    int32_t hauteurImage_ = 0, largeurImage_ = 0;
    std::atomic<int64_t> nbDecodages_{0};
};

// Where the first picture of the `n` bytes at `d` lies, without decoding
// it: H.264 data may begin before the picture (the bytes up to its start
// code); MPEG-4 and MJPEG pictures begin on the data. `fin` is the offset
// just past the picture. -1 when the data holds no whole picture (the
// last picture of the data is taken to end with it).
struct PlaceImage {
    int32_t debut = 0;
    int32_t fin = 0;
    bool cle = false; // decoding can start on it
};
int PlacerImage(int type, const unsigned char* d, int32_t n, PlaceImage& p);

// Decodes every picture of a film the way a run of the reader does (from
// second 0, same chunks, decoding points and skips) without pacing, sleeps
// or hand-over, calling `image` with each good picture's bitmap file image
// (null when nothing new was decoded). Returns the number of good pictures,
// or -1 when the film cannot be opened.
int DecoderFilmSansCadence(const char* chemin, int type, const char* motDePasse, int instance,
                           unsigned char* sortie, int32_t capacite,
                           const std::function<void(const ImageDecodee&, const unsigned char*)>& image);
