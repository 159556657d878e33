#include "export/integrite.h"

#include "core/ouverture.h"
#include "engine/fichierfilm.h"
#include "export/incrustation.h"
#include "export/fichier_temporaire.h"
#include "export/protection.h"
#include "export/sortie_sure.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits.h>
#include <memory>
#include <vector>

#include <sys/stat.h>

#ifndef ZR7_VERSION
#define ZR7_VERSION "0.0.0"
#endif

const char* const ExtensionsCompagnons[4] = {"hrd", "pcm", "msr", "mdp"};

const char* const MessageRapportImpossible =
    "Erreur de création du rapport d'intégrité (le fichier exporté est conservé)";

namespace {

// Read block of the file hashes: large enough for the library's fast path,
// small enough to stay out of the way of the rest of the process.
constexpr size_t BlocHachage = 1 << 20;

struct FermeFichier {
    void operator()(FILE* f) const { std::fclose(f); }
};

const char* NomGenre(GenreExport g)
{
    switch (g) {
    case GenreExport::Avi: return "Film AVI";
    case GenreExport::Extraction: return "Extraction de séquence";
    case GenreExport::Photo: return "Photo";
    case GenreExport::CopieExacte: return "copie exacte (images d'origine, non réencodées)";
    }
    return "";
}

std::string Instant(std::time_t t, bool utc)
{
    std::tm tm{};
    if (utc)
        gmtime_r(&t, &tm);
    else
        localtime_r(&t, &tm);
    char texte[64];
    std::strftime(texte, sizeof texte, utc ? "%d/%m/%Y %H:%M:%S UTC" : "%d/%m/%Y %H:%M:%S (%z)", &tm);
    return texte;
}

std::string Secondes(double s)
{
    char texte[64];
    std::snprintf(texte, sizeof texte, "%.3f s (%s)", s, TexteTempsFilm(s).c_str());
    return texte;
}

int Hacher(FichierHache& f)
{
    if (!f.sha256.empty() && f.taille >= 0)
        return 0;
    f.taille = TailleFichier(f.chemin);
    if (f.taille < 0)
        return -1;
    return Sha256Fichier(f.chemin, f.sha256);
}

} // namespace

struct HacheurSha256::Etat {
    EVP_MD_CTX* ctx = nullptr;
    ~Etat() { EVP_MD_CTX_free(ctx); }
};

HacheurSha256::HacheurSha256() : etat_(new Etat)
{
    etat_->ctx = EVP_MD_CTX_new();
    Recommencer();
}

HacheurSha256::~HacheurSha256() = default;

void HacheurSha256::Recommencer()
{
    vus_ = 0;
    echec_ = !etat_->ctx || EVP_DigestInit_ex(etat_->ctx, EVP_sha256(), nullptr) != 1;
}

bool HacheurSha256::Ajouter(const void* octets, size_t nb)
{
    if (echec_)
        return false;
    if (nb == 0)
        return true;
    if (!octets || EVP_DigestUpdate(etat_->ctx, octets, nb) != 1) {
        echec_ = true;
        return false;
    }
    vus_ += int64_t(nb);
    return true;
}

std::string HacheurSha256::Terminer()
{
    if (echec_)
        return std::string();
    unsigned char somme[EVP_MAX_MD_SIZE];
    unsigned int nb = 0;
    echec_ = true; // one digest per run of bytes
    if (EVP_DigestFinal_ex(etat_->ctx, somme, &nb) != 1)
        return std::string();
    static const char hex[] = "0123456789abcdef";
    std::string texte;
    for (unsigned int i = 0; i < nb; ++i) {
        texte += hex[somme[i] >> 4];
        texte += hex[somme[i] & 15];
    }
    return texte;
}

int Sha256Fichier(const std::string& chemin, std::string& hex, const std::function<bool(int64_t)>& progres)
{
    hex.clear();
    std::unique_ptr<FILE, FermeFichier> f(OuvrirFichierOrdinaire(chemin.c_str()));
    if (!f)
        return -1;
    std::vector<unsigned char> bloc;
    try {
        bloc.resize(BlocHachage);
    } catch (...) {
        return -1;
    }
    HacheurSha256 h;
    for (;;) {
        const size_t lu = std::fread(bloc.data(), 1, bloc.size(), f.get());
        if (lu > 0 && !h.Ajouter(bloc.data(), lu))
            return -1;
        if (progres && !progres(h.OctetsVus()))
            return -1;
        if (lu < bloc.size())
            break;
    }
    if (std::ferror(f.get()))
        return -1;
    hex = h.Terminer();
    return hex.empty() ? -1 : 0;
}

std::vector<std::string> CompagnonsPresents(const std::string& cheminFilm)
{
    std::vector<std::string> presents;
    for (const char* ext : ExtensionsCompagnons) {
        const std::string c = NomCompagnon(cheminFilm, ext);
        if (!c.empty() && c != cheminFilm && EstFichierOrdinaire(c))
            presents.push_back(c);
    }
    return presents;
}

std::string CheminAbsolu(const std::string& chemin)
{
    namespace fs = std::filesystem;
    std::error_code err;
    fs::path p = fs::absolute(fs::path(chemin), err);
    if (err)
        p = fs::path(chemin);
    // The folder's links are resolved (two names of one folder compare
    // equal); the file's own name is kept as the user gave it.
    fs::path dossier = fs::weakly_canonical(p.parent_path(), err);
    if (err)
        dossier = p.parent_path().lexically_normal();
    return (dossier / p.filename()).string();
}

std::string NomPourSomme(const std::string& dossierRapport, const std::string& fichier)
{
    namespace fs = std::filesystem;
    const fs::path absolu(CheminAbsolu(fichier));
    std::error_code err;
    fs::path dossier = fs::weakly_canonical(fs::absolute(fs::path(dossierRapport), err), err);
    if (!err && absolu.parent_path() == dossier.lexically_normal())
        return absolu.filename().string();
    return absolu.string();
}

std::string LigneSomme(const std::string& hex, const std::string& nom)
{
    std::string echappe;
    bool special = false;
    for (char c : nom) {
        if (c == '\\') {
            echappe += "\\\\";
            special = true;
        } else if (c == '\n') {
            echappe += "\\n";
            special = true;
        } else {
            echappe += c;
        }
    }
    return (special ? "\\" : "") + hex + "  " + echappe + "\n";
}

std::string CheminSomme(const std::string& sortie)
{
    return sortie + ".sha256";
}

std::string CheminRapport(const std::string& sortie)
{
    return sortie + ".rapport.txt";
}

void SupprimerRapportsPerimes(const std::string& sortie)
{
    for (const std::string& c : {CheminSomme(sortie), CheminRapport(sortie)}) {
        struct stat l {};
        if (lstat(c.c_str(), &l) == 0 && (S_ISREG(l.st_mode) || S_ISLNK(l.st_mode)))
            std::remove(c.c_str());
    }
}

const char* VersionLecteur()
{
    return ZR7_VERSION;
}

std::string TexteSommes(const InfosRapport& infos)
{
    const std::string dossier = std::filesystem::path(CheminAbsolu(CheminSomme(infos.sortie.chemin)))
                                    .parent_path()
                                    .string();
    std::string texte = LigneSomme(infos.sortie.sha256, NomPourSomme(dossier, infos.sortie.chemin));
    if (!infos.source.chemin.empty())
        texte += LigneSomme(infos.source.sha256, NomPourSomme(dossier, infos.source.chemin));
    for (const FichierHache& c : infos.compagnons)
        if (!c.illisible)
            texte += LigneSomme(c.sha256, NomPourSomme(dossier, c.chemin));
    return texte;
}

std::string TexteRapport(const InfosRapport& i)
{
    std::string t;
    auto ligne = [&t](const std::string& s) { t += s + "\n"; };
    auto fichier = [&ligne](const char* titre, const FichierHache& f) {
        ligne(std::string(titre) + CheminAbsolu(f.chemin));
        ligne("  Taille : " + std::to_string(f.taille) + " octets");
        ligne("  SHA-256 : " + f.sha256);
    };
    char tampon[160];

    ligne("Rapport d'intégrité - Lecteur ZR7");
    ligne("===================================");
    ligne(std::string("Export : ") + NomGenre(i.genre));
    ligne(std::string("Version du lecteur : ") + i.version);
    ligne("Date de l'export (UTC) : " + Instant(i.instant, true));
    ligne("Date de l'export (heure locale) : " + Instant(i.instant, false));
    ligne("");
    if (i.source.chemin.empty()) {
        ligne("Film source : aucun (image affichée sans film ouvert)");
    } else {
        fichier("Film source : ", i.source);
        ligne(std::string("Film protégé par mot de passe : ") + (i.protege ? "oui" : "non"));
    }
    for (const FichierHache& c : i.compagnons) {
        if (c.illisible)
            ligne("Fichier associé : " + CheminAbsolu(c.chemin) + " (illisible : sans empreinte)");
        else
            fichier("Fichier associé : ", c);
    }
    ligne("");
    ligne("Partie exportée :");
    ligne("  Début : " + Secondes(i.debutSecondes));
    ligne("  Fin : " + Secondes(i.finSecondes));
    std::snprintf(tampon, sizeof tampon, "  Images : %lld à %lld (%lld image%s)", (long long)i.premiereImage,
                  (long long)i.derniereImage, (long long)(i.derniereImage - i.premiereImage + 1),
                  i.derniereImage > i.premiereImage ? "s" : "");
    ligne(tampon);
    if (i.dates) {
        ligne("  Date et heure du début : " + TexteDateHeure(i.dateDebut));
        ligne("  Date et heure de la fin : " + TexteDateHeure(i.dateFin));
    } else {
        ligne("  Date et heure : le film n'a pas de fichier de dates");
    }
    std::snprintf(tampon, sizeof tampon, "Cadence : %.3f images par seconde", i.imagesParSeconde);
    ligne(tampon);
    if (i.genre == GenreExport::Avi)
        ligne(std::string("Date incrustée dans les images : ") + (i.dateIncrustee ? "oui" : "non"));
    ligne("");
    fichier("Fichier exporté : ", i.sortie);
    ligne("");
    ligne("Vérification : sha256sum -c " +
          std::filesystem::path(CheminSomme(i.sortie.chemin)).filename().string());
    return t;
}

int EcrireRapportIntegrite(InfosRapport& infos)
{
    if (infos.version.empty())
        infos.version = VersionLecteur();
    if (infos.instant == 0)
        infos.instant = std::time(nullptr);
    // A snapshot of the logo has no film behind it: the report covers the
    // output alone. A film that was named must be hashed.
    const bool source = !infos.source.chemin.empty();
    if (Hacher(infos.sortie) != 0 || (source && Hacher(infos.source) != 0))
        return -1;
    if (source && infos.compagnons.empty()) {
        for (const std::string& c : CompagnonsPresents(infos.source.chemin))
            infos.compagnons.push_back(FichierHache{c, -1, {}});
    }
    for (FichierHache& c : infos.compagnons) {
        // One unreadable companion does not stop the report: it says so.
        c.illisible = Hacher(c) != 0;
        if (c.illisible) {
            c.sha256.clear();
            c.taille = -1;
        }
    }
    infos.protege = source && FilmProtege(infos.source.chemin);
    // A report never replaces a device, a FIFO or a folder of its name.
    if (!RemplacementPermis(CheminSomme(infos.sortie.chemin)) || !RemplacementPermis(CheminRapport(infos.sortie.chemin)))
        return -1;
    const std::string sommes = TexteSommes(infos);
    const std::string rapport = TexteRapport(infos);
    if (EcrireFichierEnPlace(CheminSomme(infos.sortie.chemin), sommes.data(), sommes.size()) != 0)
        return -1;
    if (EcrireFichierEnPlace(CheminRapport(infos.sortie.chemin), rapport.data(), rapport.size()) != 0) {
        std::remove(CheminSomme(infos.sortie.chemin).c_str());
        return -1;
    }
    return 0;
}
