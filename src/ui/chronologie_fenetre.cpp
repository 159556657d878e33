#include "ui/chronologie_fenetre.h"

#include "core/etat.h"
#include "ui/apercu.h"
#include "ui/chronologie.h"
#include "ui/lecteurzr7_principale.h"
#include "ui/position_calcul.h"

void InstallerChronologie(TLecteurZR7_Principale* f)
{
    // The slider is enabled exactly while a film is loaded.
    auto film = [f] { return f->CurseurMinutes1->isEnabled() ? std::string(CheminFilm) : std::string(); };

    LienApercu apercu;
    apercu.cheminFilm = film;
    apercu.motDePasse = [] { return std::string(MotDePasseFilm); };
    // The read-out's own text for that position: the date-time with
    // dates, else the time from the start.
    apercu.texteSeconde = [f](int s) {
        const int maximum = f->CurseurMinutes1->maximum();
        if (FlagDatesFilm)
            return QString::fromStdString(
                FormaterDateHeure(DateDeLaPosition(DateDebutFilm, DateFinFilm, s, maximum)));
        const DecoupageTemps t = DecouperTemps(s);
        return QString::asprintf("%02d:%02d:%02d", int(t.heures), int(t.minutes), int(t.secondes));
    };
    f->ApercuFenetre = new Apercu(f, f->CurseurMinutes1, apercu);

    LienChronologie lien;
    lien.cheminFilm = film;
    lien.secondeFilm = [f] { return double(f->CurseurMinutes1->value()); };
    lien.ouvrirA = [f](const std::string& chemin, int seconde) { f->OuvrirFilmA(chemin, seconde); };
    lien.disposer = [f] { f->LayoutPicture(); };
    f->ChronologieFenetre = new Chronologie(f, lien);
    f->ChronologieFenetre->FixerApercu(f->ApercuFenetre);
    f->ChronologieFenetre->hide();
}
