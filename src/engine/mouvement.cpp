#include "engine/mouvement.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

// Cells across a picture: fine enough for a person far off to cover a few
// cells, coarse enough that a cell's mean carries little noise.
constexpr int CellulesEnLargeur = 80;
constexpr int CoteCelluleMin = 4;

// Gain of the global change: lights can double or halve the scene, more is
// a fault of the fit (a nearly uniform scene).
constexpr double GainMin = 0.25, GainMax = 4.0;
// Residuals beyond this many spreads are left out of the second fit.
constexpr double ExclusionFit = 3.0;
// Floor of that exclusion, luma levels (a clean synthetic scene has no spread).
constexpr double ExclusionFitMin = 2.0;
// Median of absolute residuals to standard deviation, for Gaussian noise.
constexpr double MadVersEcartType = 1.4826;
// Luma range: a predicted value beyond it is clipped like the camera's.
constexpr double LumaMax = 255.0;
// Share of the recent noise spread kept at each analysed picture: about
// 20 analyses (4 s, two groups of pictures of the recorders) to fade.
constexpr double OubliBruit = 0.9;

struct Ajustement {
    double gain = 1, decalage = 0;
};

// Least-squares fit cur = gain x ref + decalage over the cells `garder`
// accepts (all of them when garder is empty).
Ajustement Ajuster(const std::vector<float>& ref, const std::vector<float>& cur, const std::vector<char>& garder)
{
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        if (!garder.empty() && !garder[i])
            continue;
        const double x = ref[i], y = cur[i];
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    Ajustement a;
    if (n < 1)
        return a;
    const double mx = sx / n, my = sy / n;
    const double vx = sxx / n - mx * mx;
    const double cxy = sxy / n - mx * my;
    // A nearly uniform scene tells nothing about a gain: offset only.
    if (vx > 4.0)
        a.gain = std::clamp(cxy / vx, GainMin, GainMax);
    a.decalage = my - a.gain * mx;
    return a;
}

double Prediction(const Ajustement& a, float ref)
{
    return std::clamp(a.gain * ref + a.decalage, 0.0, LumaMax);
}

double Quantile(std::vector<double>& v, double q)
{
    if (v.empty())
        return 0;
    const size_t m = std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(m), v.end());
    return v[m];
}

} // namespace

SeuilsMouvement SeuilsPourSensibilite(int sensibilite)
{
    const int s = std::clamp(sensibilite, SensibiliteMin, SensibiliteMax);
    const double reserve = SensibiliteMax - s;  // 0 (most sensitive) to 9
    SeuilsMouvement r;
    // Default (5): a cell must move by 5.5 noise spreads and 5 luma levels,
    // over 1.2 % of the rectangle.
    r.facteurBruit = 3.0 + 0.5 * reserve;
    r.residuMin = 2.0 + 0.6 * reserve;
    r.partMin = 0.002 * (reserve + 1);
    return r;
}

int CoteCellule(int largeur)
{
    return std::max(CoteCelluleMin, largeur / CellulesEnLargeur);
}

void ReduireLuma(const uint8_t* luma, int largeur, int hauteur, int pas, int cote, GrilleLuma& g)
{
    g.cote = cote;
    g.colonnes = cote > 0 ? largeur / cote : 0;
    g.lignes = cote > 0 ? hauteur / cote : 0;
    g.moyennes.assign(static_cast<size_t>(g.colonnes) * static_cast<size_t>(g.lignes), 0.f);
    if (g.moyennes.empty())
        return;
    std::vector<uint32_t> sommes(static_cast<size_t>(g.colonnes));
    const float inverse = 1.0f / static_cast<float>(cote * cote);
    for (int l = 0; l < g.lignes; ++l) {
        std::fill(sommes.begin(), sommes.end(), 0u);
        for (int y = l * cote; y < (l + 1) * cote; ++y) {
            const uint8_t* p = luma + static_cast<std::ptrdiff_t>(y) * pas;
            for (int c = 0; c < g.colonnes; ++c) {
                uint32_t s = 0;
                const uint8_t* q = p + c * cote;
                for (int k = 0; k < cote; ++k)
                    s += q[k];
                sommes[static_cast<size_t>(c)] += s;
            }
        }
        float* m = &g.moyennes[static_cast<size_t>(l) * static_cast<size_t>(g.colonnes)];
        for (int c = 0; c < g.colonnes; ++c)
            m[c] = static_cast<float>(sommes[static_cast<size_t>(c)]) * inverse;
    }
}

ComparaisonGrilles ComparerGrilles(const GrilleLuma& ref, const GrilleLuma& cur, const RectangleMouvement& rect,
                                   double echelle, const SeuilsMouvement& s, double bruitPlancher)
{
    ComparaisonGrilles r;
    if (ref.colonnes != cur.colonnes || ref.lignes != cur.lignes || ref.cote != cur.cote || cur.moyennes.empty())
        return r;
    const size_t n = cur.moyennes.size();

    // The global change: a first fit over every cell, a second one without
    // the cells far from the first (moving things, wherever they are).
    Ajustement a = Ajuster(ref.moyennes, cur.moyennes, {});
    std::vector<double> ecarts(n);
    for (size_t i = 0; i < n; ++i)
        ecarts[i] = std::fabs(cur.moyennes[i] - Prediction(a, ref.moyennes[i]));
    std::vector<double> tri = ecarts;
    const double bruit1 = MadVersEcartType * Quantile(tri, 0.5);
    const double limite = std::max(ExclusionFit * bruit1, ExclusionFitMin);
    std::vector<char> garder(n);
    size_t gardees = 0;
    for (size_t i = 0; i < n; ++i) {
        garder[i] = ecarts[i] <= limite;
        gardees += garder[i] ? 1 : 0;
    }
    if (gardees * 2 >= n)
        a = Ajuster(ref.moyennes, cur.moyennes, garder);
    // Residuals smoothed over each cell's neighbours (weights 1 2 1 across
    // and down): the flicker of re-coded blocks, of random sign from cell
    // to cell, shrinks by almost three, a moving thing keeps its residual.
    const int C = cur.colonnes, L = cur.lignes;
    std::vector<double> signes(n);
    for (size_t i = 0; i < n; ++i)
        signes[i] = cur.moyennes[i] - Prediction(a, ref.moyennes[i]);
    for (int lig = 0; lig < L; ++lig)
        for (int col = 0; col < C; ++col) {
            double somme = 0, poids = 0;
            for (int dl = -1; dl <= 1; ++dl)
                for (int dc = -1; dc <= 1; ++dc) {
                    const int l = lig + dl, k = col + dc;
                    if (l < 0 || l >= L || k < 0 || k >= C)
                        continue;
                    const double w = (dl == 0 ? 2 : 1) * (dc == 0 ? 2 : 1);
                    somme += w * signes[static_cast<size_t>(l * C + k)];
                    poids += w;
                }
            ecarts[static_cast<size_t>(lig * C + col)] = std::fabs(somme / poids);
        }
    tri = ecarts;
    r.gain = a.gain;
    r.decalage = a.decalage;
    r.bruit = MadVersEcartType * Quantile(tri, 0.5);
    const double seuil = std::max(s.residuMin, s.facteurBruit * std::max(r.bruit, bruitPlancher));

    // A cell moved when it stands out and so does one of its four
    // neighbours: noise leaves lone cells, a moving thing covers several.
    std::vector<char> haut(n);
    for (size_t i = 0; i < n; ++i)
        haut[i] = ecarts[i] > seuil;
    auto mobile = [&](int col, int lig) {
        const size_t i = static_cast<size_t>(lig) * static_cast<size_t>(C) + static_cast<size_t>(col);
        if (!haut[i])
            return false;
        return (col > 0 && haut[i - 1]) || (col + 1 < C && haut[i + 1]) ||
               (lig > 0 && haut[i - static_cast<size_t>(C)]) || (lig + 1 < L && haut[i + static_cast<size_t>(C)]);
    };

    // The rectangle's cells: those whose centre lies inside it.
    const double x0 = rect.x * echelle, y0 = rect.y * echelle;
    const double x1 = (rect.x + rect.largeur) * echelle, y1 = (rect.y + rect.hauteur) * echelle;
    const double c = cur.cote;
    auto compter = [&](int col, int lig) {
        ++r.cellulesRectangle;
        if (mobile(col, lig))
            ++r.cellulesMobiles;
    };
    for (int lig = 0; lig < L; ++lig) {
        const double cy = (lig + 0.5) * c;
        if (cy < y0 || cy >= y1)
            continue;
        for (int col = 0; col < C; ++col) {
            const double cx = (col + 0.5) * c;
            if (cx >= x0 && cx < x1)
                compter(col, lig);
        }
    }
    if (r.cellulesRectangle == 0) {
        // A rectangle smaller than a cell: the cell under its centre.
        const int col = std::clamp(static_cast<int>((x0 + x1) / 2 / c), 0, C - 1);
        const int lig = std::clamp(static_cast<int>((y0 + y1) / 2 / c), 0, L - 1);
        compter(col, lig);
    }
    const int necessaires = std::max(1, static_cast<int>(std::ceil(s.partMin * r.cellulesRectangle)));
    r.mouvement = r.cellulesMobiles >= necessaires;
    return r;
}

void AccumulateurMoments::Ajouter(double t, bool mouvement)
{
    if (enCours_ && t - dernier_ > ecart_)
        Clore();
    if (!mouvement)
        return;
    if (!enCours_) {
        enCours_ = true;
        premier_ = t;
        nbMobiles_ = 0;
    }
    dernier_ = t;
    ++nbMobiles_;
}

void AccumulateurMoments::Clore()
{
    if (enCours_ && nbMobiles_ >= 2)
        moments_.push_back({premier_, std::max(premier_, dernier_ - fenetre_)});
    enCours_ = false;
    nbMobiles_ = 0;
}

void AccumulateurMoments::Terminer()
{
    Clore();
}

DetecteurMouvement::DetecteurMouvement(const RectangleMouvement& rect, int sensibilite)
    : rect_(rect), seuils_(SeuilsPourSensibilite(sensibilite))
{
}

bool DetecteurMouvement::AAnalyser(double t) const
{
    return t >= prochaine_;
}

void DetecteurMouvement::Ajouter(double t, const uint8_t* luma, int largeur, int hauteur, int pas, int largeurImage)
{
    if (!AAnalyser(t) || luma == nullptr || largeur <= 0 || hauteur <= 0 || largeurImage <= 0)
        return;
    // A millisecond of slack: picture times are rounded.
    prochaine_ = t + PasAnalyseS - 1e-3;
    if (largeur != largeurPlan_ || hauteur != hauteurPlan_) {
        anneau_.clear();
        bruitRecent_ = 0;
        largeurPlan_ = largeur;
        hauteurPlan_ = hauteur;
    }
    Analyse a;
    a.t = t;
    ReduireLuma(luma, largeur, hauteur, pas, CoteCellule(largeur), a.grille);
    ++nbAnalysees_;
    // The reference: the latest picture at least the window before this one.
    int ref = -1;
    for (int i = static_cast<int>(anneau_.size()) - 1; i >= 0; --i) {
        if (anneau_[static_cast<size_t>(i)].t <= t - FenetreComparaisonS + 1e-3) {
            ref = i;
            break;
        }
    }
    if (ref >= 0) {
        derniere_ = ComparerGrilles(anneau_[static_cast<size_t>(ref)].grille, a.grille, rect_,
                                    static_cast<double>(largeur) / largeurImage, seuils_, bruitRecent_);
        // The spread of the last few seconds: coded pictures grow smoother
        // after each key picture, then the next one brings the noise back.
        bruitRecent_ = std::max(derniere_.bruit, bruitRecent_ * OubliBruit);
        if (derniere_.mouvement && moments_.Ouvrirait(t)) {
            vignettes_.emplace_back();
            ReduireVignette(luma, largeur, hauteur, pas, vignettes_.back());
            vignettes_.back().t = t;
        }
        moments_.Ajouter(t, derniere_.mouvement);
        // Older pictures can no longer be a reference.
        anneau_.erase(anneau_.begin(), anneau_.begin() + ref);
    } else {
        derniere_ = ComparaisonGrilles();
    }
    anneau_.push_back(std::move(a));
}

std::vector<MomentMouvement> DetecteurMouvement::Terminer()
{
    moments_.Terminer();
    // Thumbnails of lone flashes opened no moment.
    const auto& m = moments_.Moments();
    std::vector<VignetteMouvement> gardees;
    size_t i = 0;
    for (VignetteMouvement& v : vignettes_) {
        while (i < m.size() && m[i].debutS < v.t)
            ++i;
        if (i < m.size() && m[i].debutS == v.t)
            gardees.push_back(std::move(v));
    }
    vignettes_ = std::move(gardees);
    return m;
}

void ReduireVignette(const uint8_t* luma, int largeur, int hauteur, int pas, VignetteMouvement& v)
{
    v.largeur = std::min(largeur, LargeurVignette);
    v.hauteur = largeur > 0 ? std::max(1, hauteur * v.largeur / largeur) : 0;
    v.gris.resize(static_cast<size_t>(v.largeur) * static_cast<size_t>(v.hauteur));
    for (int y = 0; y < v.hauteur; ++y) {
        const uint8_t* ligne = luma + static_cast<std::ptrdiff_t>(y * hauteur / v.hauteur) * pas;
        for (int x = 0; x < v.largeur; ++x)
            v.gris[static_cast<size_t>(y * v.largeur + x)] = ligne[x * largeur / v.largeur];
    }
}
