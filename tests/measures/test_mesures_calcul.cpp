// Measure lines, notice texts and row editing as plain functions.
#include "measures/mesures_calcul.h"

#include "commun/fichiers_essai.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int32_t Temps(const std::string& ligne)
{
    return LireTempsMesure(ligne.data(), ligne.size());
}

LigneMesure Ligne(const std::string& ligne)
{
    return AnalyserLigneMesure(ligne.data(), ligne.size());
}

} // namespace

TEST(LigneMesure, TempsLuSurSixCaracteres)
{
    const struct {
        const char* ligne;
        int32_t attendu;
    } cas[] = {
        {"000500;1;A;", 500},   {"1234567;1;A;", 123456}, {"  1500;1;A;", 1500},
        {"+42;1;A;", 42},       {"-250;1;A;", -250},     {"12a45;1;A;", 12},
        {";1;A;", 0},           {"999999;1;A;", 999999}, {"", 0},
    };
    for (const auto& c : cas)
        EXPECT_EQ(Temps(c.ligne), c.attendu) << c.ligne;
}

TEST(LigneMesure, ChampsDeLaLigneSeule)
{
    LigneMesure l = Ligne("000500;1;Temps film : 00:00:00;reste");
    EXPECT_TRUE(l.valide);
    EXPECT_EQ(l.rang, 1);
    EXPECT_EQ(l.texte, "Temps film : 00:00:00");

    // Row 0 or less clears: text " ", no third ';' needed.
    l = Ligne("000000;0;");
    EXPECT_TRUE(l.valide);
    EXPECT_EQ(l.rang, 0);
    EXPECT_EQ(l.texte, " ");
    l = Ligne("000000;-3;x;");
    EXPECT_EQ(l.texte, " ");

    // Missing separators: skipped.
    EXPECT_FALSE(Ligne("000500").valide);
    EXPECT_FALSE(Ligne("000500;1").valide);
    EXPECT_FALSE(Ligne("000500;2;sans fin").valide);

    // The row reads 20 characters at most, saturates rather than overflows;
    // the text is cut at 1500.
    EXPECT_EQ(Ligne("0;000000000000000000007;x;").rang, 0);
    EXPECT_EQ(Ligne("0;00000000000000000007;x;").rang, 7);
    EXPECT_EQ(Ligne("0;99999999999999999999999;x;").rang, INT32_MAX);
    const std::string longue(2000, 'm');
    EXPECT_EQ(Ligne("0;1;" + longue + ";").texte.size(), LongueurTexteMesure);
}

TEST(LigneMesure, TexteNumeroEtNomsDesAvis)
{
    EXPECT_EQ(TexteAvisMesure(3, "Temperature : 21.5 C"), "ZR7_MESURES;0;3;Temperature : 21.5 C;");
    EXPECT_EQ(TexteAvisMesure(0, "ignore"), "ZR7_MESURES;0;0; ;");
    EXPECT_EQ(NumeroAvisSuivant(0), 1u);
    EXPECT_EQ(NumeroAvisSuivant(9998), 9999u);
    EXPECT_EQ(NumeroAvisSuivant(9999), 0u); // the 10000th notice
    EXPECT_EQ(CheminAvisFilm("/d/DONNEES", 0, 17), "/d/DONNEES/mesures_mag_0_17.tmp");
    EXPECT_EQ(CheminAvisDirect("/d/DONNEES", 0), "/d/DONNEES/mesures_0.tmp");
    EXPECT_EQ(CheminAvisDirect(std::string(300, 'd').c_str(), 0).size(), 200u + std::strlen("/mesures_0.tmp"));
}

// The pass start found from the index is where a scan from the top would
// stop skipping; short lines and the last 12 bytes are left out.
TEST(LigneMesure, DebutDePasseSansRelireLeDebut)
{
    const std::string image = "000000;0;;\r\n"
                              "ab\r\n"                  // too short
                              "001000;1;un;\r\n"
                              "000500;2;tard;\r\n"      // earlier time after a later one
                              "002000;1;deux;\r\n"
                              "003000;1;trois;\r\n"
                              "9;1;x;\r\n";             // starts within the last 12 bytes
    const auto index = IndexerMesures(image.data(), image.size());
    EXPECT_EQ(index.size(), 4u); // one mark per second reached
    const size_t l1000 = image.find("001000"), l2000 = image.find("002000"), l3000 = image.find("003000");
    EXPECT_EQ(DebutDePasse(index, 0, image.size()), 0u);
    EXPECT_EQ(DebutDePasse(index, 1, image.size()), l1000);
    EXPECT_EQ(DebutDePasse(index, 2, image.size()), l2000);
    EXPECT_EQ(DebutDePasse(index, 3, image.size()), l3000);
    EXPECT_EQ(DebutDePasse(index, 4, image.size()), image.size());
    // Times within a second and out of order: the first line at or after the start.
    const std::string desordre = "002500;1;a;\r\n001200;1;b;\r\n002100;1;c;\r\n003000;1;d;\r\n000000;0;;\r\n";
    const auto i2 = IndexerMesures(desordre.data(), desordre.size());
    EXPECT_EQ(DebutDePasse(i2, 1, desordre.size()), 0u);
    EXPECT_EQ(DebutDePasse(i2, 2, desordre.size()), 0u);
    EXPECT_EQ(DebutDePasse(i2, 3, desordre.size()), desordre.find("003000"));

    // A lone line shorter than 13 bytes within the last 12: nothing.
    const std::string court = "1;1;a;\r\n";
    EXPECT_TRUE(IndexerMesures(court.data(), court.size()).empty());
    EXPECT_EQ(LongueurLigne(image.data(), image.size(), 0), 12u);
    EXPECT_EQ(LongueurLigne("abc\r", 4, 0), 0u);
}

TEST(AvisMesure, LectureDuTexte)
{
    AvisMesure a = LireAvisMesure("ZR7_MESURES;0;3;Vitesse : 12 km/h;");
    EXPECT_TRUE(a.trouve);
    EXPECT_EQ(a.index, 2);
    EXPECT_EQ(a.texte, QStringLiteral("Vitesse : 12 km/h"));

    // Row 0 clears; an untagged line or one without its separators changes nothing.
    EXPECT_EQ(LireAvisMesure("ZR7_MESURES;0;0; ;").index, -1);
    EXPECT_FALSE(LireAvisMesure("MESURES;0;3;x;").trouve);
    EXPECT_FALSE(LireAvisMesure("ZR7_MESURES;0;3;sans fin").trouve);
    EXPECT_FALSE(LireAvisMesure("").trouve);

    // The last usable tagged line counts; text from the recorders' code page.
    a = LireAvisMesure("ZR7_MESURES;0;1;a;\r\nbruit\r\nZR7_MESURES;0;4;Temp\xe9rature;\r\n");
    EXPECT_EQ(a.index, 3);
    EXPECT_EQ(a.texte, QString::fromUtf8("Température"));
    EXPECT_EQ(LireAvisMesure("ZR7_MESURES;0;1;Temp\xc3\xa9rature;").texte, QString::fromUtf8("Température"));

    // Text cut to 1400 characters; a tagged line read past 1499 bytes is lost.
    a = LireAvisMesure("ZR7_MESURES;0;1;" + QByteArray(1450, 'x') + ";");
    EXPECT_EQ(a.texte.size(), LongueurTexteAvis);
    EXPECT_FALSE(LireAvisMesure("ZR7_MESURES;0;1;" + QByteArray(1600, 'x') + ";").trouve);
    EXPECT_EQ(LireAvisMesure("ZR7_MESURES;0;2000000000;x;").index, 1999999999);
}

TEST(AvisMesure, EditionDesRangs)
{
    // Row 3 into an empty display: two empty lines, then the text.
    EXPECT_EQ(EditerAffichage(QString(), 2, "C"), QStringLiteral("\n\nC"));
    // Row 2 of five lines: replaced, the others kept.
    EXPECT_EQ(EditerAffichage("a\nb\nc\nd\ne", 1, "B"), QStringLiteral("a\nB\nc\nd\ne"));
    // A final line end does not count as a line.
    EXPECT_EQ(EditerAffichage("a\n", 2, "c"), QStringLiteral("a\n\nc"));
    // Row 0 or less clears.
    EXPECT_EQ(EditerAffichage("a\nb", -1, "x"), QString());
    // Rows that cannot fit the 4999-character display change nothing, at once.
    EXPECT_EQ(EditerAffichage("a\nb", 4999, "x"), QStringLiteral("a\nb"));
    EXPECT_EQ(EditerAffichage("a\nb", 1999999999, "x"), QStringLiteral("a\nb"));
    EXPECT_EQ(EditerAffichage(QString(), 4998, "x").size(), 4999);
    // A display longer than 4999 characters is cut through the edit.
    EXPECT_EQ(EditerAffichage(QString(6000, 'z'), 1, "x").size(), 4999);
}

TEST(AvisMesure, FichiersQuiNeSontPasLus)
{
    DossierTemporaire d;
    ASSERT_TRUE(d.Pret());
    QByteArray contenu;
    EcrireOctets(d / "ok.tmp", Octets{'Z', ';'});
    EXPECT_EQ(LireFichierAvis(d / "ok.tmp", contenu), LectureAvis::Lu);
    EXPECT_EQ(contenu, QByteArray("Z;"));
    EXPECT_EQ(LireFichierAvis(d / "absent.tmp", contenu), LectureAvis::Absent);

    // A link to another file, a FIFO (no blocking), a folder: not read.
    EcrireOctets(d / "secret", Octets{'s'});
    ASSERT_EQ(symlink((d / "secret").c_str(), (d / "lien.tmp").c_str()), 0);
    EXPECT_EQ(LireFichierAvis(d / "lien.tmp", contenu), LectureAvis::PasOrdinaire);
    EXPECT_TRUE(contenu.isEmpty());
    ASSERT_EQ(mkfifo((d / "fifo.tmp").c_str(), 0600), 0);
    EXPECT_EQ(LireFichierAvis(d / "fifo.tmp", contenu), LectureAvis::PasOrdinaire);
    EXPECT_EQ(LireFichierAvis(d.Chemin(), contenu), LectureAvis::PasOrdinaire);

    // Over 64 KB: not read.
    EcrireOctets(d / "gros.tmp", Octets(TailleMaxAvis + 1, 'x'));
    EXPECT_EQ(LireFichierAvis(d / "gros.tmp", contenu), LectureAvis::TropGrand);
    EXPECT_TRUE(contenu.isEmpty());
    EcrireOctets(d / "limite.tmp", Octets(TailleMaxAvis, 'x'));
    EXPECT_EQ(LireFichierAvis(d / "limite.tmp", contenu), LectureAvis::Lu);
}
