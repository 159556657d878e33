#include "ui/mesures_position.h"

#include "core/ouverture.h"
#include "measures/mesures_calcul.h"

#include <QMetaObject>
#include <QVariant>
#include <QWidget>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// The window that shows the text (the other one is its backdrop).
constexpr int NumeroFenetreDuTexte = 1;
constexpr size_t TailleLecture = 64 * 1024;

struct FermerFichier {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

QString AffichageMesuresAuTemps(const std::string& cheminMsr, uint64_t tMs)
{
    std::unique_ptr<std::FILE, FermerFichier> f(OuvrirFichierOrdinaire(cheminMsr.c_str()));
    if (!f)
        return QString();
    QString affichage;
    std::vector<char> tampon;
    std::vector<char> morceau(TailleLecture);
    int64_t lus = 0;
    bool finFichier = false;
    while (!finFichier && lus < LectureMaxMesuresPosition) {
        const size_t n = std::fread(morceau.data(), 1, morceau.size(), f.get());
        if (n == 0)
            finFichier = true;
        lus += static_cast<int64_t>(n);
        tampon.insert(tampon.end(), morceau.begin(), morceau.begin() + static_cast<long>(n));
        // Whole lines only; the last bytes of the file count as the reader
        // counts them (a line must start before the file's last 12 bytes).
        size_t debut = 0;
        for (;;) {
            const size_t longueur = LongueurLigne(tampon.data(), tampon.size(), debut);
            if (longueur == 0)
                break;
            if (finFichier && debut + MargeFinMesures >= tampon.size())
                break;
            const char* ligne = tampon.data() + debut;
            if (longueur > LongueurLigneIgnoree) {
                const uint32_t t = static_cast<uint32_t>(LireTempsMesure(ligne, longueur));
                if (t > tMs)
                    return affichage;
                const LigneMesure m = AnalyserLigneMesure(ligne, longueur - 2);
                if (m.valide) {
                    const std::string texte = TexteAvisMesure(m.rang, m.texte);
                    const AvisMesure avis = LireAvisMesure(QByteArray(texte.data(), int(texte.size())));
                    if (avis.trouve)
                        affichage = EditerAffichage(affichage, avis.index, avis.texte);
                }
            }
            debut += longueur;
        }
        tampon.erase(tampon.begin(), tampon.begin() + static_cast<long>(debut));
    }
    return affichage;
}

void RemplirMesures(QWidget* mesures, const QString& affichage)
{
    if (!mesures)
        return;
    QObject* memo = mesures->findChild<QObject*>(QStringLiteral("Memo2"));
    if (!memo)
        return;
    const bool texte = mesures->property("Numero").toInt() == NumeroFenetreDuTexte;
    if (texte && !affichage.isEmpty())
        QMetaObject::invokeMethod(memo, "setPlainText", Q_ARG(QString, affichage));
    else
        QMetaObject::invokeMethod(memo, "clear");
}
