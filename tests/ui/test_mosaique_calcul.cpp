// Several films side by side: which films open, the tiles and the pictures
// fitted in them, the command line of several films.
#include "ui/mosaique_calcul.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(MosaiqueCalcul, AtMostFourFilmsInTheOrderGiven)
{
    const ChoixFilms deux = ChoisirFilms({"a.mjp", "b.mjp"});
    EXPECT_EQ(deux.films, (std::vector<std::string>{"a.mjp", "b.mjp"}));
    EXPECT_FALSE(deux.coupe);
    const ChoixFilms six = ChoisirFilms({"1.mjp", "2.mjp", "3.mjp", "4.mjp", "5.mjp", "6.mjp"});
    EXPECT_EQ(six.films, (std::vector<std::string>{"1.mjp", "2.mjp", "3.mjp", "4.mjp"}));
    EXPECT_TRUE(six.coupe);
    EXPECT_FALSE(ChoisirFilms({"1.mjp", "2.mjp", "3.mjp", "4.mjp"}).coupe);
}

TEST(MosaiqueCalcul, FilmsOfTheCommandLine)
{
    const std::set<std::string> existants = {"/v/mon film.mjp", "/v/a.mjp", "/v/b.264"};
    auto existe = [&](const std::string& c) { return existants.count(c) > 0; };
    // An unquoted path with a space stays one film, as before.
    EXPECT_EQ(FilmsDeLaLigne({"/v/mon", "film.mjp"}, existe), (std::vector<std::string>{"/v/mon film.mjp"}));
    EXPECT_EQ(FilmsDeLaLigne({"/v/a.mjp"}, existe), (std::vector<std::string>{"/v/a.mjp"}));
    // Several films, even one missing: each is a tile (a bad one shows its error).
    EXPECT_EQ(FilmsDeLaLigne({"/v/a.mjp", "/v/b.264", "/v/c.mp4"}, existe),
              (std::vector<std::string>{"/v/a.mjp", "/v/b.264", "/v/c.mp4"}));
    // Anything else is not a list of films.
    EXPECT_TRUE(FilmsDeLaLigne({"/v/a.mjp", "notes.txt"}, existe).empty());
    EXPECT_TRUE(FilmsDeLaLigne({"/v/x.mjp"}, existe).empty());
    EXPECT_TRUE(FilmsDeLaLigne({}, existe).empty());
}

TEST(MosaiqueCalcul, TilesOfOneToFourFilms)
{
    EXPECT_EQ(CellulesMosaique(1, 801, 601), (std::vector<Boite>{{0, 0, 801, 601}}));
    EXPECT_EQ(CellulesMosaique(2, 801, 601), (std::vector<Boite>{{0, 0, 400, 601}, {400, 0, 401, 601}}));
    // Three in 2 x 2: the fourth place stays empty.
    EXPECT_EQ(CellulesMosaique(3, 801, 601),
              (std::vector<Boite>{{0, 0, 400, 300}, {400, 0, 401, 300}, {0, 300, 400, 301}}));
    const auto quatre = CellulesMosaique(4, 801, 601);
    ASSERT_EQ(quatre.size(), 4u);
    EXPECT_EQ(quatre[3], (Boite{400, 300, 401, 301}));
    EXPECT_TRUE(CellulesMosaique(0, 800, 600).empty());
    EXPECT_TRUE(CellulesMosaique(5, 800, 600).empty());
    EXPECT_EQ(CelluleSousPoint(quatre, 399, 299), 0);
    EXPECT_EQ(CelluleSousPoint(quatre, 400, 300), 3);
    EXPECT_EQ(CelluleSousPoint(quatre, 0, 450), 2);
    EXPECT_EQ(CelluleSousPoint(quatre, 801, 0), -1);
}

TEST(MosaiqueCalcul, PictureFittedInItsTileWithItsRatio)
{
    // 16:9 in a tall tile: full width, centred vertically.
    EXPECT_EQ(ImageAjustee(1280, 720, Boite{10, 20, 400, 600}), (Boite{10, 207, 400, 225}));
    // 4:3 in a wide tile: full height, centred horizontally.
    EXPECT_EQ(ImageAjustee(320, 240, Boite{0, 0, 800, 300}), (Boite{200, 0, 400, 300}));
    // Unknown size: the whole tile.
    EXPECT_EQ(ImageAjustee(0, 0, Boite{5, 5, 100, 50}), (Boite{5, 5, 100, 50}));
}

TEST(MosaiqueCalcul, PictureAtItsRealSizeInItsTile)
{
    // Smaller than the tile: its own size, centred.
    EXPECT_EQ(ImageTailleReelle(320, 240, Boite{10, 20, 800, 600}), (Boite{250, 200, 320, 240}));
    // Larger: centred all the same, overflowing evenly (the tile crops).
    EXPECT_EQ(ImageTailleReelle(1280, 720, Boite{0, 0, 640, 360}), (Boite{-320, -180, 1280, 720}));
    // Pixels that are not square are shown at the display ratio, as for a
    // single film: 704 x 576 is 4:3, 704 x 528.
    EXPECT_EQ(ImageTailleReelle(704, 576, Boite{0, 0, 704, 600}), (Boite{0, 36, 704, 528}));
    EXPECT_EQ(ImageTailleReelle(0, 0, Boite{5, 5, 100, 50}), (Boite{5, 5, 100, 50}));
}

} // namespace
