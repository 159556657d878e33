#include "ui/mosaique_calcul.h"

#include "engine/horloge_calcul.h"

#include <algorithm>

const char* const TexteTropDeFilms = "Quatre films au plus : seuls les quatre premiers sont ouverts";

namespace {

bool ExtensionFilm(const std::string& chemin)
{
    if (chemin.size() < 5)
        return false;
    const std::string fin = chemin.substr(chemin.size() - 4);
    return fin == ".mjp" || fin == ".mp4" || fin == ".264";
}

} // namespace

ChoixFilms ChoisirFilms(const std::vector<std::string>& chemins)
{
    ChoixFilms c;
    const size_t n = std::min(chemins.size(), size_t(NbFilmsMosaiqueMax));
    c.films.assign(chemins.begin(), chemins.begin() + static_cast<std::ptrdiff_t>(n));
    c.coupe = chemins.size() > n;
    return c;
}

std::vector<std::string> FilmsDeLaLigne(const std::vector<std::string>& arguments,
                                        const std::function<bool(const std::string&)>& fichierExiste)
{
    if (arguments.empty())
        return {};
    std::string joint;
    for (const std::string& a : arguments)
        joint += (joint.empty() ? "" : " ") + a;
    if (ExtensionFilm(joint) && fichierExiste(joint))
        return {joint};
    if (arguments.size() < 2)
        return {};
    for (const std::string& a : arguments)
        if (!ExtensionFilm(a))
            return {};
    return arguments;
}

std::vector<Boite> CellulesMosaique(int n, int largeur, int hauteur)
{
    largeur = std::max(0, largeur);
    hauteur = std::max(0, hauteur);
    if (n == 1)
        return {Boite{0, 0, largeur, hauteur}};
    const int demiL = largeur / 2;
    if (n == 2)
        return {Boite{0, 0, demiL, hauteur}, Boite{demiL, 0, largeur - demiL, hauteur}};
    if (n != 3 && n != 4)
        return {};
    const int demiH = hauteur / 2;
    std::vector<Boite> cellules;
    for (int i = 0; i < n; ++i) {
        const int colonne = i % 2, rangee = i / 2;
        cellules.push_back(Boite{colonne * demiL, rangee * demiH, colonne ? largeur - demiL : demiL,
                                 rangee ? hauteur - demiH : demiH});
    }
    return cellules;
}

Boite ImageAjustee(int largeurImage, int hauteurImage, const Boite& cellule)
{
    if (largeurImage <= 0 || hauteurImage <= 0)
        return cellule;
    // The narrower of the two ratios decides; integer arithmetic, truncated.
    int l = cellule.largeur;
    int h = static_cast<int>(int64_t(l) * hauteurImage / largeurImage);
    if (h > cellule.hauteur) {
        h = cellule.hauteur;
        l = static_cast<int>(int64_t(h) * largeurImage / hauteurImage);
    }
    return Boite{cellule.gauche + (cellule.largeur - l) / 2, cellule.haut + (cellule.hauteur - h) / 2, l, h};
}

Boite ImageTailleReelle(int largeurImage, int hauteurImage, const Boite& cellule)
{
    if (largeurImage <= 0 || hauteurImage <= 0)
        return cellule;
    // The single film's size; its place in the panel is not this one's.
    const Boite b = BoiteTailleReelle(RapportAffichage(largeurImage, hauteurImage), largeurImage, hauteurImage,
                                      cellule.largeur, cellule.hauteur);
    return Boite{cellule.gauche + (cellule.largeur - b.largeur) / 2, cellule.haut + (cellule.hauteur - b.hauteur) / 2,
                 b.largeur, b.hauteur};
}

int CelluleSousPoint(const std::vector<Boite>& cellules, int x, int y)
{
    for (size_t i = 0; i < cellules.size(); ++i) {
        const Boite& c = cellules[i];
        if (x >= c.gauche && x < c.gauche + c.largeur && y >= c.haut && y < c.haut + c.hauteur)
            return static_cast<int>(i);
    }
    return -1;
}
