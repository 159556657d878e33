// Gradient button: band arithmetic, painting row by row, states and mouse.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <memory>

#include "ui/oxbouton.h"
#include "ui/oxbouton_calcul.h"

using namespace Oxbouton;

namespace {

// What the button leaves untouched keeps this colour in the test images.
const QRgb Fond = qRgb(1, 2, 3);

// One gradient step as the drawing rule states it: truncation toward zero,
// then the low byte.
int Pas(int de, int vers, int i, int n)
{
    return (de + i * (vers - de) / n) & 0xFF;
}

QRgb Melange(QColor de, QColor vers, int i, int n)
{
    return qRgb(Pas(de.red(), vers.red(), i, n), Pas(de.green(), vers.green(), i, n),
                Pas(de.blue(), vers.blue(), i, n));
}

QImage Rendu(TOxBouton &b)
{
    QImage image(b.size(), QImage::Format_RGB32);
    image.fill(Fond);
    b.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

QFont PoliceNette()
{
    QFont f = PoliceDisponible(QStringLiteral("MS Sans Serif"), 11);
    f.setStyleStrategy(QFont::NoAntialias);  // pixels are text or background, nothing between
    return f;
}

// Colour of every row of the centre column of a button at rest, from the rule:
// upper band i on rows i+1..i+2, lower band i on rows D+1+2i..D+3+2i, bottom
// strip on rows H-7..H-4, border on rows 0 and H-3, shadow on row H-2.
std::vector<QRgb> ColonneAttendue(int h, int p, QColor de, QColor vers, QColor bordure, QColor ombre)
{
    std::vector<QRgb> rangs(h, Fond);
    const int u = (h - 6) / 2 - p - 2;
    const int d = u + 1;
    const int m = (d + p) / 2;
    for (int i = 0; i <= u; ++i)
        for (int r = i + 1; r < i + 3; ++r)
            rangs[r] = Melange(de, vers, i, u);
    QRgb derniere = 0;
    for (int i = 0; i <= m + 1; ++i) {
        derniere = Melange(vers, de, i, d);
        for (int r = d + 1 + 2 * i; r < d + 4 + 2 * i && r < h; ++r)
            rangs[r] = derniere;
    }
    for (int r = h - 7; r < h - 3; ++r)
        rangs[r] = derniere;
    rangs[0] = rangs[h - 3] = bordure.rgb();
    rangs[h - 2] = ombre.rgb();
    return rangs;
}

void VerifierColonne(const QImage &image, int x, const std::vector<QRgb> &attendu)
{
    for (int y = 0; y < image.height(); ++y)
        EXPECT_EQ(QColor(image.pixel(x, y)).name(), QColor(attendu[y]).name()) << "row " << y;
}

// Smallest rectangle holding every pixel where two images differ.
QRect Differences(const QImage &a, const QImage &b)
{
    QRect zone;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                zone |= QRect(x, y, 1, 1);
    return zone;
}

void Entrer(TOxBouton &b)
{
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&b, &e);
}

void Sortir(TOxBouton &b)
{
    QEvent e(QEvent::Leave);
    QCoreApplication::sendEvent(&b, &e);
}

const QColor Gris(128, 128, 128);
const QColor Argent(192, 192, 192);
const QColor Bordure(0x66, 0x66, 0x66);

}  // namespace

TEST(OxBoutonCalcul, BandCountsForUsualAndTinyHeights)
{
    struct Cas { int h, p, u, hautes, d, m, basses; };
    const Cas cas[] = {
        {24, 0, 7, 8, 8, 4, 6},   {24, 3, 4, 5, 5, 4, 6},  {33, 0, 11, 12, 12, 6, 8},
        {33, 3, 8, 9, 9, 6, 8},   {10, 0, 0, 1, 1, 0, 2},  {11, 0, 0, 1, 1, 0, 2},
        {8, 0, -1, 0, 0, 0, 2},   {16, 3, 0, 1, 1, 2, 4},  {14, 3, -1, 0, 0, 1, 3},
        {3, 0, -3, 0, -2, -1, 1}, {2, 0, -4, 0, -3, -1, 1}, {1, 0, -4, 0, -3, -1, 1},
        {1, 3, -7, 0, -6, -1, 1}, {3, 3, -6, 0, -5, -1, 1},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(testing::Message() << "H=" << c.h << " p=" << c.p);
        EXPECT_EQ(BorneHaute(c.h, c.p), c.u);
        EXPECT_EQ(NombreBandesHautes(c.h, c.p), c.hautes);
        EXPECT_EQ(NombreBandesBasses(c.h, c.p), c.basses);
        const Degrade g = CalculerDegrade(55, c.h, c.p, {128, 128, 128}, {192, 192, 192});
        EXPECT_EQ(g.diviseurBas, c.d);
        EXPECT_EQ(g.milieuBas, c.m);
        EXPECT_EQ(int(g.hautes.size()), c.hautes);
        EXPECT_EQ(int(g.basses.size()), c.basses);
    }
}

TEST(OxBoutonCalcul, BandColoursTruncateTowardZeroAndWrap)
{
    // 64 / 7 truncates to 9 both ways: 128 -> 137 and 192 -> 183.
    EXPECT_EQ(CouleurBande({128, 128, 128}, {192, 192, 192}, 1, 7), (CouleurRVB{137, 137, 137}));
    EXPECT_EQ(CouleurBande({192, 192, 192}, {128, 128, 128}, 1, 7), (CouleurRVB{183, 183, 183}));
    EXPECT_EQ(CouleurBande({255, 146, 36}, {255, 255, 191}, 7, 7), (CouleurRVB{255, 255, 191}));
    // Beyond the end (tiny heights) only the low byte is kept.
    EXPECT_EQ(CouleurBande({10, 250, 0}, {250, 10, 0}, 3, 1), (CouleurRVB{218, 42, 0}));
    // No room for a gradient: the start colour, no division.
    EXPECT_EQ(CouleurBande({1, 2, 3}, {200, 200, 200}, 5, 0), (CouleurRVB{1, 2, 3}));
    EXPECT_EQ(CouleurDepuisBGR(0x2492FF), (CouleurRVB{255, 146, 36}));
    EXPECT_EQ(CouleurDepuisBGR(0xBFFFFF), (CouleurRVB{255, 255, 191}));
}

TEST(OxBoutonCalcul, BandEdgesShapeTheCorners)
{
    const Degrade repos = CalculerDegrade(55, 24, 0, {0, 0, 0}, {80, 80, 80});
    EXPECT_EQ(repos.hautes[0].rect, (RectangleBande{2, 1, 49, 3}));
    EXPECT_EQ(repos.hautes[2].rect, (RectangleBande{2, 3, 51, 5}));
    EXPECT_EQ(repos.hautes[7].rect, (RectangleBande{1, 8, 52, 10}));
    EXPECT_EQ(repos.basses[0].rect, (RectangleBande{1, 9, 51, 12}));
    EXPECT_EQ(repos.basses[5].rect, (RectangleBande{2, 19, 49, 22}));
    EXPECT_EQ(repos.bandeBas.rect, (RectangleBande{2, 17, 50, 21}));
    EXPECT_EQ(repos.bandeBas.couleur, repos.basses[5].couleur);

    // Pressed: the last lower band keeps the full width and so does the strip.
    const Degrade appui = CalculerDegrade(55, 24, DecalageAppui, {0, 0, 0}, {80, 80, 80});
    EXPECT_EQ(appui.basses[5].rect, (RectangleBande{1, 16, 51, 19}));
    EXPECT_EQ(appui.bandeBas.rect, (RectangleBande{1, 17, 50, 21}));
    EXPECT_EQ(appui.basses[5].couleur, (CouleurRVB{0, 0, 0}));

    // One to three upper bands leave the lower bands at 2, none leaves them at 1.
    EXPECT_EQ(CalculerDegrade(55, 12, 0, {}, {}).basses[0].rect.gauche, 2);
    EXPECT_EQ(CalculerDegrade(55, 8, 0, {}, {}).basses[0].rect.gauche, 1);
    // Zero divisors: upper band 0 is the start colour, lower bands the end colour.
    EXPECT_EQ(CalculerDegrade(55, 10, 0, {9, 9, 9}, {99, 99, 99}).hautes[0].couleur, (CouleurRVB{9, 9, 9}));
    for (const Bande &b : CalculerDegrade(55, 8, 0, {9, 9, 9}, {99, 99, 99}).basses)
        EXPECT_EQ(b.couleur, (CouleurRVB{99, 99, 99}));
}

TEST(OxBouton, InitialPropertiesAndFocus)
{
    TOxBouton b;
    EXPECT_EQ(b.size(), QSize(65, 65));
    EXPECT_EQ(b.focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(b.property("ColorFrom").value<QColor>(), Gris);
    EXPECT_EQ(b.property("ColorTo").value<QColor>(), Argent);
    EXPECT_EQ(b.property("DisabledColorFrom").value<QColor>(), QColor(0x7F, 0x7F, 0x7F));
    EXPECT_EQ(b.property("DisabledColorTo").value<QColor>(), QColor(Qt::white));
    EXPECT_EQ(b.property("OverColorFrom").value<QColor>(), Gris);
    EXPECT_EQ(b.property("OverColorTo").value<QColor>(), Argent);
    EXPECT_EQ(b.property("ShadowColor").value<QColor>(), Argent);
    EXPECT_EQ(b.property("TextShadowColor").value<QColor>(), QColor(Qt::white));
    EXPECT_EQ(b.property("BorderColor").value<QColor>(), Bordure);
    EXPECT_EQ(b.property("DisabledFontColor").value<QColor>(), Argent);
    EXPECT_EQ(b.property("FontColor").value<QColor>(), QColor(Qt::black));
    EXPECT_TRUE(b.property("Caption").toString().isEmpty());
    EXPECT_FALSE(b.property("TextShadow").toBool());
    EXPECT_TRUE(b.property("Image").value<QPixmap>().isNull());
    EXPECT_EQ(b.property("ImageTop").toInt(), 0);
    EXPECT_EQ(b.property("ImageLeft").toInt(), 0);
    EXPECT_TRUE(b.property("Enabled").toBool());
    EXPECT_TRUE(b.property("Visible").toBool());
    EXPECT_EQ(b.property("TextShadowStyle").toInt(), int(TOxBouton::bsLowered));
    EXPECT_FALSE(b.property("About").toString().isEmpty());
    EXPECT_FALSE(b.setProperty("About", QStringLiteral("x")));
    EXPECT_EQ(b.CurrentColorFrom(), Gris);
    EXPECT_EQ(b.PressOffset(), 0);
}

TEST(OxBouton, EverySetterRepaints)
{
    QWidget fenetre;
    fenetre.resize(120, 60);
    auto *b = new TOxBouton(&fenetre);
    b->setGeometry(10, 10, 55, 24);
    fenetre.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fenetre));

    struct Compteur : QObject {
        int peintures = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            peintures += e->type() == QEvent::Paint;
            return false;
        }
    } compteur;
    b->installEventFilter(&compteur);

    QPixmap image(4, 4);
    image.fill(Qt::blue);
    const std::pair<const char *, QVariant> reglages[] = {
        {"ColorFrom", QColor(Qt::red)},     {"ColorTo", QColor(Qt::green)},
        {"DisabledColorFrom", QColor(1, 1, 1)}, {"DisabledColorTo", QColor(2, 2, 2)},
        {"OverColorFrom", QColor(3, 3, 3)}, {"OverColorTo", QColor(4, 4, 4)},
        {"ShadowColor", QColor(5, 5, 5)},   {"TextShadowColor", QColor(6, 6, 6)},
        {"BorderColor", QColor(7, 7, 7)},   {"Font", PoliceNette()},
        {"OverFont", PoliceNette()},        {"DisabledFont", PoliceNette()},
        {"Caption", QStringLiteral("Fin")}, {"TextShadow", true},
        {"Image", image},                   {"ImageTop", 4},
        {"ImageLeft", 19},                  {"TextShadowStyle", int(TOxBouton::bsRaised)},
        {"Enabled", false},
    };
    for (const auto &[nom, valeur] : reglages) {
        SCOPED_TRACE(nom);
        QCoreApplication::processEvents();
        compteur.peintures = 0;
        ASSERT_TRUE(b->setProperty(nom, valeur));
        const QVariant lu = b->property(nom);
        if (valeur.metaType() == QMetaType::fromType<QPixmap>())
            EXPECT_EQ(lu.value<QPixmap>().cacheKey(), valeur.value<QPixmap>().cacheKey());
        else if (lu.metaType() != valeur.metaType())
            EXPECT_EQ(lu.toInt(), valeur.toInt());
        else
            EXPECT_EQ(lu, valeur);
        QCoreApplication::processEvents();
        EXPECT_GE(compteur.peintures, 1);
    }
}

TEST(OxBouton, PaintsRowsAtRestAndPressed55x24)
{
    TOxBouton b;
    b.resize(55, 24);
    const QImage repos = Rendu(b);
    VerifierColonne(repos, 27, ColonneAttendue(24, 0, Gris, Argent, Bordure, Argent));
    // Shadow one pixel right of the border, outside it nothing, rounded corners.
    EXPECT_EQ(QColor(repos.pixel(51, 12)), Bordure);
    EXPECT_EQ(QColor(repos.pixel(52, 12)), Argent);
    EXPECT_EQ(repos.pixel(54, 12), Fond);
    EXPECT_EQ(repos.pixel(0, 0), Fond);
    EXPECT_EQ(QColor(repos.pixel(0, 12)), Bordure);
    EXPECT_EQ(repos.pixel(1, 5), Melange(Gris, Argent, 4, 7));  // bands from 3 on reach column 1
    EXPECT_EQ(QColor(repos.pixel(1, 2)), Bordure);  // narrow first bands: corner border

    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(b.PressOffset(), 3);
    VerifierColonne(Rendu(b), 27, ColonneAttendue(24, 3, Gris, Argent, Bordure, Argent));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(b.PressOffset(), 0);
    EXPECT_EQ(Rendu(b), repos);
}

TEST(OxBouton, PaintsRowsAtRest90x33)
{
    TOxBouton b;
    b.resize(90, 33);
    b.SetBorderColor(QColor(10, 20, 30));
    b.SetShadowColor(QColor(200, 100, 50));
    b.SetColorFrom(QColor(0, 40, 250));
    b.SetColorTo(QColor(250, 40, 0));
    VerifierColonne(Rendu(b), 45,
                    ColonneAttendue(33, 0, QColor(0, 40, 250), QColor(250, 40, 0), QColor(10, 20, 30),
                                    QColor(200, 100, 50)));
}

TEST(OxBouton, TinyHeightsPaintWithoutDividingByZero)
{
    {
        TOxBouton plat;
        plat.resize(55, 0);
        QImage image(55, 1, QImage::Format_RGB32);
        QPainter peintre(&image);
        plat.DoVertical(peintre);
    }
    for (int h = 1; h <= 18; ++h) {
        TOxBouton b;
        b.resize(55, h);
        QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(1, 1));
        Rendu(b);
        QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(1, 1));
        const QImage image = Rendu(b);
        if (h == 10) {  // single upper band: the start colour on row 1
            EXPECT_EQ(QColor(image.pixel(27, 1)), Gris);
        }
    }
}

TEST(OxBouton, OverDisabledAndBackColourSets)
{
    const QColor surDe = CouleurPlateforme(0x2492FF);
    const QColor surVers = CouleurPlateforme(0xBFFFFF);
    TOxBouton b;
    b.resize(55, 24);
    b.SetColorOverFrom(surDe);
    b.SetColorOverTo(surVers);
    b.SetDisabledColorTo(QColor(250, 240, 230));
    const QImage normal = Rendu(b);
    auto rangs = [&](QColor de, QColor vers) { return ColonneAttendue(24, 0, de, vers, Bordure, Argent); };

    Entrer(b);
    VerifierColonne(Rendu(b), 27, rangs(surDe, surVers));
    Sortir(b);
    EXPECT_EQ(Rendu(b), normal);

    // Disabled under the pointer, then enabled: normal colours until re-entered.
    Entrer(b);
    b.SetEnabled(false);
    EXPECT_FALSE(b.isEnabled());
    VerifierColonne(Rendu(b), 27, rangs(QColor(0x7F, 0x7F, 0x7F), QColor(250, 240, 230)));
    Entrer(b);  // entering a disabled button changes nothing
    VerifierColonne(Rendu(b), 27, rangs(QColor(0x7F, 0x7F, 0x7F), QColor(250, 240, 230)));
    b.SetEnabled(true);
    EXPECT_EQ(Rendu(b), normal);
    Sortir(b);
    Entrer(b);
    VerifierColonne(Rendu(b), 27, rangs(surDe, surVers));

    // ColorFrom given while over replaces the start colour at once.
    b.SetColorFrom(QColor(200, 0, 0));
    VerifierColonne(Rendu(b), 27, rangs(QColor(200, 0, 0), surVers));
    Sortir(b);
    VerifierColonne(Rendu(b), 27, rangs(QColor(200, 0, 0), Argent));

    // Disabling through QWidget takes the same road, a disabled parent does not.
    b.setEnabled(false);
    EXPECT_FALSE(b.Enabled());
    b.setEnabled(true);
    EXPECT_TRUE(b.Enabled());
    QWidget parent;
    b.setParent(&parent);
    parent.setEnabled(false);
    EXPECT_TRUE(b.Enabled());
    b.setParent(nullptr);
}

TEST(OxBouton, CaptionCentredWithOptionalShadow)
{
    TOxBouton b;
    b.resize(90, 33);
    b.SetFont(PoliceNette());
    const QImage vide = Rendu(b);

    b.SetCaption(QStringLiteral("Quitter"));
    const QImage texte = Rendu(b);
    const QRect zone = Differences(vide, texte);
    ASSERT_FALSE(zone.isEmpty());
    EXPECT_LE(std::abs(zone.left() - (89 - zone.right())), 4);
    EXPECT_LE(std::abs(zone.top() - (32 - zone.bottom())), 6);
    for (int y = zone.top(); y <= zone.bottom(); ++y)
        for (int x = zone.left(); x <= zone.right(); ++x)
            EXPECT_TRUE(texte.pixel(x, y) == vide.pixel(x, y) || texte.pixel(x, y) == qRgb(0, 0, 0));

    // Lowered: the white copy sits one pixel right of and below the text.
    b.SetShadow(true);
    const QRect basse = Differences(vide, Rendu(b));
    EXPECT_EQ(basse, zone.adjusted(0, 0, 1, 1));
    b.SetTextShadowStyle(TOxBouton::bsRaised);
    const QRect haute = Differences(vide, Rendu(b));
    EXPECT_EQ(haute, zone.adjusted(-1, -1, 0, 0));

    // Disabled text takes the disabled font colour.
    b.SetShadow(false);
    b.SetEnabled(false);
    b.SetDisabledFont(PoliceNette());
    const QImage inactif = Rendu(b);
    b.SetCaption(QString());
    const QImage inactifVide = Rendu(b);
    bool argent = false;
    for (int y = zone.top(); y <= zone.bottom(); ++y)
        for (int x = zone.left(); x <= zone.right(); ++x)
            argent |= inactif.pixel(x, y) == qRgb(192, 192, 192) && inactifVide.pixel(x, y) != qRgb(192, 192, 192);
    EXPECT_TRUE(argent);

    // An emptied caption draws nothing.
    b.SetEnabled(true);
    EXPECT_EQ(Rendu(b), vide);
}

TEST(OxBouton, PictureCentredTransparentAndPlaced)
{
    TOxBouton b;
    b.resize(55, 24);
    const QImage vide = Rendu(b);

    // Magenta (the bottom-left pixel) is the transparent colour.
    QPixmap image(16, 16);
    image.fill(Qt::magenta);
    {
        QPainter p(&image);
        p.fillRect(4, 4, 8, 8, Qt::blue);
    }
    b.SetImage(image);
    EXPECT_EQ(b.ImageLeft(), 19);
    EXPECT_EQ(b.ImageTop(), 4);
    QImage rendu = Rendu(b);
    EXPECT_EQ(Differences(vide, rendu), QRect(23, 8, 8, 8));
    EXPECT_EQ(rendu.pixel(23, 8), qRgb(0, 0, 255));

    // Placed after the picture, as a window design does, and not moved when pressed.
    b.SetImageLeft(17);
    b.SetImageTop(2);
    EXPECT_EQ(Differences(vide, Rendu(b)), QRect(21, 6, 8, 8));
    QTest::mousePress(&b, Qt::LeftButton);
    EXPECT_EQ(Rendu(b).pixel(21, 6), qRgb(0, 0, 255));
    QTest::mouseRelease(&b, Qt::LeftButton);

    b.SetImage(QPixmap());
    EXPECT_EQ(Rendu(b), vide);
}

class OxBoutonSouris : public testing::Test
{
protected:
    void SetUp() override
    {
        fenetre.resize(200, 100);
        b = new TOxBouton(&fenetre);
        b->setGeometry(10, 10, 55, 24);
        QObject::connect(b, &TOxBouton::OnMouseDown, [this](TOxBouton *s, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
            journal << QStringLiteral("down %1,%2").arg(x).arg(y);
            EXPECT_EQ(s, b);
        });
        QObject::connect(b, &TOxBouton::OnMouseUp, [this](TOxBouton *, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
            journal << QStringLiteral("up %1,%2").arg(x).arg(y);
        });
        QObject::connect(b, &TOxBouton::OnMouseMove, [this](TOxBouton *, Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) {
            deplacements << QStringLiteral("%1,%2").arg(x).arg(y);
        });
        QObject::connect(b, &TOxBouton::OnClick, [this](TOxBouton *) { journal << QStringLiteral("click"); });
        QObject::connect(b, &TOxBouton::OnDblClick, [this](TOxBouton *) { journal << QStringLiteral("dblclick"); });
        fenetre.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&fenetre));
    }
    QWindow *Fenetre() { return fenetre.windowHandle(); }

    QWidget fenetre;
    TOxBouton *b = nullptr;
    QStringList journal;
    QStringList deplacements;
    std::string Journal() const { return journal.join(QStringLiteral("; ")).toStdString(); }
};

TEST_F(OxBoutonSouris, ReleaseAnywhereRaisesTheClick)
{
    QTest::mousePress(Fenetre(), Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_EQ(b->PressOffset(), 3);
    QTest::mouseRelease(Fenetre(), Qt::LeftButton, {}, QPoint(150, 80));
    EXPECT_EQ(b->PressOffset(), 0);
    EXPECT_EQ(Journal(), "down 20,10; click; up 140,70");
    EXPECT_FALSE(b->hasFocus());

    journal.clear();
    QTest::mouseClick(Fenetre(), Qt::RightButton, {}, QPoint(30, 20));
    EXPECT_EQ(Journal(), "down 20,10; click; up 20,10");

    // Moves are reported without a button held too.
    deplacements.clear();
    QTest::mouseMove(Fenetre(), QPoint(40, 25));
    EXPECT_EQ(deplacements, QStringList({"30,15"}));

    // A disabled button takes no mouse input.
    journal.clear();
    b->SetEnabled(false);
    QTest::mouseClick(Fenetre(), Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_TRUE(journal.isEmpty());
}

TEST_F(OxBoutonSouris, DoubleClickRaisesTwoClicksAndOneDoubleClick)
{
    QTest::mouseDClick(Fenetre(), Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_EQ(Journal(), "down 20,10; click; up 20,10; dblclick; down 20,10; click; up 20,10");
    EXPECT_EQ(b->PressOffset(), 0);
}

TEST_F(OxBoutonSouris, HiddenWhilePressedComesBackAtRest)
{
    QTest::mousePress(Fenetre(), Qt::LeftButton, {}, QPoint(30, 20));
    b->hide();
    QTest::mouseRelease(Fenetre(), Qt::LeftButton, {}, QPoint(30, 20));
    b->show();
    EXPECT_EQ(b->PressOffset(), 0);
}

TEST(OxBouton, MissingFontsAreReplacedByLookalikes)
{
    if (!QFontDatabase::hasFamily(QStringLiteral("Arial"))) {
        EXPECT_EQ(PoliceDisponible(QStringLiteral("Arial"), 11).family(), QStringLiteral("Liberation Sans"));
    }
    const QFont f = PoliceDisponible(QStringLiteral("Police Inexistante ZR7"), 11, true);
    EXPECT_EQ(f.family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(f.pixelSize(), 11);
    EXPECT_TRUE(f.bold());
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
