// Sound against pictures at x 1: a 25 pictures/s film of one minute whose
// ".pcm" carries a 5 ms click at each whole second (the click's samples
// spell the second's number). The reader, the sound reader and the audio
// output run with the player's own waits on SDL's disk driver; each click's
// time at the device (the callback that took it, plus the device's buffer
// length) is set against the hand-over time of that second's first picture.
// Runs: from 0, then after a seek to second 37 before and after the film is
// indexed (proportional start, then exact start).
//
// Reference, measured in the same run: the same sound written straight to
// the audio-out layer from a known instant, clicks against that instant's
// clock (what the device path alone adds). Memory: a pass over a one-hour
// ".pcm" against reading the whole file, as a whole-file pass would.
#include "commun_bench.h"
#include "filmmaker.h"

#include "core/etat.h"
#include "engine/th_indexeur.h"
#include "engine/th_lecteur_magneto.h"
#include "sound/audio_out.h"
#include "sound/g711.h"
#include "sound/th_son.h"
#include "sound/thmagnetoson.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <thread>

namespace {

using Octets = std::vector<unsigned char>;

constexpr double Cadence = 25.0;
constexpr int DureeFilmS = 60;
constexpr int SecondeSaut = 37;
// Click: 8 samples of sync at +A, then 16 bits of the second, 2 samples each.
constexpr int AmplitudeClic = 24000;
constexpr int SeuilClic = 12000;
constexpr int AmplitudeTon = 800;
constexpr int SynchroClic = 8;
constexpr int BitsClic = 16;
constexpr int LongueurClic = SynchroClic + 2 * BitsClic; // 40 samples, 5 ms
// Targets: sound at most 45 ms early, at most 125 ms late.
constexpr double AvanceMaxMs = 45.0;
constexpr double RetardMaxMs = 125.0;

Octets SonAClics(int secondes)
{
    Octets o(static_cast<size_t>(secondes) * DebitSonOctetsParSeconde);
    for (size_t i = 0; i < o.size(); ++i) {
        const size_t s = i / DebitSonOctetsParSeconde, k = i % DebitSonOctetsParSeconde;
        double v = AmplitudeTon * std::sin(2 * M_PI * 440.0 * static_cast<double>(i) / 8000.0);
        if (k < static_cast<size_t>(SynchroClic))
            v = AmplitudeClic;
        else if (k < static_cast<size_t>(LongueurClic)) {
            const int bit = static_cast<int>((k - SynchroClic) / 2);
            v = ((s >> (BitsClic - 1 - bit)) & 1) ? AmplitudeClic : -AmplitudeClic;
        }
        o[i] = EncoderMuLaw(static_cast<int16_t>(std::lround(v)));
    }
    return o;
}

struct Clic {
    int seconde;
    int64_t position; // device sample
};

// The clicks heard, in device order.
std::vector<Clic> TrouverClics(const std::vector<int16_t>& s)
{
    std::vector<Clic> clics;
    for (size_t i = 1; i + LongueurClic < s.size(); ++i) {
        if (s[i] < SeuilClic || std::abs(s[i - 1]) >= SeuilClic)
            continue;
        bool valide = true;
        for (int k = 0; k < LongueurClic && valide; ++k)
            valide = std::abs(s[i + static_cast<size_t>(k)]) >= SeuilClic &&
                     (k >= SynchroClic || s[i + static_cast<size_t>(k)] > 0);
        if (!valide)
            continue;
        int seconde = 0;
        for (int b = 0; b < BitsClic; ++b)
            seconde = seconde << 1 | (s[i + SynchroClic + 2 * static_cast<size_t>(b)] > 0 ? 1 : 0);
        clics.push_back({seconde, static_cast<int64_t>(i)});
        i += LongueurClic;
    }
    return clics;
}

std::vector<int16_t> LireEchantillons(const std::string& chemin)
{
    std::ifstream f(chemin, std::ios::binary);
    const std::vector<char> o((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<int16_t> v(o.size() / 2);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<int16_t>(static_cast<unsigned char>(o[2 * i]) | static_cast<unsigned char>(o[2 * i + 1]) << 8);
    return v;
}

// When device sample `position` reached the device, in ms of HorlogeMs;
// NaN when no callback took it.
double TempsAuPeripherique(const std::vector<TraceRappel>& traces, int64_t position, int echantillonsPeripherique)
{
    for (const TraceRappel& t : traces)
        if (position >= t.positionPeripherique && position < t.positionPeripherique + t.nbEchantillons)
            return static_cast<double>(t.tempsNs) / 1e6 +
                   1000.0 * static_cast<double>(position - t.positionPeripherique + echantillonsPeripherique) /
                       FrequenceSon;
    return std::nan("");
}

double CpuMs()
{
    rusage r;
    getrusage(RUSAGE_SELF, &r);
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000.0 + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000.0;
}

// Runs the picture hand-overs waiting for the main thread, without spinning.
void Traiter()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void Ecrire(const std::string& chemin, const Octets& o)
{
    std::ofstream f(chemin, std::ios::binary);
    f.write(reinterpret_cast<const char*>(o.data()), static_cast<std::streamsize>(o.size()));
}

template <typename F>
void SousVerrou(F f)
{
    const int r = PrendreMutexVoie(0);
    f(Voies[0]);
    if (r == 0)
        RendreMutexVoie(0);
}

struct Ecarts {
    int nb = 0, horsCible = 0;
    double moyenne = 0, pire = 0, min = 1e9, max = -1e9;
};

void Afficher(const char* nom, const Ecarts& e, double murMs, double cpuMs)
{
    if (e.nb == 0) {
        std::printf("%-30s aucun clic entendu\n", nom);
        return;
    }
    std::printf("%-30s %3d clics  moyenne %+7.1f ms  pire %+7.1f ms  (de %+.1f a %+.1f)  hors cible %d"
                "  [mur %.1f s, CPU %.2f s]\n",
                nom, e.nb, e.moyenne, e.pire, e.min, e.max, e.horsCible, murMs / 1000, cpuMs / 1000);
}

void Ajouter(Ecarts& e, double ecart)
{
    e.moyenne = (e.moyenne * e.nb + ecart) / (e.nb + 1);
    ++e.nb;
    if (std::abs(ecart) > std::abs(e.pire))
        e.pire = ecart;
    e.min = std::min(e.min, ecart);
    e.max = std::max(e.max, ecart);
    if (ecart > AvanceMaxMs || ecart < -RetardMaxMs)
        ++e.horsCible;
}

// Pictures handed over, with their time and the number read on them.
class CibleSon : public QObject, public CibleImage
{
public:
    std::vector<double> temps;
    std::vector<int> numeros;
    void AfficherImage(const unsigned char* bitmap, int taille) override
    {
        temps.push_back(HorlogeMs());
        numeros.push_back(LireNumeroBitmap(bitmap, static_cast<size_t>(taille)));
    }
};

// Memory of a sound pass over a one-hour file, against the whole file read
// into memory; both in kB of resident memory above their start.
void MesurerMemoire(const std::string& dossier)
{
    const std::string film = dossier + "/heure.mjp";
    Ecrire(dossier + "/heure.pcm", Octets(static_cast<size_t>(3600) * DebitSonOctetsParSeconde, 0xFF));
    const long avant = LireStatutKo("VmRSS");
    long pic = avant;
    {
        ThMagnetoSon lecteur(0, 0);
        TH_Son son(0, 0);
        SousVerrou([&](Voie& v) {
            CopierTexte(v.CheminSon, sizeof v.CheminSon, film.c_str());
            v.FlagLecture = 1;
            v.FlagSonActif = v.FlagSonEcoute = 1;
            v.NumeroDemande = v.NumeroRun = v.RunImageMontree = 1;
            v.ImageMontree = 45000;
            v.MsImageMontree = 1800000; // a seek to half an hour
        });
        const double debut = HorlogeMs();
        while (HorlogeMs() - debut < 3000) {
            pic = std::max(pic, LireStatutKo("VmRSS"));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        SousVerrou([](Voie& v) { v.FlagLecture = 0; });
    }
    long picReference = 0;
    {
        const long base = LireStatutKo("VmRSS");
        std::ifstream f(dossier + "/heure.pcm", std::ios::binary | std::ios::ate);
        std::vector<char> image(static_cast<size_t>(f.tellg()));
        f.seekg(0);
        f.read(image.data(), static_cast<std::streamsize>(image.size()));
        picReference = LireStatutKo("VmRSS") - base;
        std::printf("Memoire, .pcm d'une heure (%zu octets) :\n", image.size());
    }
    std::printf("  passe du lecteur de son (3 s, depuis 30 min) : +%ld ko au plus\n", pic - avant);
    std::printf("  reference, fichier lu en entier             : +%ld ko\n", picReference);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SilencerCodecs();
    DossierBench dossier;
    if (dossier.chemin.empty())
        return 1;

    ReinitialiserEtat();
    CreerMutexVoie(0);
    CreerMutexGeneral();
    std::unique_ptr<unsigned char[]> image(new unsigned char[TailleBufferImage]);
    std::unique_ptr<unsigned char[]> tamponSon(new unsigned char[TailleBufferSon]);
    Voies[0].BufferImage = Voies[0].ImageSortie = image.get();
    Voies[0].BufferSon = tamponSon.get();

    setenv("SDL_AUDIODRIVER", "dummy", 1);
    MesurerMemoire(dossier.chemin);

    const Octets son = SonAClics(DureeFilmS);
    int echecs = 0;

    // Reference: the sound straight to the device, second s due at t0 + s.
    {
        const std::string sortie = dossier.chemin + "/reference.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", sortie.c_str(), 1);
        const double mur0 = HorlogeMs(), cpu0 = CpuMs();
        if (AUDIO_OUT_Open(0, TailleBufferSon) != 0) {
            std::printf("pas de peripherique son\n");
            return 1;
        }
        AudioOutSlot* s = AUDIO_OUT_Slot(0);
        const int secondes = 20;
        // Sample 0 reaches the device at the first callback after the
        // first write, plus the buffer: take t0 from the trace.
        size_t ecrits = 0;
        while (ecrits < static_cast<size_t>(secondes) * DebitSonOctetsParSeconde) {
            if (!(s->headers[s->current].dwFlags.load() & EnteteEnFile)) {
                AUDIO_OUT_Write(0, son.data() + ecrits, TailleBufferSon);
                ecrits += TailleBufferSon;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        while (s->nbFile > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const std::vector<TraceRappel> traces = AUDIO_OUT_Traces(0);
        const int tampon = s->echantillonsPeripherique;
        AUDIO_OUT_Close(0);
        const std::vector<int16_t> joue = LireEchantillons(sortie);
        const std::vector<Clic> clics = TrouverClics(joue);
        double t0 = std::nan("");
        int64_t p0 = 0;
        for (const TraceRappel& t : traces)
            if (t.nbDonnees > 0 && std::isnan(t0)) {
                t0 = TempsAuPeripherique(traces, t.positionPeripherique, tampon);
                p0 = t.positionPeripherique;
            }
        Ecarts brut, exact;
        for (const Clic& c : clics) {
            Ajouter(brut, t0 + 1000.0 * c.seconde - TempsAuPeripherique(traces, c.position, tampon));
            Ajouter(exact, 1000.0 * c.seconde - 1000.0 * static_cast<double>(c.position - p0) / FrequenceSon);
        }
        std::printf("Son contre images a x 1, film MJPEG 320 x 240 a %.0f images/s, %d s ; ecart = image - son"
                    " (positif : son en avance), cible +%.0f / -%.0f ms ; tampon du peripherique %d echantillons"
                    " (%.0f ms, ajoutes a l'heure de chaque rappel)\n"
                    "Chaque run : au peripherique (horloge du pilote disque), puis sur un peripherique a 8000 Hz"
                    " exacts (clic place depuis le premier echantillon du run, a 8000 echantillons/s)\n",
                    Cadence, DureeFilmS, AvanceMaxMs, RetardMaxMs, tampon, 1000.0 * tampon / FrequenceSon);
        Afficher("reference, son seul (20 s)", brut, HorlogeMs() - mur0, CpuMs() - cpu0);
        Afficher("  a 8000 Hz exacts", exact, HorlogeMs() - mur0, CpuMs() - cpu0);
    }

    // The film and its sound.
    const std::string film = dossier.chemin + "/clics.mjp";
    {
        OptionsFilm o;
        o.nbImages = static_cast<int>(DureeFilmS * Cadence);
        o.cadence = Cadence;
        if (FabriquerFilm(film, o) != 0)
            return 1;
        Ecrire(dossier.chemin + "/clics.pcm", son);
    }
    EnteteFilm entete;
    LireEnteteFilm(film, entete);
    CopierTexte(CheminFilm, sizeof CheminFilm, film.c_str());
    TypeFilm = 1;
    NbImagesFilm = entete.NbImages;
    DureeFilm = entete.DureeMs / 1000;

    const std::string sortie = dossier.chemin + "/film.raw";
    setenv("SDL_DISKAUDIOFILE", sortie.c_str(), 1);
    CibleSon cible;
    ImageAffichage = &cible;
    struct Run {
        const char* nom;
        int seconde;
        double debut = 0, fin = 0, cpu = 0;
        double enFile = 0; // when the device first held a buffer of this run
        int64_t imagePubliee = -1; // picture number published then, and the one read on it
        int imageLue = -1;
        size_t premiereImage = 0, derniereImage = 0;
        bool indexe = false; // the film's picture index published, as the player has it once indexed
    };
    Run runs[] = {{"depuis 0", 0}, {"apres un saut a la seconde 37", SecondeSaut},
                  {"apres un saut a la seconde 37, film indexe", SecondeSaut}};
    runs[2].indexe = true;
    std::vector<TraceRappel> traces;
    int tampon = 0;
    {
        Th_Lecteur_Magneto lecteur(0);
        TH_Son sortieSon(0);
        ThMagnetoSon lecteurSon(0);
        SousVerrou([&](Voie& v) {
            CopierTexte(v.CheminSon, sizeof v.CheminSon, film.c_str());
            v.FlagSonActif = v.FlagSonEcoute = 1;
        });
        // The sound threads' start waits.
        const double attente = HorlogeMs();
        while (HorlogeMs() - attente < 1200)
            Traiter();
        for (Run& r : runs) {
            // As the window does: stop, wait, position, start.
            SousVerrou([](Voie& v) {
                v.FlagLecture = 0;
                ++v.NumeroDemande;
            });
            const double arret = HorlogeMs();
            while (HorlogeMs() - arret < 250)
                Traiter();
            if (r.indexe) {
                std::ifstream f(film, std::ios::binary);
                const Octets octets((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
                PublierIndex(film.c_str(), std::make_shared<IndexImages>(IndexerOctets(
                                               1, octets.data() + TailleEnteteFilm, octets.size() - TailleEnteteFilm)));
            }
            SecondeDepart = r.seconde;
            PositionSecondes = static_cast<uint32_t>(r.seconde);
            r.premiereImage = cible.temps.size();
            r.debut = HorlogeMs();
            const double cpu0 = CpuMs();
            SousVerrou([&](Voie& v) {
                v.FlagLecture = 1;
                v.FlagPause = 0;
                v.FlagFinDeFilm = 0;
                ++v.NumeroDemande;
            });
            bool fini = false;
            while (!fini && HorlogeMs() - r.debut < 1000.0 * (DureeFilmS - r.seconde + 15)) {
                Traiter();
                SousVerrou([&](Voie& v) { fini = v.FlagFinDeFilm != 0; });
                if (r.enFile == 0 && AUDIO_OUT_Slot(0)->nbFile > 0) {
                    r.enFile = HorlogeMs();
                    SousVerrou([&](Voie& v) { r.imagePubliee = v.ImageMontree; });
                    if (!cible.numeros.empty())
                        r.imageLue = cible.numeros.back();
                }
            }
            r.fin = HorlogeMs();
            r.cpu = CpuMs() - cpu0;
            r.derniereImage = cible.temps.size();
            if (!fini) {
                std::printf("%s : le film ne s'est pas termine\n", r.nom);
                ++echecs;
            }
        }
        SousVerrou([](Voie& v) {
            v.FlagLecture = 0;
            ++v.NumeroDemande;
        });
        traces = AUDIO_OUT_Traces(0);
        tampon = AUDIO_OUT_Slot(0)->echantillonsPeripherique;
    }
    ImageAffichage = nullptr;

    const std::vector<Clic> clics = TrouverClics(LireEchantillons(sortie));
    for (const Run& r : runs) {
        // Hand-over time of each second's first picture in this run.
        std::map<int, double> images;
        for (size_t k = r.premiereImage; k < r.derniereImage; ++k)
            if (cible.numeros[k] >= 0 && cible.numeros[k] % static_cast<int>(Cadence) == 0)
                images.emplace(cible.numeros[k] / static_cast<int>(Cadence), cible.temps[k]);
        // The run's first sample at the device anchors the exact clock.
        double t0 = std::nan("");
        int64_t p0 = 0;
        for (const TraceRappel& t : traces) {
            const double tt = static_cast<double>(t.tempsNs) / 1e6;
            if (t.nbDonnees > 0 && tt >= r.debut && tt <= r.fin) {
                t0 = TempsAuPeripherique(traces, t.positionPeripherique, tampon);
                p0 = t.positionPeripherique;
                break;
            }
        }
        Ecarts brut, exact;
        int horsRun = 0;
        std::map<int, bool> vus;
        for (const Clic& c : clics) {
            const double t = TempsAuPeripherique(traces, c.position, tampon);
            if (std::isnan(t) || t < r.debut || t > r.fin + 500 || vus[c.seconde])
                continue;
            vus[c.seconde] = true;
            const auto it = images.find(c.seconde);
            if (it == images.end()) {
                ++horsRun;
                continue;
            }
            Ajouter(brut, it->second - t);
            Ajouter(exact, it->second - (t0 + 1000.0 * static_cast<double>(c.position - p0) / FrequenceSon));
        }
        Afficher(r.nom, brut, r.fin - r.debut, r.cpu);
        if (r.derniereImage > r.premiereImage)
            std::printf("  premiere image remise a %.0f ms du depart ; premier morceau en file %+.0f ms apres elle,"
                        " pris par le peripherique %+.0f ms apres elle\n",
                        cible.temps[r.premiereImage] - r.debut, r.enFile - cible.temps[r.premiereImage],
                        t0 - 1000.0 * tampon / FrequenceSon - cible.temps[r.premiereImage]);
        std::printf("  image a l'ecran publiee par le lecteur a ce moment : %lld, numero lu sur l'image : %d\n",
                    static_cast<long long>(r.imagePubliee), r.imageLue);
        Afficher("  a 8000 Hz exacts", exact, r.fin - r.debut, r.cpu);
        if (horsRun > 0)
            std::printf("  %d clics sans image de la meme seconde dans ce run\n", horsRun);
        if (exact.nb == 0 || exact.horsCible > 0)
            ++echecs;
    }
    // The disk driver's own pace: samples per second of wall clock.
    if (traces.size() > 2) {
        const TraceRappel &a = traces.front(), &b = traces.back();
        std::printf("Cadence du peripherique (pilote disque) : %.1f echantillons/s\n",
                    1e9 * static_cast<double>(b.positionPeripherique - a.positionPeripherique) /
                        static_cast<double>(b.tempsNs - a.tempsNs));
    }
    Voies[0].BufferImage = Voies[0].ImageSortie = nullptr;
    Voies[0].BufferSon = nullptr;
    return echecs == 0 ? 0 : 1;
}
