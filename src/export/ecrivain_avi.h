// AVI file of one MPEG-4 video stream, written through libavformat's AVI
// muxer: codec tag "DX50", stream handler "DIVX", a time scale of 1000 and
// a rate of R (pictures per second x 1000), the 40-byte bitmap format with
// an image size of 1,843,200. Each sample may carry the key-frame flag in
// the index.
//
// The file is written at the path given (callers give a temporary name and
// rename it once Fermer succeeds). Every write is checked: a full disk makes
// Ecrire or Fermer fail.
#pragma once

#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVIOContext;
struct AVStream;

// Fixed image size of the stream format, whatever the picture size.
constexpr uint32_t TailleImageFormatAvi = 1843200;
// The stream time scale: rates are given in thousandths of a picture.
constexpr uint32_t EchelleAvi = 1000;

class EcrivainAvi
{
public:
    EcrivainAvi() = default;
    ~EcrivainAvi(); // abandons an unfinished file (closed, not removed)
    EcrivainAvi(const EcrivainAvi&) = delete;
    EcrivainAvi& operator=(const EcrivainAvi&) = delete;

    // Creates the file (truncating one of that name) and writes the header.
    // cadence: R, pictures per second x 1000 (1 .. INT32_MAX). 0 ok, -1.
    int Ouvrir(const std::string& chemin, int32_t largeur, int32_t hauteur, uint32_t cadence);
    // One sample; `cle` sets the key-frame flag. 0 ok, -1 (write failed).
    int Ecrire(const unsigned char* donnees, int32_t taille, bool cle);
    // Writes the index and the sizes, patches the handler, scale, rate and
    // image size fields, closes the file. 0 when everything reached the file.
    int Fermer();

    int64_t Echantillons() const { return echantillons_; }

private:
    void Liberer();
    AVFormatContext* fc_ = nullptr;
    AVIOContext* io_ = nullptr;
    AVStream* flux_ = nullptr;
    int fd_ = -1;
    bool erreur_ = false;
    uint32_t cadence_ = 0;
    int64_t echantillons_ = 0;
    friend struct AccesEcrivainAvi;
};

// Positions of the fields patched after writing, found by walking the
// file's header lists: the "strh" and "strf" chunks of the first stream.
// Offsets of the chunk identifiers; -1 when not found.
struct ChunksAvi {
    int64_t strh = -1;
    int64_t strf = -1;
};
ChunksAvi TrouverChunksAvi(const unsigned char* debut, int64_t taille);

// Offsets inside the chunks, counted from the chunk identifier.
constexpr int DecalageHandlerStrh = 12;
constexpr int DecalageEchelleStrh = 28;
constexpr int DecalageCadenceStrh = 32;
constexpr int DecalageTailleImageStrf = 28;
