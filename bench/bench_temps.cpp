// Time keeping of the reader at every speed, measured at the window's own
// picture control (TImageEtiree, shown on the offscreen platform: each
// picture is taken, turned into a QImage and painted): per kind, size and
// speed (x 1, x 4, x 16, backwards x 1 and x 16), the film seconds advanced
// per wall second against the speed asked (whole stretch, and the worst
// 3.5 s window), the pictures shown per second, the longest still, the
// peak memory of the run, and the CPU time beside the wall time. Then the
// seek and picture-step latencies with the target in the middle of key
// groups, the steps back right after a seek with the decoder calls they
// take, and 60 s jumps after a second of quiet (decoded ahead). Films: 2,000 pictures at 25 a second made by Debian's ffmpeg, a
// key picture every 50, no B pictures, kept in the folder given.
// Usage: bench_temps FOLDER [KIND [PACE]]   (KIND: only the films whose
// label starts with it, e.g. "MJPEG"; PACE: only that pace, e.g. "arr x1",
// and no step measures: the peak memory is then that pace's alone; "pas":
// the step measures only)
#include "commun_bench.h"
#include "filmmaker.h" // SilencerCodecs

#include "core/etat.h"
#include "core/tas_memoire.h"
#include "engine/index_images.h"
#include "engine/th_indexeur.h"
#include "engine/th_lecteur_magneto.h"
#include "ui/image_etiree.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Cadence = 25;
constexpr int NbImages = 2000;
constexpr double FenetreMs = 3500.0; // stretch over which the speed is checked

struct Film {
    const char* nom;
    const char* fichier;
    int type;
    const char* codeur;
    const char* format;
    int largeur, hauteur;
};

const Film Films[] = {
    {"MJPEG 720p", "t_mjpeg_720.mjp", 1, "-c:v mjpeg -q:v 6 -pix_fmt yuvj420p", "mjpeg", 1280, 720},
    {"MPEG-4 720p", "t_mpeg4_720.mp4", 0, "-c:v mpeg4 -bf 0 -q:v 5", "m4v", 1280, 720},
    {"H.264 720p", "t_h264_720.264", 2, "-c:v libx264 -preset veryfast -bf 0 -pix_fmt yuv420p", "h264", 1280, 720},
    {"MJPEG 1080p", "t_mjpeg_1080.mjp", 1, "-c:v mjpeg -q:v 8 -pix_fmt yuvj420p", "mjpeg", 1920, 1080},
    {"MPEG-4 1080p", "t_mpeg4_1080.mp4", 0, "-c:v mpeg4 -bf 0 -q:v 5", "m4v", 1920, 1080},
    {"H.264 1080p", "t_h264_1080.264", 2, "-c:v libx264 -preset veryfast -bf 0 -pix_fmt yuv420p", "h264", 1920,
     1080},
};

struct Allure {
    const char* nom;
    double vitesse;
    int sens;
    double dureeMs; // wall time measured
};
const Allure Allures[] = {
    {"x1", 1.0, 1, 7000}, {"x4", 4.0, 1, 6000}, {"x16", 16.0, 1, 4500}, {"arr x1", 1.0, -1, 7000}, {"arr x16", 16.0, -1, 4500},
};

bool PreparerFilm(const std::string& dossier, const Film& f, std::string& film)
{
    film = dossier + "/" + f.fichier;
    if (FilmDejaFait(film))
        return true;
    const std::string corps = film + ".raw";
    char commande[1024];
    std::snprintf(commande, sizeof commande,
                  "ffmpeg -hide_banner -nostdin -loglevel error -y -f lavfi -i testsrc2=size=%dx%d:rate=%d "
                  "-frames:v %d -g 50 %s -f %s '%s'",
                  f.largeur, f.hauteur, Cadence, NbImages, f.codeur, f.format, corps.c_str());
    if (std::system(commande) != 0)
        return false;
    std::ifstream entree(corps, std::ios::binary);
    std::vector<char> octets((std::istreambuf_iterator<char>(entree)), {});
    std::ofstream sortie(film, std::ios::binary);
    Poser32(sortie, NbImages);
    Poser32(sortie, NbImages * 1000 / Cadence);
    sortie.write(octets.data(), static_cast<std::streamsize>(octets.size()));
    std::remove(corps.c_str());
    return static_cast<bool>(sortie);
}

void Indexer(const std::string& film, int type)
{
    std::ifstream f(film, std::ios::binary);
    std::vector<unsigned char> o((std::istreambuf_iterator<char>(f)), {});
    PublierIndex(film.c_str(), std::make_shared<IndexImages>(IndexerOctets(type, o.data() + 8, o.size() - 8, 8)));
}

// Pictures handed to the control: when, and which (ImageMontree, noted by
// the reader before the hand-over).
struct Releve {
    std::vector<double> temps;
    std::vector<int64_t> images;
};

void EcrireVoie(const std::function<void(Voie&)>& f)
{
    const int r = PrendreMutexVoie(0);
    f(Voies[0]);
    if (r == 0)
        RendreMutexVoie(0);
}

void Patienter(double ms)
{
    QEventLoop boucle;
    QTimer::singleShot(static_cast<int>(ms), &boucle, &QEventLoop::quit);
    boucle.exec();
}

struct Resultat {
    double rapport = 0, pireFenetre = 0, imagesParSeconde = 0, immobileMax = 0, cpu = 0, mur = 0;
    long picMo = 0;
    long lectureMo = 0; // largest resident size sampled while the run plays
};

Resultat Analyser(const Releve& r, double vitesse, int sens, double mur, double cpu)
{
    Resultat res;
    res.mur = mur;
    res.cpu = cpu;
    const size_t n = r.temps.size();
    if (n < 2)
        return res;
    const double msImage = 1000.0 / Cadence;
    const double duree = r.temps.back() - r.temps.front();
    res.rapport = sens * (r.images.back() - r.images.front()) * msImage / (duree * vitesse);
    res.imagesParSeconde = (n - 1) * 1000.0 / duree;
    size_t j = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i > 0)
            res.immobileMax = std::max(res.immobileMax, r.temps[i] - r.temps[i - 1]);
        while (j < n && r.temps[j] - r.temps[i] < FenetreMs)
            ++j;
        if (j >= n)
            continue;
        const double avance = sens * (r.images[j - 1] - r.images[i]) * msImage / vitesse;
        res.pireFenetre = std::max(res.pireFenetre, std::abs(avance - FenetreMs) / FenetreMs);
    }
    return res;
}

// Plays from picture `depart` at `vitesse` in direction `sens` for `dureeMs`
// of wall time, the first second left out (the run's start).
Resultat Jouer(TImageEtiree& image, const Film& f, const std::string& film, const Allure& a)
{
    const int64_t depart = a.sens > 0 ? 0 : NbImages - 1;
    const int32_t seconde = static_cast<int32_t>(depart / Cadence);
    Releve r;
    bool mesure = false;
    QObject::connect(&image, &TImageEtiree::ImageRemise, &image, [&] {
        if (!mesure)
            return;
        const int v = PrendreMutexVoie(0);
        const int64_t k = Voies[0].ImageMontree;
        if (v == 0)
            RendreMutexVoie(0);
        r.temps.push_back(HorlogeMs());
        r.images.push_back(k);
    });
    {
        const int v = PrendreMutexGeneral();
        Vitesse = a.vitesse;
        SecondeDepart = seconde;
        if (v == 0)
            RendreMutexGeneral();
    }
    std::ofstream("/proc/self/clear_refs") << "5"; // peak memory from here
    EcrireVoie([&](Voie& v) {
        v.Sens = static_cast<signed char>(a.sens);
        v.ImageDemandee = depart;
        v.SecondeImageDemandee = seconde;
        v.FlagLecture = 1;
        v.FlagPause = 0;
        v.FlagFinDeFilm = 0;
        v.FlagDebutDeFilm = 0;
        ++v.NumeroDemande;
    });
    ReveillerVoie(0);
    // The peak above counts from the command, memory the process held
    // before it included; this one samples the run once it plays (the
    // reader gives back what it held while paused as the run starts).
    long lectureKo = 0;
    QTimer echantillon;
    QObject::connect(&echantillon, &QTimer::timeout, [&] { lectureKo = std::max(lectureKo, LireStatutKo("VmRSS")); });
    QTimer::singleShot(200, &echantillon, [&] { echantillon.start(20); });
    Patienter(1000);
    mesure = true;
    const double cpu0 = CpuProcessusS(), mur0 = HorlogeMs();
    Patienter(a.dureeMs);
    mesure = false;
    echantillon.stop();
    const double cpu = CpuProcessusS() - cpu0, mur = HorlogeMs() - mur0;
    Resultat res = Analyser(r, a.vitesse, a.sens, mur, cpu);
    res.picMo = LireStatutKo("VmHWM") / 1024;
    res.lectureMo = lectureKo / 1024;
    EcrireVoie([](Voie& v) {
        v.FlagLecture = 0;
        v.Sens = 1;
        ++v.NumeroDemande;
    });
    QObject::disconnect(&image, &TImageEtiree::ImageRemise, nullptr, nullptr);
    Patienter(300);
    (void)f;
    (void)film;
    return res;
}

double Quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(q * (v.size() - 1))];
}

// One single-picture request; milliseconds until the control has it.
double Demander(TImageEtiree& image, int64_t k)
{
    bool vu = false;
    const auto c = QObject::connect(&image, &TImageEtiree::ImageRemise, &image, [&] { vu = true; });
    const int32_t s = static_cast<int32_t>(k / Cadence);
    const double t0 = HorlogeMs();
    {
        const int v = PrendreMutexGeneral();
        SecondeDepart = s;
        if (v == 0)
            RendreMutexGeneral();
    }
    EcrireVoie([&](Voie& v) {
        v.ImageDemandee = k;
        v.SecondeImageDemandee = s;
        v.FlagRafraichir = 1;
        ++v.NumeroDemande;
    });
    ReveillerVoie(0); // as the window does after a command
    while (!vu && HorlogeMs() - t0 < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    QObject::disconnect(c);
    return HorlogeMs() - t0;
}

// Steps back right after a seek to the middle of a key group: the first
// decodes the group up to the picture before, the next ones should take
// the kept pictures (decoder calls counted per step).
void MesurerPasArriere(TImageEtiree& image, const Film& f, const Th_Lecteur_Magneto& lecteur)
{
    std::vector<double> premiers, suivants;
    int64_t decodagesPremiers = 0, decodagesSuivants = 0;
    for (int g = 3; g < 13; ++g) {
        const int64_t k = g * 50 + 25;
        Demander(image, k);
        Patienter(30);
        int64_t avant = lecteur.NbDecodages();
        premiers.push_back(Demander(image, k - 1));
        decodagesPremiers += lecteur.NbDecodages() - avant;
        avant = lecteur.NbDecodages();
        for (int i = 2; i <= 7; ++i)
            suivants.push_back(Demander(image, k - i));
        decodagesSuivants += lecteur.NbDecodages() - avant;
        Patienter(30);
    }
    std::printf("%-13s ',' apres saut   1er %5.1f / %5.1f ms (%.1f decodages)   suivants %5.1f / %5.1f ms "
                "(%.2f decodages) (mediane / p90)\n",
                f.nom, Quantile(premiers, 0.5), Quantile(premiers, 0.9),
                static_cast<double>(decodagesPremiers) / static_cast<double>(premiers.size()), Quantile(suivants, 0.5),
                Quantile(suivants, 0.9),
                static_cast<double>(decodagesSuivants) / static_cast<double>(suivants.size()));
}

void MesurerPas(TImageEtiree& image, const Film& f)
{
    std::vector<double> recherches, suivants, precedentsPremier, precedents;
    for (int g = 3; g < 13; ++g) {
        const int64_t k = g * 50 + 25; // the middle of a key group
        recherches.push_back(Demander(image, k));
        Patienter(30);
        for (int i = 1; i <= 3; ++i)
            suivants.push_back(Demander(image, k + i));
        precedentsPremier.push_back(Demander(image, k + 2));
        for (int i = 1; i <= 3; ++i)
            precedents.push_back(Demander(image, k + 2 - i));
        Patienter(30);
    }
    std::printf("%-13s pas/recherche   recherche %5.1f / %5.1f ms   '.' %5.1f / %5.1f ms   ',' 1er %5.1f / %5.1f ms"
                "   ',' suivants %5.1f / %5.1f ms (mediane / p90)\n",
                f.nom, Quantile(recherches, 0.5), Quantile(recherches, 0.9), Quantile(suivants, 0.5),
                Quantile(suivants, 0.9), Quantile(precedentsPremier, 0.5), Quantile(precedentsPremier, 0.9),
                Quantile(precedents, 0.5), Quantile(precedents, 0.9));
}

// Seeks of 60 s (forwards, or back near the end) after a second of quiet
// at the middle of a key group, as the arrow keys give them: the reader
// has decoded their targets ahead meanwhile; then the next picture.
void MesurerSautsPrevus(TImageEtiree& image, const Film& f, Th_Lecteur_Magneto& lecteur)
{
    std::vector<double> sauts, suivants;
    int64_t decodages = 0;
    for (int g = 3; g < 13; ++g) {
        const int64_t k = g * 50 + 25;
        const int64_t cible = k + 60 * Cadence < 2000 ? k + 60 * Cadence : k - 60 * Cadence;
        Demander(image, k);
        Patienter(1000);
        const int64_t avant = lecteur.NbDecodages();
        sauts.push_back(Demander(image, cible));
        suivants.push_back(Demander(image, cible + 1));
        decodages += lecteur.NbDecodages() - avant;
    }
    // Memory with the four targets decoded ahead, as a paused film has it,
    // and once the reader has let them go.
    Patienter(1000);
    const long avecMo = LireStatutKo("VmRSS") / 1024;
    lecteur.PermettrePrevision(false);
    Patienter(500);
    const long sansMo = LireStatutKo("VmRSS") / 1024;
    lecteur.PermettrePrevision(true);
    std::printf("%-13s saut prevu      recherche %5.1f / %5.1f ms   '.' apres %5.1f / %5.1f ms (mediane / p90)"
                "   %.1f decodages (saut et '.') ; %lld decodees d'avance en tout ; en pause %ld Mo, %ld sans"
                " les cibles\n",
                f.nom, Quantile(sauts, 0.5), Quantile(sauts, 0.9), Quantile(suivants, 0.5), Quantile(suivants, 0.9),
                static_cast<double>(decodages) / static_cast<double>(sauts.size()),
                static_cast<long long>(lecteur.NbDecodagesPrevus()), avecMo, sansMo);
}

} // namespace

int main(int argc, char** argv)
{
    ReglerTasMemoire(); // as the player does
    QApplication app(argc, argv);
    SilencerCodecs();
    if (argc < 2) {
        std::fprintf(stderr, "usage : bench_temps DOSSIER\n");
        return 2;
    }
    const std::string dossier = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dossier, ec); // the films are made there on the first run
    ReinitialiserEtat();
    CreerMutexVoie(0);
    CreerMutexGeneral();
    std::unique_ptr<unsigned char[]> tampon(new unsigned char[TailleBufferImage]);
    Voies[0].BufferImage = Voies[0].ImageSortie = tampon.get();
    TImageEtiree image;
    image.resize(960, 540);
    image.show();
    ImageAffichage = &image;

    FILE* charge = std::fopen("/proc/loadavg", "r");
    char ligne[128] = "?";
    if (charge != nullptr) {
        if (std::fgets(ligne, sizeof ligne, charge) == nullptr)
            ligne[0] = 0;
        std::fclose(charge);
    }
    std::printf("Tenue du temps, films ffmpeg de %d images a %d/s (cle toutes les 50, sans B), cible 960 x 540\n"
                "Charge de la machine (loadavg) : %s",
                NbImages, Cadence, ligne);
    std::printf("%-13s %-8s %8s %9s %8s %9s %7s %7s %11s\n", "film", "allure", "rapport", "pire 3,5s", "images/s",
                "immobile", "pic Mo", "lect Mo", "CPU / mur");
    int statut = 0;
    for (const Film& f : Films) {
        if (argc > 2 && std::strncmp(f.nom, argv[2], std::strlen(argv[2])) != 0)
            continue;
        std::string film;
        if (!PreparerFilm(dossier, f, film)) {
            std::printf("%-13s film impossible a fabriquer (ffmpeg)\n", f.nom);
            statut = 1;
            continue;
        }
        CopierTexte(CheminFilm, sizeof CheminFilm, film.c_str());
        TypeFilm = f.type;
        NbImagesFilm = NbImages;
        DureeFilm = NbImages / Cadence;
        Indexer(film, f.type);
        {
            Th_Lecteur_Magneto lecteur(0, 10);
            Patienter(100);
            for (const Allure& a : Allures) {
                if (argc > 3 && std::strcmp(a.nom, argv[3]) != 0)
                    continue;
                const Resultat r = Jouer(image, f, film, a);
                std::printf("%-13s %-8s %8.3f %8.1f %% %8.1f %7.0f ms %7ld %7ld %5.2f / %5.2f s\n", f.nom, a.nom,
                            r.rapport, r.pireFenetre * 100.0, r.imagesParSeconde, r.immobileMax, r.picMo, r.lectureMo,
                            r.cpu, r.mur / 1000.0);
                std::fflush(stdout);
            }
            if (argc <= 3 || std::strcmp(argv[3], "pas") == 0) {
                MesurerPas(image, f);
                MesurerPasArriere(image, f, lecteur);
                MesurerSautsPrevus(image, f, lecteur);
            }
            std::fflush(stdout);
            EcrireVoie([](Voie& v) { v.FlagLecture = 0; });
        }
        PublierIndex(nullptr, nullptr);
    }
    ImageAffichage = nullptr;
    Voies[0].BufferImage = Voies[0].ImageSortie = nullptr;
    return statut;
}
