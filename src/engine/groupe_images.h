// Decoded pictures of one key group, kept unconverted (planar YUV frames of
// the decoder) so that they can be shown in reverse order or shown again:
// backwards playback and backward picture steps. The group is decoded from
// its key picture one picture at a time, so that the reader can spread the
// work between the pictures it shows.
#pragma once

#include "engine/lecture_film.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <utility>

struct AVFrame;
struct IndexImages;

// Room for the pictures kept backwards (both groups together). 720p
// groups of 50 fit twice; a 1080p group of 50 in YUV 4:2:0 (156 MB) does
// not fit whole: its last pictures are passed by, so that the process
// stays under 256 MB with the decoder's own pictures (measured: 281 MB with
// 176 MB of room).
constexpr int64_t MemoireImagesTenuesOctets = int64_t(144) << 20;

// Bytes of one kept 4:2:0 picture of the given size.
int64_t OctetsImageTenue(int32_t largeur, int32_t hauteur);

// Adds a decoded picture (with its `numero`) to the top of a segment's kept
// pictures (increasing numero): the top one so far stays only if it is at
// least `pas` above the one below it, and beyond `octetsMax` bytes (0: no
// bound) the oldest go, `debut` following the first one kept.
template <typename Liste, typename Image>
void RangerImage(Liste& images, Image&& image, int64_t pas, int64_t octetsMax, int64_t octetsImage, int64_t& debut)
{
    const size_t n = images.size();
    if (n >= 2 && images[n - 1].numero - images[n - 2].numero < pas)
        images.pop_back();
    images.push_back(std::forward<Image>(image));
    while (octetsMax > 0 && images.size() > 1 && static_cast<int64_t>(images.size()) * octetsImage > octetsMax) {
        images.pop_front();
        debut = images.front().numero;
    }
}

struct ImageTenue {
    struct Liberer {
        void operator()(AVFrame* f) const;
    };
    int64_t numero = 0;
    std::unique_ptr<AVFrame, Liberer> frame;
};

class GroupeImages
{
public:
    // Prepares the group of key picture `cle` (from the index) whose
    // pictures [cle, fin) are wanted; only [cle, cle + aDecoder) will be
    // decoded, and of those only the pictures from `debut` (-1: cle) are
    // kept, at least `pas` apart but for the last one decoded (the top of
    // the group, shown first backwards, is always kept). With `octetsMax`,
    // the oldest kept pictures go beyond that many bytes. Nothing is read yet.
    void Preparer(int64_t cle, int64_t fin, int64_t aDecoder, int64_t debut = -1, int64_t pas = 1,
                  int64_t octetsMax = 0);
    // Drops the pictures and closes the film.
    void Vider();

    bool Prepare() const { return cle_ >= 0; }
    bool Complet() const { return Prepare() && prochaine_ >= cle_ + aDecoder_; }
    int64_t Cle() const { return cle_; }
    int64_t Fin() const { return fin_; }
    // First picture kept (the pictures below it were only references);
    // the segment before ends there.
    int64_t Debut() const { return debut_; }
    // Next picture to decode.
    int64_t Prochaine() const { return prochaine_; }
    // Bytes of the last picture decoded (0 before any).
    int64_t OctetsImage() const { return octetsImage_; }
    // Lowers the count of pictures to decode (not below those decoded).
    void Limiter(int64_t aDecoder);

    // Decodes the next picture of the group with `decodeur` (opened for
    // `type`), reading the film `chemin` from the group's key picture on
    // the first call. 0 when a picture was decoded (kept or not), 1 when one was passed
    // (undecodable), -1 when nothing more can be decoded (the group is then
    // complete).
    int DecoderSuivante(DecodeurImages& decodeur, int type, const char* chemin, const IndexImages& index,
                        const char* motDePasse);

    std::deque<ImageTenue>& Images() { return images_; }
    // Header duration of the film, once a picture has been read (else 0).
    uint32_t DureeMs() const { return flux_.DureeMs(); }
    // Kept picture `numero`, or null.
    const AVFrame* Trouver(int64_t numero) const;
    // The group's stream: after its last picture once the group is complete.
    FluxFilm& Flux() { return flux_; }

private:
    int64_t cle_ = -1, fin_ = -1, aDecoder_ = 0, debut_ = -1, pas_ = 1, octetsMax_ = 0;
    int64_t octetsImage_ = 0;
    int64_t prochaine_ = -1; // next picture to decode
    FluxFilm flux_;
    bool ouvert_ = false;
    std::deque<ImageTenue> images_; // in increasing order
};
