#include "core/journal.h"

#include "core/dossier_utilisateur.h"
#include "core/etat.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#ifdef ZR7_JOURNAUX_ACTIFS
unsigned char FlagJournalMagneto = 1;
unsigned char FlagJournalMagnetoSon = 1;
unsigned char FlagJournalAudio = 1;
#else
unsigned char FlagJournalMagneto = 0;
unsigned char FlagJournalMagnetoSon = 0;
unsigned char FlagJournalAudio = 0;
#endif

namespace {

// The reader and sound reader logs keep their last megabyte; the audio log,
// written far more often, a tenth of that.
constexpr int64_t LimiteGrandJournal = 1500000;
constexpr int64_t GardeGrandJournal = 1000000;
constexpr int64_t BlocGrandJournal = 100000;
constexpr int64_t LimitePetitJournal = 150000;
constexpr int64_t GardePetitJournal = 100000;
constexpr int64_t BlocPetitJournal = 10000;
constexpr int NbBlocsMax = 10;

struct FermeFichier {
    void operator()(FILE* f) const { std::fclose(f); }
};
using Fichier = std::unique_ptr<FILE, FermeFichier>;

unsigned char SwitchDuJournal(Journal j)
{
    switch (j) {
    case Journal::Magneto: return FlagJournalMagneto;
    case Journal::MagnetoSon: return FlagJournalMagnetoSon;
    case Journal::Audio: return FlagJournalAudio;
    }
    return 0;
}

// A file whose write permission bits are all clear is read-only for
// everybody, root included, as a read-only file is on the recorders.
bool LectureSeule(const char* chemin)
{
    struct stat st;
    return stat(chemin, &st) == 0 && (st.st_mode & 0222) == 0;
}

void Couper(const ParametresJournal& p, int64_t taille)
{
    Fichier log(std::fopen(p.fichier, "r+b"));
    if (!log)
        return;
    Fichier tmp(std::fopen(p.temporaire, "wb"));
    if (!tmp)
        return;
    std::vector<char> bloc;
    try {
        bloc.resize(static_cast<size_t>(p.bloc));
    } catch (...) {
        return;
    }
    if (fseeko(log.get(), static_cast<off_t>(taille - p.garde), SEEK_SET) != 0)
        return;
    for (int i = 0; i < NbBlocsMax; ++i) {
        if (std::fread(bloc.data(), 1, bloc.size(), log.get()) != bloc.size())
            break;
        if (std::fwrite(bloc.data(), 1, bloc.size(), tmp.get()) != bloc.size())
            break;
    }
    log.reset();
    tmp.reset();
    std::remove(p.fichier);
    std::rename(p.temporaire, p.fichier);
}

} // namespace

ParametresJournal ParametresDuJournal(Journal journal, int voie)
{
    ParametresJournal p{};
    // An installed player keeps its logs in the user's folder.
    const std::string dossier = DossierDesJournaux(DossierProgramme);
    const char* const DossierLog = dossier.c_str();
    switch (journal) {
    case Journal::Magneto:
        std::snprintf(p.fichier, sizeof p.fichier, "%sMagneto.log", DossierLog);
        std::snprintf(p.temporaire, sizeof p.temporaire, "%sMagneto.tmp", DossierLog);
        p.limite = LimiteGrandJournal; p.garde = GardeGrandJournal; p.bloc = BlocGrandJournal;
        break;
    case Journal::MagnetoSon:
        std::snprintf(p.fichier, sizeof p.fichier, "%sMagnetoSon%d.log", DossierLog, voie);
        std::snprintf(p.temporaire, sizeof p.temporaire, "%sMagnetoSon%d.tmp", DossierLog, voie);
        p.limite = LimiteGrandJournal; p.garde = GardeGrandJournal; p.bloc = BlocGrandJournal;
        break;
    case Journal::Audio:
        std::snprintf(p.fichier, sizeof p.fichier, "%sAudio-%d.log", DossierLog, voie);
        std::snprintf(p.temporaire, sizeof p.temporaire, "%sAudio-%d.tmp", DossierLog, voie);
        p.limite = LimitePetitJournal; p.garde = GardePetitJournal; p.bloc = BlocPetitJournal;
        break;
    }
    return p;
}

void EcrireJournal(Journal journal, int voie, const char* texte)
{
    if (!SwitchDuJournal(journal))
        return;
    const ParametresJournal p = ParametresDuJournal(journal, voie);
    if (LectureSeule(p.fichier))
        return;
    int64_t taille = 0;
    {
        Fichier f(std::fopen(p.fichier, "ab"));
        if (!f)
            return;
        char date[301];
        std::time_t maintenant = std::time(nullptr);
        std::tm local{};
        localtime_r(&maintenant, &local);
        std::strftime(date, sizeof date, "%d/%m/%Y %H:%M:%S", &local);
        std::fprintf(f.get(), "%s %s\r\n", date, texte ? texte : "");
        std::fflush(f.get());
        taille = static_cast<int64_t>(ftello(f.get()));
    }
    if (taille > p.limite)
        Couper(p, taille);
}
