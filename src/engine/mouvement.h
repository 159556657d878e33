// Motion inside a rectangle of the picture, from the luma of successive
// pictures. Plain computation: no file, codec, clock or thread; the search
// (recherche_mouvement.h) feeds it the pictures of a film.
//
// Each analysed picture is reduced to a grid of cell means (a box blur and a
// downscale in one step), which averages sensor noise away. A cell is
// compared with the same cell a short window earlier, after removing what
// the whole picture did meanwhile: a gain and an offset fitted over every
// cell, with outliers left out, so that lights going on or off, or the
// camera's exposure moving, is not motion. A cell of the rectangle has
// moved when its residual stands well above the picture's own noise (a
// robust spread of all residuals); the picture has motion when enough cells
// of the rectangle moved. Moving pictures close in time make one moment.
#pragma once

#include <cstdint>
#include <vector>

// One moment of motion, in film seconds. Also the type of the marks other
// views draw for the hits of a search.
struct MomentMouvement {
    double debutS = 0;
    double finS = 0;
};

// A rectangle in picture pixels.
struct RectangleMouvement {
    int x = 0, y = 0, largeur = 0, hauteur = 0;
};

// Sensitivity, from 1 (only large, clear changes) to 10 (small changes
// stand out). The default ignores sensor noise and compression flicker.
constexpr int SensibiliteMin = 1;
constexpr int SensibiliteMax = 10;
constexpr int SensibiliteDefaut = 5;

// Comparison window: a picture is compared with the one analysed this long
// before it. Long enough for a slow walker to move a cell, short enough
// that a moment ends soon after the motion does.
constexpr double FenetreComparaisonS = 0.4;
// Pictures are analysed at most this often (film time); a moment shorter
// than this is of no use to the viewer anyway.
constexpr double PasAnalyseS = 0.2;
// Moments closer than this are one.
constexpr double EcartMinimalS = 2.0;

// Thresholds derived from the sensitivity.
struct SeuilsMouvement {
    double facteurBruit = 0;  // residual / noise spread above which a cell moved
    double residuMin = 0;     // luma levels: floor of the per-cell threshold
    double partMin = 0;       // share of the rectangle's cells that must move
};
SeuilsMouvement SeuilsPourSensibilite(int sensibilite);

// The grid of one picture: mean luma of square cells of `cote` pixels.
struct GrilleLuma {
    int colonnes = 0, lignes = 0, cote = 0;
    std::vector<float> moyennes;  // lignes x colonnes
};

// Side of the cells for a picture `largeur` pixels wide: about 80 cells
// across, never under 4 pixels.
int CoteCellule(int largeur);

// Means of the cells of side `cote` of a luma plane (rows of `pas` bytes);
// a part-cell at the right or bottom edge is dropped.
void ReduireLuma(const uint8_t* luma, int largeur, int hauteur, int pas, int cote, GrilleLuma& g);

// Outcome of comparing two grids.
struct ComparaisonGrilles {
    double gain = 1, decalage = 0;  // global change: cur ~ gain x ref + decalage
    double bruit = 0;               // robust spread of the residuals, luma levels
    int cellulesRectangle = 0;      // cells of the rectangle
    int cellulesMobiles = 0;        // of which moved
    bool mouvement = false;
};

// Compares `cur` with `ref` (same geometry) over the cells whose centre lies
// in `rect` (grid coordinates in picture pixels scaled by `echelle`, the
// ratio of the analysed plane to the picture; at least the cell under the
// rectangle's centre). A cell counts as moved when it and one of its four
// neighbours stand out. `bruitPlancher`: the noise spread is taken as at
// least this (the spread seen on recent pictures).
ComparaisonGrilles ComparerGrilles(const GrilleLuma& ref, const GrilleLuma& cur, const RectangleMouvement& rect,
                                   double echelle, const SeuilsMouvement& s, double bruitPlancher = 0);

// Moments from the motion flag of analysed pictures, in time order: a
// moment runs from its first moving picture to its last one, less the
// comparison window (by then the motion had stopped); moments closer than
// `ecartMinimal` are merged; a lone moving picture is dropped (a damaged
// picture, a one-off flash).
class AccumulateurMoments
{
public:
    explicit AccumulateurMoments(double fenetre = FenetreComparaisonS, double ecartMinimal = EcartMinimalS)
        : fenetre_(fenetre), ecart_(ecartMinimal) {}
    void Ajouter(double t, bool mouvement);
    // True when a moving picture at `t` would open a new moment.
    bool Ouvrirait(double t) const { return !enCours_ || t - dernier_ > ecart_; }
    // Closes the moment under way; the list is then complete.
    void Terminer();
    const std::vector<MomentMouvement>& Moments() const { return moments_; }

private:
    void Clore();
    double fenetre_, ecart_;
    bool enCours_ = false;
    double premier_ = 0, dernier_ = 0;
    int nbMobiles_ = 0;
    std::vector<MomentMouvement> moments_;
};

// A small grey picture of the whole scene: what a moment looks like.
struct VignetteMouvement {
    double t = 0;  // film time of the picture
    int largeur = 0, hauteur = 0;
    std::vector<uint8_t> gris;  // largeur x hauteur, rows packed
};
constexpr int LargeurVignette = 160;

// The picture reduced to LargeurVignette pixels across (never enlarged),
// its height in proportion, by taking the nearest pixel.
void ReduireVignette(const uint8_t* luma, int largeur, int hauteur, int pas, VignetteMouvement& v);

// The detector over a film's pictures, one call per decoded picture in
// order. It analyses a picture every PasAnalyseS at most, against the one
// analysed FenetreComparaisonS before; a change of picture size starts
// afresh.
class DetecteurMouvement
{
public:
    // `rect` in picture pixels; `sensibilite` within [SensibiliteMin,
    // SensibiliteMax] (clamped).
    DetecteurMouvement(const RectangleMouvement& rect, int sensibilite);

    // True when a picture at film time `t` would be analysed: the decoder
    // may skip converting the others.
    bool AAnalyser(double t) const;
    // A picture at film time `t`: its luma plane (`largeur` x `hauteur`,
    // rows of `pas` bytes) of a picture of `largeurImage` pixels wide (the
    // plane may be decoded at a reduced scale).
    void Ajouter(double t, const uint8_t* luma, int largeur, int hauteur, int pas, int largeurImage);
    // End of the film: the moments found.
    std::vector<MomentMouvement> Terminer();
    // After Terminer: one thumbnail per moment, of the picture opening it
    // (its t is the moment's start).
    const std::vector<VignetteMouvement>& Vignettes() const { return vignettes_; }

    // Outcome of the latest analysed picture (tests, tuning).
    const ComparaisonGrilles& Derniere() const { return derniere_; }
    int NbAnalysees() const { return nbAnalysees_; }

private:
    struct Analyse {
        double t;
        GrilleLuma grille;
    };
    RectangleMouvement rect_;
    SeuilsMouvement seuils_;
    std::vector<Analyse> anneau_;  // analysed pictures within the window, oldest first
    double prochaine_ = -1e300;
    int largeurPlan_ = 0, hauteurPlan_ = 0;
    int nbAnalysees_ = 0;
    double bruitRecent_ = 0;
    ComparaisonGrilles derniere_;
    AccumulateurMoments moments_;
    std::vector<VignetteMouvement> vignettes_;
};
