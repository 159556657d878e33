// Seek and picture-step latency of the reader with the picture index, on
// 1280 x 720 films of each kind made by Debian's ffmpeg (1000 pictures at
// 25/s, a key picture every 50), against references measured in the same
// run: the proportional seek without index, and the waits as they were
// before (250 ms window wait after a stop, 250 ms decoder guards). Also the
// index's scan speed and size. Figures only: nothing is asserted.
//
// A seek is timed from the window's release handler (stopped channel:
// request written) to the hand-over of the picture asked for; a step the
// same way with the next or previous picture asked for.
#include "commun_bench.h"
#include "engine/index_images.h"
#include "engine/th_indexeur.h"
#include "filmmaker.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace {

constexpr int NbImagesBench = 1000;
constexpr uint32_t DureeBenchMs = 40000; // 25 pictures/s
constexpr int NbSauts = 30;
constexpr int NbPas = 20;
constexpr int LimiteMs = 5000; // a request that shows nothing counts as this long
// The waits as they were before, for the reference.
constexpr int AncienneAttenteFenetreMs = 250;
constexpr int AncienneGardeMs = 250;
constexpr size_t TailleScanMemoire = 256u << 20;

double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

std::vector<unsigned char> Lire(const std::string& chemin)
{
    std::ifstream f(chemin, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

// Film file from an ffmpeg elementary stream: the 8-byte header, then it.
bool FaireFilm(const std::string& dossier, const char* nom, const char* options, std::string& chemin)
{
    const std::string corps = dossier + "/" + nom + ".corps";
    char commande[1024];
    std::snprintf(commande, sizeof commande,
                  "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1280x720:rate=25 "
                  "-frames:v %d %s '%s'",
                  NbImagesBench, options, corps.c_str());
    if (std::system(commande) != 0)
        return false;
    const std::vector<unsigned char> c = Lire(corps);
    if (c.empty())
        return false;
    chemin = dossier + "/" + nom;
    std::ofstream f(chemin, std::ios::binary | std::ios::trunc);
    const uint32_t mots[2] = {NbImagesBench, DureeBenchMs};
    f.write(reinterpret_cast<const char*>(mots), sizeof mots);
    f.write(reinterpret_cast<const char*>(c.data()), static_cast<std::streamsize>(c.size()));
    std::remove(corps.c_str());
    return static_cast<bool>(f);
}

void Ecrire(const std::function<void(Voie&)>& f)
{
    const int r = PrendreMutexVoie(0);
    f(Voies[0]);
    if (r == 0)
        RendreMutexVoie(0);
}

struct Mesures {
    std::vector<double> ms;
    double cpuMs = 0;
    int fautes = 0; // picture shown other than the one asked for (exact runs)
};

double Centile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

void Imprimer(const char* quoi, const Mesures& m)
{
    std::printf("  %-44s p50 %7.1f ms  p90 %7.1f ms  max %7.1f ms  cpu %7.0f ms  (%zu, %d wrong)\n", quoi,
                Centile(m.ms, 0.5), Centile(m.ms, 0.9), Centile(m.ms, 1.0), m.cpuMs, m.ms.size(), m.fautes);
    std::fflush(stdout);
}

// One request to the stopped reader, timed to the hand-over of a picture.
double Demander(CibleChronometree& cible, int32_t seconde, int64_t image, int attenteFenetreMs)
{
    const size_t avant = cible.temps.size();
    const double t0 = HorlogeMs();
    if (attenteFenetreMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(attenteFenetreMs));
    SecondeDepart = seconde;
    Ecrire([&](Voie& v) {
        v.ImageDemandee = image;
        v.SecondeImageDemandee = seconde;
        v.FlagRafraichir = 1;
    });
    while (HorlogeMs() - t0 < LimiteMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        // A blank picture may come first (no index): wait for the film's.
        for (size_t i = avant; i < cible.temps.size(); ++i)
            if (cible.numeros[i] != -2)
                return cible.temps[i] - t0;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return LimiteMs;
}

int64_t Montree()
{
    int64_t k = -1;
    Ecrire([&](Voie& v) { k = v.ImageMontree; });
    return k;
}

// The reader notes the picture just after its hand-over: give it a moment.
bool MontreeEst(int64_t attendue)
{
    const double t0 = HorlogeMs();
    while (Montree() != attendue)
        if (HorlogeMs() - t0 > 200)
            return false;
    return true;
}

// Seeks to random seconds, then steps; `exact` publishes the index.
void Serie(const std::string& chemin, int type, const IndexImages& index, bool exact, int garde, int attente,
           Mesures& sauts, Mesures& pas)
{
    ReinitialiserEtat();
    CreerMutexVoie(0);
    CreerMutexGeneral();
    std::unique_ptr<unsigned char[]> image(new unsigned char[TailleBufferImage]);
    Voies[0].BufferImage = Voies[0].ImageSortie = image.get();
    CibleChronometree cible;
    cible.lireNumeros = false;
    // Blank pictures are told apart by their size.
    struct CibleBlanc : CibleChronometree {
        void AfficherImage(const unsigned char* b, int taille) override
        {
            temps.push_back(HorlogeMs());
            numeros.push_back(taille == KOR_BITMAP_NOIRE_TAILLE ? -2 : 0);
            (void)b;
        }
    } cibleBlanc;
    ImageAffichage = &cibleBlanc;
    CopierTexte(CheminFilm, sizeof CheminFilm, chemin.c_str());
    TypeFilm = type;
    NbImagesFilm = NbImagesBench;
    DureeFilm = DureeBenchMs / 1000;
    PublierIndex(chemin.c_str(), exact ? std::make_shared<IndexImages>(index) : nullptr);
    {
        Th_Lecteur_Magneto lecteur(0, AttenteDemarrageLecteurMs, garde);
        std::this_thread::sleep_for(std::chrono::milliseconds(AttenteDemarrageLecteurMs + 100));
        std::mt19937 alea(12345);
        double cpu = CpuMs();
        int32_t s = 0;
        for (int i = 0; i < NbSauts; ++i) {
            s = static_cast<int32_t>(alea() % DureeFilm);
            sauts.ms.push_back(Demander(cibleBlanc, s, -1, attente));
            if (exact && !MontreeEst(ImagePourSeconde(s, DureeFilm, index.Nombre())))
                ++sauts.fautes;
        }
        sauts.cpuMs += CpuMs() - cpu;
        if (exact) {
            cpu = CpuMs();
            int64_t k = Montree();
            for (int i = 0; i < 2 * NbPas; ++i) {
                const int sens = i < NbPas ? 1 : -1;
                k = std::clamp<int64_t>(k + sens, 0, index.Nombre() - 1);
                const int32_t sk = static_cast<int32_t>(MsPourImage(k, DureeFilm * 1000, index.Nombre()) / 1000);
                pas.ms.push_back(Demander(cibleBlanc, sk, k, 0));
                if (!MontreeEst(k))
                    ++pas.fautes;
            }
            pas.cpuMs += CpuMs() - cpu;
        }
    }
    PublierIndex(nullptr, nullptr);
    ImageAffichage = nullptr;
    Voies[0].BufferImage = Voies[0].ImageSortie = nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SilencerCodecs();
    DossierBench dossier;
    if (dossier.chemin.empty())
        return 1;
    struct Sorte {
        const char* nom;
        int type;
        const char* options;
    };
    // No B-pictures for H.264: the recorders make none, and the reader
    // shows pictures in coded order.
    const Sorte sortes[] = {
        {"film.mjp", 1, "-c:v mjpeg -f mjpeg"},
        {"film.mp4", 0, "-c:v mpeg4 -g 50 -f m4v"},
        {"film.264", 2, "-c:v libx264 -g 50 -bf 0 -f h264"},
    };
    std::printf("Seek and step latency, 1280x720, %d pictures, key picture every 50 (MJPEG: every picture)\n",
                NbImagesBench);
    for (const Sorte& s : sortes) {
        std::string chemin;
        if (!FaireFilm(dossier.chemin, s.nom, s.options, chemin)) {
            std::printf("%s: ffmpeg could not make the film\n", s.nom);
            return 1;
        }
        const std::vector<unsigned char> f = Lire(chemin);
        double t0 = HorlogeMs(), c0 = CpuMs();
        const IndexImages index = IndexerOctets(s.type, f.data() + 8, f.size() - 8, 8, BlocIndexeur);
        const double tIndex = HorlogeMs() - t0, cIndex = CpuMs() - c0;
        std::printf("%s: %.1f MB, %lld pictures indexed (%zu key) in %.1f ms wall, %.1f ms cpu (%.2f GB/s), "
                    "%zu bytes a picture\n",
                    s.nom, f.size() / 1e6, static_cast<long long>(index.Nombre()),
                    static_cast<size_t>(std::count_if(index.entrees.begin(), index.entrees.end(),
                                                      [](EntreeIndex e) { return (e & 1u) != 0; })),
                    tIndex, cIndex, f.size() / 1e6 / tIndex, sizeof(EntreeIndex));
        Mesures exact, pas, proportionnel, avant, rien;
        Serie(chemin, s.type, index, true, GardeDecodeurMs, 0, exact, pas);
        Serie(chemin, s.type, index, false, GardeDecodeurMs, 0, proportionnel, rien);
        Serie(chemin, s.type, index, false, AncienneGardeMs, AncienneAttenteFenetreMs, avant, rien);
        Imprimer("seek, exact (index)", exact);
        Imprimer("step (index)", pas);
        Imprimer("reference: seek, proportional, same waits", proportionnel);
        Imprimer("reference: seek, proportional, waits as before", avant);
    }

    // Scan speed over a large body in memory (page-cache speed bound).
    {
        std::string chemin;
        FaireFilm(dossier.chemin, "grand.mjp", "-c:v mjpeg -f mjpeg", chemin);
        const std::vector<unsigned char> f = Lire(chemin);
        std::vector<unsigned char> grand;
        grand.reserve(TailleScanMemoire + f.size());
        while (grand.size() < TailleScanMemoire && f.size() > 8)
            grand.insert(grand.end(), f.begin() + 8, f.end());
        for (int type : {1, 0}) {
            const double t0 = HorlogeMs(), c0 = CpuMs();
            const IndexImages index = IndexerOctets(type, grand.data(), grand.size(), 8, BlocIndexeur);
            const double t = HorlogeMs() - t0, c = CpuMs() - c0;
            std::printf("scan of %.0f MB in memory as %s: %.1f ms wall, %.1f ms cpu, %.2f GB/s (1 GB: %.0f ms), "
                        "%lld pictures\n",
                        grand.size() / 1e6, type == 1 ? "MJPEG" : "MPEG-4", t, c, grand.size() / 1e6 / t,
                        1e9 / (grand.size() / t), static_cast<long long>(index.Nombre()));
        }
    }
    return 0;
}
