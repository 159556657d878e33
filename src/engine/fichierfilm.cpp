#include "engine/fichierfilm.h"

#include "core/ouverture.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <vector>

namespace {

struct FermerFichier {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using Fichier = std::unique_ptr<std::FILE, FermerFichier>;

Fichier OuvrirLecture(const std::string& chemin)
{
    // Films and companions are regular files: anything else is refused
    // without blocking (a FIFO would hold the caller in the open).
    return Fichier(OuvrirFichierOrdinaire(chemin.c_str()));
}

uint32_t Lire32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Ecrire32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

double LireDouble(const unsigned char* p)
{
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | p[i];
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

void EcrireDouble(unsigned char* p, double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(bits >> (8 * i));
}

// Truncation toward zero, held inside the target range: the file sizes and
// seconds come from outside and a product could leave it.
int64_t TronquerI64(long double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<long double>(INT64_MAX))
        return INT64_MAX;
    if (v <= static_cast<long double>(INT64_MIN))
        return INT64_MIN;
    return static_cast<int64_t>(v);
}

uint32_t TronquerU32(long double v)
{
    if (!(v > 0))
        return 0;
    if (v >= static_cast<long double>(UINT32_MAX))
        return UINT32_MAX;
    return static_cast<uint32_t>(v);
}

// A file beside `destination`, created exclusively so that a stray file of
// the same name is never reused; renamed onto the destination once complete.
Fichier CreerTemporaire(const std::string& destination, std::string& nomTemp)
{
    static std::atomic<unsigned> compteur{0};
    for (int essai = 0; essai < 100; ++essai) {
        nomTemp = destination + ".ecriture" + std::to_string(compteur++);
        if (std::FILE* f = std::fopen(nomTemp.c_str(), "wbx"))
            return Fichier(f);
        if (errno != EEXIST)
            break;
    }
    nomTemp.clear();
    return nullptr;
}

// Closes the temporary file and moves it into place, or removes it. On
// failure errno holds the reason of the first failing step (`erreur`, the
// errno of a failed write, or that of the close or the rename), so that a
// caller can say why.
int Conclure(Fichier f, const std::string& nomTemp, const std::string& destination, bool reussi, int erreur)
{
    int raison = reussi ? 0 : (erreur ? erreur : EIO);
    if (std::fclose(f.release()) != 0 && raison == 0)
        raison = errno ? errno : EIO;
    if (raison == 0 && std::rename(nomTemp.c_str(), destination.c_str()) != 0)
        raison = errno ? errno : EIO;
    if (raison == 0)
        return 0;
    std::remove(nomTemp.c_str());
    errno = raison;
    return -1;
}

// A day count that is a calendar date of 01/01/1900 to 31/12/9999.
bool DateDansLeCalendrier(double jours)
{
    return std::isfinite(jours) && jours >= PremierJourDates && jours < JourApresDernierDates;
}

}  // namespace

int TypeDeFilm(const std::string& chemin)
{
    if (chemin.size() < 4)
        return -1;
    const std::string fin = chemin.substr(chemin.size() - 4);
    if (fin == ".mp4")
        return 0;
    if (fin == ".mjp")
        return 1;
    if (fin == ".264")
        return 2;
    return -1;
}

int LireEnteteFilm(const std::string& chemin, EnteteFilm& e)
{
    e = EnteteFilm{};
    Fichier f = OuvrirLecture(chemin);
    if (!f)
        return -1;
    unsigned char octets[TailleEnteteFilm];
    const size_t lus = std::fread(octets, 1, sizeof octets, f.get());
    if (lus >= 4)
        e.NbImages = Lire32(octets);
    if (lus >= 8)
        e.DureeMs = Lire32(octets + 4);
    if (lus < 8 || e.NbImages == 0 || e.DureeMs / 1000 == 0)
        return -1;
    return 0;
}

std::string NomCompagnon(const std::string& chemin, const char* ext3)
{
    if (!ext3 || chemin.size() < 3)
        return std::string();
    return chemin.substr(0, chemin.size() - 3) + ext3;
}

DatesFilm LireDatesFilm(const std::string& cheminFilm)
{
    DatesFilm d;
    Fichier f = OuvrirLecture(NomCompagnon(cheminFilm, "hrd"));
    if (!f)
        return d;
    d.Presentes = true;
    unsigned char octets[TailleFichierDates];
    const size_t lus = std::fread(octets, 1, sizeof octets, f.get());
    if (lus >= 8)
        d.Debut = LireDouble(octets);
    if (lus >= 16)
        d.Fin = LireDouble(octets + 8);
    // NaN, infinities or values far off the calendar cannot be shown as
    // dates, and a date missing from a short file is no date either: the
    // span counts as absent and the read-out shows the film's own time. So
    // does a start after the end: the read-out would run backwards.
    if (!DateDansLeCalendrier(d.Debut) || !DateDansLeCalendrier(d.Fin) || d.Debut > d.Fin)
        d = DatesFilm{};
    return d;
}

int EcrireDatesFilm(const std::string& cheminFilm, double debut, double fin)
{
    const std::string chemin = NomCompagnon(cheminFilm, "hrd");
    if (chemin.empty())
        return -1;
    unsigned char octets[TailleFichierDates];
    EcrireDouble(octets, debut);
    EcrireDouble(octets + 8, fin);
    return EcrireOctetsFichier(chemin, octets, sizeof octets);
}

PositionDepart PositionPourSeconde(int64_t tailleFichier, uint32_t nbImages, uint32_t dureeSecondes,
                                   int64_t seconde)
{
    PositionDepart p;
    if (seconde <= 0 || seconde >= int64_t(dureeSecondes) || tailleFichier <= TailleEnteteFilm)
        return p;
    p.Octet = TronquerI64(static_cast<long double>(tailleFichier) * seconde / dureeSecondes);
    p.ImageEstimee = TronquerU32(static_cast<long double>(nbImages) * seconde / dureeSecondes);
    return p;
}

int64_t OctetPourSeconde(int64_t tailleFichier, uint32_t dureeSecondes, int64_t seconde)
{
    if (dureeSecondes == 0 || seconde <= 0 || tailleFichier <= 0)
        return 0;
    return TronquerI64(static_cast<long double>(tailleFichier) * seconde / dureeSecondes);
}

SegmentFilm CalculerSegment(int64_t tailleFichier, uint32_t dureeSecondes, uint32_t nbImages,
                            int64_t marqueDebut, int64_t marqueFin)
{
    SegmentFilm s;
    if (tailleFichier <= 0 || dureeSecondes == 0 || marqueDebut >= marqueFin)
        return s;
    s.Debut = OctetPourSeconde(tailleFichier, dureeSecondes, marqueDebut);
    s.Fin = OctetPourSeconde(tailleFichier, dureeSecondes, marqueFin);
    const long double longueur = static_cast<long double>(s.Fin) - s.Debut;
    s.DureeMs = TronquerU32(longueur * dureeSecondes * 1000 / tailleFichier);
    s.NbImages = TronquerU32(static_cast<long double>(s.DureeMs) * nbImages / (1000.0L * dureeSecondes));
    return s;
}

double PourcentagePourImages(uint32_t imagesMontrees, uint32_t imageEstimee, uint32_t nbImages)
{
    if (nbImages == 0)
        return 0;
    const double part = (double(imagesMontrees) + double(imageEstimee)) * 100.0 / nbImages;
    return std::min(part, 100.0);
}

uint32_t SecondesPourPourcentage(uint32_t dureeSecondes, double pourcent)
{
    if (!(pourcent > 0))
        return 0;
    const double secondes = double(dureeSecondes) * pourcent * 0.01;
    if (secondes >= dureeSecondes)
        return dureeSecondes;
    return static_cast<uint32_t>(secondes);
}

int IntervalleNominalMs(uint32_t nbImages, uint32_t dureeMs)
{
    if (nbImages == 0)
        return 0;
    return static_cast<int>(std::min<uint32_t>(dureeMs / nbImages, INT_MAX));
}

int EcrireFilm(const std::string& destination, uint32_t nbImages, uint32_t dureeMs,
               const std::string& source, int64_t debut, int64_t fin)
{
    if (debut < 0 || fin < debut || destination.empty())
        return -1;
    try {
        Fichier src = OuvrirLecture(source);
        if (!src)
            return -1;
        if (fseeko(src.get(), static_cast<off_t>(debut), SEEK_SET) != 0)
            return -1;
        std::vector<unsigned char> bloc(TailleBlocCopieFilm);

        std::string nomTemp;
        Fichier dst = CreerTemporaire(destination, nomTemp);
        if (!dst)
            return -1;

        unsigned char entete[TailleEnteteFilm];
        Ecrire32(entete, nbImages);
        Ecrire32(entete + 4, dureeMs);
        errno = 0;
        bool reussi = std::fwrite(entete, 1, sizeof entete, dst.get()) == sizeof entete;

        int64_t reste = fin - debut;
        while (reussi && reste > 0) {
            const size_t demande = static_cast<size_t>(std::min<int64_t>(reste, TailleBlocCopieFilm));
            const size_t lus = std::fread(bloc.data(), 1, demande, src.get());
            if (lus == 0) {
                // End of the source ends the segment; a read error fails it.
                reussi = !std::ferror(src.get());
                break;
            }
            reussi = std::fwrite(bloc.data(), 1, lus, dst.get()) == lus;
            reste -= static_cast<int64_t>(lus);
        }
        const int erreur = errno;
        src.reset();
        return Conclure(std::move(dst), nomTemp, destination, reussi, erreur);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

int EcrireOctetsFichier(const std::string& chemin, const void* octets, size_t nb)
{
    if (chemin.empty() || (!octets && nb > 0))
        return -1;
    std::string nomTemp;
    Fichier f = CreerTemporaire(chemin, nomTemp);
    if (!f)
        return -1;
    errno = 0;
    const bool reussi = nb == 0 || std::fwrite(octets, 1, nb, f.get()) == nb;
    return Conclure(std::move(f), nomTemp, chemin, reussi, errno);
}

int64_t TailleFichier(const std::string& chemin)
{
    std::error_code err;
    if (chemin.empty() || !std::filesystem::is_regular_file(chemin, err))
        return -1;
    const auto taille = std::filesystem::file_size(chemin, err);
    if (err)
        return -1;
    return static_cast<int64_t>(taille);
}

bool EstFichierOrdinaire(const std::string& chemin)
{
    std::error_code err;
    return !chemin.empty() && std::filesystem::is_regular_file(chemin, err);
}
