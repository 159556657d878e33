#include "export/incrustation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int64_t MsParJour = 86400000;
// Days from 30/12/1899 to 01/01/1970.
constexpr int64_t JoursAvant1970 = 25569;
// Beyond the year 9999 a date is nonsense rather than a time to show.
constexpr double JoursMax = 3e6;
// Longest text a comment marker carries (its 2-byte length counts itself).
constexpr size_t CommentaireMax = 65533;

// Colours of the box (BGR): white text on a near-black box.
constexpr unsigned char Encre = 255;
constexpr unsigned char Fond = 16;

struct Glyphe {
    char c;
    unsigned char lignes[HauteurGlyphe]; // 5 low bits, leftmost dot = bit 4
};

constexpr Glyphe Police[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'/', {0x01, 0x02, 0x02, 0x04, 0x08, 0x08, 0x10}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
};

const unsigned char* LignesDe(char c)
{
    for (const Glyphe& g : Police)
        if (g.c == c)
            return g.lignes;
    return nullptr;
}

// Civil date of a day count from 01/01/1970 (proleptic Gregorian).
void DateCivile(int64_t z, int& annee, int& mois, int& jour)
{
    z += 719468;
    const int64_t ere = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t jde = z - ere * 146097;
    const int64_t ade = (jde - jde / 1460 + jde / 36524 - jde / 146096) / 365;
    const int64_t jda = jde - (365 * ade + ade / 4 - ade / 100);
    const int64_t mp = (5 * jda + 2) / 153;
    jour = int(jda - (153 * mp + 2) / 5 + 1);
    mois = int(mp < 10 ? mp + 3 : mp - 9);
    annee = int(ade + ere * 400 + (mois <= 2));
}

struct Decompose {
    int annee, mois, jour, heures, minutes, secondes;
};

bool DecomposerDate(double jours, Decompose& d)
{
    if (!std::isfinite(jours) || std::fabs(jours) > JoursMax)
        return false;
    // Negative date-times count days backwards but their fraction still
    // runs forwards from midnight.
    const double partieJour = std::trunc(jours);
    int64_t ms = int64_t(std::llround(std::fabs(jours - partieJour) * MsParJour));
    int64_t jour = int64_t(partieJour);
    if (ms >= MsParJour) {
        ms -= MsParJour;
        jour += jours < 0 ? -1 : 1;
    }
    DateCivile(jour - JoursAvant1970, d.annee, d.mois, d.jour);
    const int s = int(ms / 1000);
    d.heures = s / 3600;
    d.minutes = s / 60 % 60;
    d.secondes = s % 60;
    return true;
}

std::string NomSansExtension(const std::string& chemin)
{
    const size_t barre = chemin.find_last_of('/');
    std::string nom = barre == std::string::npos ? chemin : chemin.substr(barre + 1);
    const size_t point = nom.find_last_of('.');
    if (point != std::string::npos && point > 0)
        nom.erase(point);
    return nom;
}

unsigned Lire32(const unsigned char* p)
{
    return unsigned(p[0]) | unsigned(p[1]) << 8 | unsigned(p[2]) << 16 | unsigned(p[3]) << 24;
}

} // namespace

std::string TexteDateHeure(double jours)
{
    Decompose d;
    if (!DecomposerDate(jours, d))
        return std::string();
    char texte[64];
    std::snprintf(texte, sizeof texte, "%02d/%02d/%04d %02d:%02d:%02d", d.jour, d.mois, d.annee, d.heures,
                  d.minutes, d.secondes);
    return texte;
}

std::string TexteTempsFilm(double secondes)
{
    if (!std::isfinite(secondes) || secondes < 0)
        secondes = 0;
    const int64_t dixiemes = int64_t(secondes * 10 + 1e-6);
    const int64_t s = dixiemes / 10;
    char texte[64];
    std::snprintf(texte, sizeof texte, "%02lld:%02lld:%02lld.%lld", (long long)(s / 3600),
                  (long long)(s / 60 % 60), (long long)(s % 60), (long long)(dixiemes % 10));
    return texte;
}

double SecondesDeLImage(int64_t n, uint32_t nbImages, uint32_t dureeMs)
{
    if (nbImages == 0 || n <= 0)
        return 0;
    return double(n) * double(dureeMs) / double(nbImages) / 1000.0;
}

double DateALInstant(double debut, double fin, double dureeSecondes, double t)
{
    if (!(dureeSecondes > 0))
        return debut;
    return debut + (fin - debut) * t / dureeSecondes;
}

std::string TexteIncrustation(bool dates, double debut, double fin, double dureeSecondes, double t)
{
    if (dates) {
        const std::string texte = TexteDateHeure(DateALInstant(debut, fin, dureeSecondes, t));
        if (!texte.empty())
            return texte;
    }
    return TexteTempsFilm(t);
}

BoiteIncrustation CalculerBoiteIncrustation(int largeur, int hauteur, int nbCaracteres)
{
    BoiteIncrustation b;
    if (largeur <= 0 || hauteur <= 0 || nbCaracteres <= 0)
        return b;
    // Text cells plus one dot of margin on each side, in font dots.
    const int64_t pointsLargeur = int64_t(nbCaracteres) * LargeurCellule + 1;
    const int pointsHauteur = HauteurGlyphe + 2;
    int echelle = std::max(1, hauteur / LignesParEchelle);
    while (echelle > 0 && (pointsLargeur * echelle > largeur || pointsHauteur * echelle > hauteur))
        --echelle;
    if (echelle == 0)
        return b;
    b.echelle = echelle;
    b.largeur = int(pointsLargeur * echelle);
    b.hauteur = pointsHauteur * echelle;
    return b;
}

BoiteIncrustation IncrusterTexte(unsigned char* haut, int largeur, int hauteur, ptrdiff_t pas,
                                 const std::string& texte)
{
    const BoiteIncrustation b = CalculerBoiteIncrustation(largeur, hauteur, int(texte.size()));
    if (!haut || b.echelle == 0)
        return BoiteIncrustation{};
    const int e = b.echelle;
    for (int y = 0; y < b.hauteur; ++y) {
        unsigned char* ligne = haut + ptrdiff_t(b.haut + y) * pas + ptrdiff_t(b.gauche) * 3;
        std::memset(ligne, Fond, size_t(b.largeur) * 3);
        const int rangee = y / e - 1; // glyph row, -1 and HauteurGlyphe are margins
        if (rangee < 0 || rangee >= HauteurGlyphe)
            continue;
        for (size_t i = 0; i < texte.size(); ++i) {
            const unsigned char* lignes = LignesDe(texte[i]);
            if (!lignes)
                continue;
            const int celluleX = e * (1 + int(i) * LargeurCellule);
            for (int px = 0; px < LargeurGlyphe; ++px) {
                if (!(lignes[rangee] & (0x10 >> px)))
                    continue;
                std::memset(ligne + ptrdiff_t(celluleX + px * e) * 3, Encre, size_t(e) * 3);
            }
        }
    }
    return b;
}

int IncrusterBitmap(unsigned char* f, size_t taille, const std::string& texte)
{
    constexpr size_t TailleEntete = 54;
    if (!f || taille < TailleEntete || f[0] != 'B' || f[1] != 'M')
        return -1;
    const unsigned debutPixels = Lire32(f + 10);
    const int largeur = int(Lire32(f + 18));
    const int hauteurBrute = int(Lire32(f + 22));
    const unsigned bits = unsigned(f[28] | f[29] << 8);
    const unsigned compression = Lire32(f + 30);
    if (bits != 24 || compression != 0 || largeur <= 0 || hauteurBrute == 0 || hauteurBrute == INT32_MIN ||
        largeur > (1 << 16))
        return -1;
    const int hauteur = hauteurBrute > 0 ? hauteurBrute : -hauteurBrute;
    const size_t pas = (size_t(largeur) * 3 + 3) & ~size_t(3);
    if (debutPixels < TailleEntete || debutPixels > taille || (taille - debutPixels) / pas < size_t(hauteur))
        return -1;
    unsigned char* pixels = f + debutPixels;
    if (hauteurBrute > 0) // bottom-up: the top row is the last in memory
        IncrusterTexte(pixels + (size_t(hauteur) - 1) * pas, largeur, hauteur, -ptrdiff_t(pas), texte);
    else
        IncrusterTexte(pixels, largeur, hauteur, ptrdiff_t(pas), texte);
    return 0;
}

std::string NomPhoto(const std::string& cheminFilm, bool dates, double dateImage, double secondesFilm)
{
    const std::string film = NomSansExtension(cheminFilm);
    char texte[64];
    Decompose d;
    if (dates && DecomposerDate(dateImage, d)) {
        std::snprintf(texte, sizeof texte, "_%02d-%02d-%04d_%02d-%02d-%02d.jpg", d.jour, d.mois, d.annee,
                      d.heures, d.minutes, d.secondes);
    } else {
        const int64_t s = std::isfinite(secondesFilm) && secondesFilm > 0 ? int64_t(secondesFilm) : 0;
        std::snprintf(texte, sizeof texte, "_%02lld-%02lld-%02lld.jpg", (long long)(s / 3600),
                      (long long)(s / 60 % 60), (long long)(s % 60));
    }
    return film + texte;
}

std::string CommentairePhoto(const std::string& cheminFilm, bool dates, double dateImage, double secondesFilm)
{
    const size_t barre = cheminFilm.find_last_of('/');
    const std::string nom = barre == std::string::npos ? cheminFilm : cheminFilm.substr(barre + 1);
    std::string quand;
    if (dates)
        quand = TexteDateHeure(dateImage);
    if (quand.empty())
        return "Film : " + nom + " ; temps du film : " + TexteTempsFilm(secondesFilm);
    return "Film : " + nom + " ; date et heure : " + quand + " ; temps du film : " + TexteTempsFilm(secondesFilm);
}

int AjouterCommentaireJpeg(std::vector<unsigned char>& jpeg, const std::string& texte)
{
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return -1;
    size_t place = 2;
    // After an APP0 segment (JFIF readers expect it first).
    if (jpeg[2] == 0xFF && jpeg[3] == 0xE0 && jpeg.size() >= 6) {
        const size_t longueur = size_t(jpeg[4]) << 8 | jpeg[5];
        if (longueur >= 2 && 4 + longueur <= jpeg.size())
            place = 4 + longueur;
    }
    const size_t nb = std::min(texte.size(), CommentaireMax);
    std::vector<unsigned char> marqueur;
    marqueur.reserve(nb + 4);
    marqueur.push_back(0xFF);
    marqueur.push_back(0xFE);
    marqueur.push_back((unsigned char)((nb + 2) >> 8));
    marqueur.push_back((unsigned char)((nb + 2) & 0xFF));
    marqueur.insert(marqueur.end(), texte.begin(), texte.begin() + ptrdiff_t(nb));
    jpeg.insert(jpeg.begin() + ptrdiff_t(place), marqueur.begin(), marqueur.end());
    return 0;
}

std::string LireCommentaireJpeg(const unsigned char* j, size_t taille)
{
    if (!j || taille < 4 || j[0] != 0xFF || j[1] != 0xD8)
        return std::string();
    size_t p = 2;
    while (p + 4 <= taille && j[p] == 0xFF) {
        const unsigned char m = j[p + 1];
        if (m == 0xDA || m == 0xD9) // picture data or end: no comment before
            break;
        const size_t longueur = size_t(j[p + 2]) << 8 | j[p + 3];
        if (longueur < 2 || p + 2 + longueur > taille)
            break;
        if (m == 0xFE)
            return std::string(reinterpret_cast<const char*>(j + p + 4), longueur - 2);
        p += 2 + longueur;
    }
    return std::string();
}
