#include "engine/motdepasse.h"
#include "engine/fichierfilm.h"

#include "commun/fichiers_essai.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A record built by hand from plain field bytes (each exactly its width),
// independently of EcrireFichierMotDePasse.
Octets Fiche(const Octets& motPlain, const Octets& nomPlain)
{
    Octets fiche(TailleFichierMotDePasse, 0xEE);  // unused bytes: anything
    for (int i = 0; i < LargeurChampMotDePasse; ++i)
        fiche[PositionChampMotDePasse + i] = static_cast<unsigned char>(motPlain[i] + CleMotDePasse[i]);
    for (int i = 0; i < LargeurChampNomFilm; ++i)
        fiche[PositionChampNomFilm + i] = static_cast<unsigned char>(nomPlain[i] + CleNomFilm[i]);
    return fiche;
}

// Plain field of `largeur` bytes holding `texte`, zero-padded.
Octets Champ(const std::string& texte, int largeur)
{
    Octets champ(largeur, 0);
    std::copy(texte.begin(), texte.end(), champ.begin());
    return champ;
}

}  // namespace

// --- Scrambling ----------------------------------------------------------

TEST(Desembrouiller, SubtractsSeventeenModulo256)
{
    Octets o = {0, 16, 17, 18, 255};
    Desembrouiller(o.data(), static_cast<int>(o.size()));
    EXPECT_EQ(o, (Octets{239, 255, 0, 1, 238}));
}

TEST(Desembrouiller, NothingForNoBytes)
{
    Octets o = {1, 2, 3};
    Desembrouiller(o.data(), 0);
    Desembrouiller(o.data(), -5);
    Embrouiller(o.data(), 0);
    Embrouiller(o.data(), -1);
    EXPECT_EQ(o, (Octets{1, 2, 3}));
    Desembrouiller(nullptr, 10);
    Embrouiller(nullptr, 10);
}

TEST(Embrouiller, IsTheInverseForEveryByte)
{
    Octets o(256);
    for (int i = 0; i < 256; ++i)
        o[i] = static_cast<unsigned char>(i);
    const Octets clair = o;
    Embrouiller(o.data(), 256);
    EXPECT_EQ(o[0], 17);
    EXPECT_EQ(o[239], 0);
    Desembrouiller(o.data(), 256);
    EXPECT_EQ(o, clair);
}

// --- Film name -----------------------------------------------------------

TEST(NomFilmPourComparaison, BackslashThenNameWithoutExtension)
{
    struct Cas {
        const char* chemin;
        const char* attendu;
    } cas[] = {
        {"/films/cam1.mjp", "\\cam1"},
        {"C:\\Films\\cam1.mjp", "\\cam1"},
        {"C:\\Films/jour\\cam2.264", "\\cam2"},
        {"/films\\x/cam3.mp4", "\\cam3"},
        {"/films/cam1.2024.mjp", "\\cam1.2024"},
        {"/dossier.x/film", "\\film"},
        {"cam1.mjp", "\\cam1"},
        {"/films/", "\\"},
        {"", "\\"},
    };
    for (const Cas& c : cas)
        EXPECT_EQ(NomFilmPourComparaison(c.chemin), c.attendu) << c.chemin;
}

TEST(NomFilmPourComparaison, AtMostOneHundredCharacters)
{
    const std::string nom = NomFilmPourComparaison("/films/" + std::string(200, 'a') + ".mjp");
    EXPECT_EQ(nom, "\\" + std::string(99, 'a'));
}

// --- Checking a password -------------------------------------------------

TEST(VerifierMotDePasse, NoRecordMeansNotProtected)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EXPECT_EQ(VerifierMotDePasse((d / "cam1.mjp").c_str(), "secret"), 0);
    EXPECT_EQ(VerifierMotDePasse((d / "cam1.mjp").c_str(), ""), 0);
}

TEST(VerifierMotDePasse, RoundTripWithTheRecordWriter)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const std::string film = d / "cam1.mjp";
    ASSERT_EQ(EcrireFichierMotDePasse(film, "secret"), 0);

    EXPECT_EQ(VerifierMotDePasse(film.c_str(), "secret"), 1);
    EXPECT_EQ(VerifierMotDePasse(film.c_str(), "Secret"), -1);
    EXPECT_EQ(VerifierMotDePasse(film.c_str(), "secre"), -1);
    EXPECT_EQ(VerifierMotDePasse(film.c_str(), "secret1"), -1);
    EXPECT_EQ(VerifierMotDePasse(film.c_str(), ""), -1);
    EXPECT_EQ(VerifierMotDePasse(film.c_str(), nullptr), -1);
}

TEST(VerifierMotDePasse, RecordAsTheRecordersWriteIt)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EcrireOctets(d / "cam1.mdp", Fiche(Champ("zr7", 20), Champ("\\cam1", 30)));
    EXPECT_EQ(VerifierMotDePasse((d / "cam1.mjp").c_str(), "zr7"), 1);
    EXPECT_EQ(VerifierMotDePasse((d / "cam1.264").c_str(), "zr7"), 1);

    // A name stored without its backslash does not match.
    EcrireOctets(d / "cam2.mdp", Fiche(Champ("zr7", 20), Champ("cam2", 30)));
    EXPECT_EQ(VerifierMotDePasse((d / "cam2.mjp").c_str(), "zr7"), -1);
}

TEST(VerifierMotDePasse, RecordLayoutOfTheWriter)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    ASSERT_EQ(EcrireFichierMotDePasse(d / "cam1.mjp", "abc"), 0);
    const Octets fiche = LireOctets(d / "cam1.mdp");
    ASSERT_EQ(fiche.size(), size_t(TailleFichierMotDePasse));
    for (int i = 0; i < PositionChampMotDePasse; ++i)
        EXPECT_EQ(fiche[i], 0) << i;
    for (int i = PositionChampMotDePasse + LargeurChampMotDePasse; i < PositionChampNomFilm; ++i)
        EXPECT_EQ(fiche[i], 0) << i;
    for (int i = 0; i < LargeurChampMotDePasse; ++i)
        EXPECT_EQ(static_cast<unsigned char>(fiche[PositionChampMotDePasse + i] - CleMotDePasse[i]),
                  Champ("abc", 20)[i]) << i;
    for (int i = 0; i < LargeurChampNomFilm; ++i)
        EXPECT_EQ(static_cast<unsigned char>(fiche[PositionChampNomFilm + i] - CleNomFilm[i]),
                  Champ("\\cam1", 30)[i]) << i;
}

TEST(VerifierMotDePasse, CopyUnderAnotherNameIsRefused)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EcrireOctets(d / "cam1.mjp", Octets(100, 0x42));
    ASSERT_EQ(EcrireFichierMotDePasse(d / "cam1.mjp", "secret"), 0);
    fs::copy_file(d / "cam1.mjp", d / "cam7.mjp");
    fs::copy_file(d / "cam1.mdp", d / "cam7.mdp");

    EXPECT_EQ(VerifierMotDePasse((d / "cam7.mjp").c_str(), "secret"), -1);
    EXPECT_EQ(VerifierMotDePasse((d / "cam1.mjp").c_str(), "secret"), 1);
}

TEST(VerifierMotDePasse, RecordOfSeventyNineBytesIsRefused)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    ASSERT_EQ(EcrireFichierMotDePasse(d / "cam1.mjp", "secret"), 0);
    Octets fiche = LireOctets(d / "cam1.mdp");
    fiche.resize(79);
    EcrireOctets(d / "cam1.mdp", fiche);
    EXPECT_EQ(VerifierMotDePasse((d / "cam1.mjp").c_str(), "secret"), -1);

    EcrireOctets(d / "cam1.mdp", {});
    EXPECT_EQ(VerifierMotDePasse((d / "cam1.mjp").c_str(), "secret"), -1);
}

TEST(VerifierMotDePasse, OnlyTheFirstEightyBytesCount)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    Octets fiche = Fiche(Champ("secret", 20), Champ("\\cam1", 30));
    fiche.resize(200, 0x77);
    EcrireOctets(d / "cam1.mdp", fiche);
    EXPECT_EQ(VerifierMotDePasse((d / "cam1.mjp").c_str(), "secret"), 1);
}

TEST(VerifierMotDePasse, BadPathsAreRefused)
{
    EXPECT_EQ(VerifierMotDePasse(nullptr, "secret"), -1);
    EXPECT_EQ(VerifierMotDePasse("", "secret"), -1);
    EXPECT_EQ(VerifierMotDePasse("a.b", "secret"), -1);
    EXPECT_EQ(VerifierMotDePasse(nullptr, nullptr), -1);
}

TEST(VerifierMotDePasse, EmptyPasswordOnlyForAnEmptyPlainField)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const std::string libre = d / "libre.mjp";
    ASSERT_EQ(EcrireFichierMotDePasse(libre, ""), 0);
    EXPECT_EQ(VerifierMotDePasse(libre.c_str(), ""), 1);
    EXPECT_EQ(VerifierMotDePasse(libre.c_str(), nullptr), 1);
    EXPECT_EQ(VerifierMotDePasse(libre.c_str(), "x"), -1);

    // Bytes after a leading zero are not part of the text.
    Octets champ = Champ("", 20);
    champ[1] = 'q';
    EcrireOctets(d / "zero.mdp", Fiche(champ, Champ("\\zero", 30)));
    EXPECT_EQ(VerifierMotDePasse((d / "zero.mjp").c_str(), ""), 1);
    EXPECT_EQ(VerifierMotDePasse((d / "zero.mjp").c_str(), "q"), -1);

    const std::string garde = d / "garde.mjp";
    ASSERT_EQ(EcrireFichierMotDePasse(garde, "abc"), 0);
    EXPECT_EQ(VerifierMotDePasse(garde.c_str(), ""), -1);
}

TEST(VerifierMotDePasse, FullWidthFieldsAreComparedOverTheirWidthOnly)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const std::string mot(20, 'A');
    const std::string radical(29, 'n');  // with the backslash: 30 characters
    EcrireOctets(d / (radical + ".mdp"), Fiche(Champ(mot, 20), Champ("\\" + radical, 30)));
    const std::string film = d / (radical + ".mjp");

    EXPECT_EQ(VerifierMotDePasse(film.c_str(), mot.c_str()), 1);
    EXPECT_EQ(VerifierMotDePasse(film.c_str(), (mot + "A").c_str()), -1);
    EXPECT_EQ(VerifierMotDePasse(film.c_str(), std::string(19, 'A').c_str()), -1);

    // A longer film name whose first 30 characters fill the field.
    const std::string plusLong = radical + "n";
    EcrireOctets(d / (plusLong + ".mdp"), Fiche(Champ(mot, 20), Champ("\\" + radical, 30)));
    EXPECT_EQ(VerifierMotDePasse((d / (plusLong + ".mjp")).c_str(), mot.c_str()), -1);
}

// Texts that fill their field are written at full width and still match;
// one character more is refused by the writer, which then writes nothing.
TEST(EcrireFichierMotDePasse, FullWidthRoundTripAndLongerRefused)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    for (int longueurNom : {28, 29, 30}) {
        const std::string film = d / (std::string(longueurNom, 'n') + ".mjp");
        const int r = EcrireFichierMotDePasse(film, "pw");
        if (longueurNom + 1 <= LargeurChampNomFilm) {
            ASSERT_EQ(r, 0) << longueurNom;
            EXPECT_EQ(VerifierMotDePasse(film.c_str(), "pw"), 1) << longueurNom;
            EXPECT_EQ(VerifierMotDePasse(film.c_str(), "pX"), -1) << longueurNom;
        } else {
            EXPECT_EQ(r, -1) << longueurNom;
            EXPECT_FALSE(std::filesystem::exists(NomCompagnon(film, "mdp"))) << longueurNom;
        }
    }
    const std::string film = d / "cam1.mjp";
    for (int longueurMot : {19, 20, 21}) {
        std::filesystem::remove(NomCompagnon(film, "mdp"));
        const std::string mot(longueurMot, 'm');
        const int r = EcrireFichierMotDePasse(film, mot);
        if (longueurMot <= LargeurChampMotDePasse) {
            ASSERT_EQ(r, 0) << longueurMot;
            EXPECT_EQ(VerifierMotDePasse(film.c_str(), mot.c_str()), 1) << longueurMot;
            EXPECT_EQ(VerifierMotDePasse(film.c_str(), mot.substr(1).c_str()), -1) << longueurMot;
            EXPECT_EQ(VerifierMotDePasse(film.c_str(), (mot + "m").c_str()), -1) << longueurMot;
        } else {
            EXPECT_EQ(r, -1) << longueurMot;
            EXPECT_FALSE(std::filesystem::exists(NomCompagnon(film, "mdp"))) << longueurMot;
        }
    }
    // The full-width password is stored without a zero byte.
    ASSERT_EQ(EcrireFichierMotDePasse(film, std::string(20, 'm')), 0);
    const Octets fiche = LireOctets(d / "cam1.mdp");
    ASSERT_EQ(fiche.size(), 80u);
    EXPECT_EQ(static_cast<unsigned char>(fiche[13 + 19] - CleMotDePasse[19]), 'm');
}

// A path longer than a film path is never cut into another record's name.
TEST(VerifierMotDePasse, PathsLongerThanAFilmPathAreRefused)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const std::string dossier = DossierDeLongueur(d.Chemin(), 296);
    ASSERT_FALSE(dossier.empty());
    const std::string film = dossier + "c.mjp";  // 301 bytes
    ASSERT_EQ(film.size(), 301u);
    EXPECT_EQ(EcrireFichierMotDePasse(film, "pw"), -1);
    // A record that would match under the name the cut path gives
    // (".../c.mj" -> ".../cmdp", name "\c") is not taken.
    EcrireOctets(film.substr(0, 297) + "mdp", Fiche(Champ("pw", 20), Champ("\\c", 30)));
    EXPECT_EQ(VerifierMotDePasse(film.substr(0, 300).c_str(), "pw"), 1);
    EXPECT_EQ(VerifierMotDePasse(film.c_str(), "pw"), -1);

    // At 300 bytes exactly the record beside the film is found.
    const std::string juste = dossier + "cmjp";  // 300 bytes, name "\cmjp"
    ASSERT_EQ(EcrireFichierMotDePasse(juste, "pw"), 0);
    EXPECT_EQ(VerifierMotDePasse(juste.c_str(), "pw"), 1);
}

TEST(EcrireFichierMotDePasse, FailuresAreReported)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    EXPECT_EQ(EcrireFichierMotDePasse("a.b", "pw"), -1);
    EXPECT_EQ(EcrireFichierMotDePasse(d / "absent/cam1.mjp", "pw"), -1);
}

TEST(FilmProtege, AcceptedPasswordRestoresTheBody)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    const std::string film = d / "cam1.mjp";
    Octets corps(300);
    for (size_t i = 0; i < corps.size(); ++i)
        corps[i] = static_cast<unsigned char>(i * 13);
    Octets stocke = corps;
    Embrouiller(stocke.data(), static_cast<int>(stocke.size()));
    ASSERT_EQ(EcrireFichierMotDePasse(film, "secret"), 0);

    Octets lu = stocke;
    if (VerifierMotDePasse(film.c_str(), "secret") == 1)
        Desembrouiller(lu.data(), static_cast<int>(lu.size()));
    EXPECT_EQ(lu, corps);

    lu = stocke;
    if (VerifierMotDePasse(film.c_str(), "faux") == 1)
        Desembrouiller(lu.data(), static_cast<int>(lu.size()));
    EXPECT_EQ(lu, stocke);
}
