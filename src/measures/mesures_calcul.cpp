#include "measures/mesures_calcul.h"

#include <QStringConverter>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Decimal number at the start of a field, as the recorders' C library reads
// it: leading blanks, an optional sign, digits up to the first non-digit.
// Saturated instead of overflowing.
int64_t LireEntier(const char* texte, size_t longueur)
{
    size_t i = 0;
    while (i < longueur && std::isspace(static_cast<unsigned char>(texte[i])))
        ++i;
    bool negatif = false;
    if (i < longueur && (texte[i] == '+' || texte[i] == '-')) {
        negatif = texte[i] == '-';
        ++i;
    }
    int64_t valeur = 0;
    for (; i < longueur && texte[i] >= '0' && texte[i] <= '9'; ++i) {
        if (valeur > (INT64_MAX - 9) / 10) {
            valeur = INT64_MAX;
            break;
        }
        valeur = valeur * 10 + (texte[i] - '0');
    }
    return negatif ? -valeur : valeur;
}

int32_t Borner32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

const char* Chercher(const char* debut, const char* fin, char c)
{
    return static_cast<const char*>(std::memchr(debut, c, static_cast<size_t>(fin - debut)));
}

QString Decoder(const QByteArray& octets)
{
    // Recorders write their own code page; UTF-8 is taken when the bytes are valid UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString texte = utf8.decode(octets);
    if (utf8.hasError())
        return QString::fromLatin1(octets);
    return texte;
}

} // namespace

int32_t LireTempsMesure(const char* ligne, size_t longueur)
{
    return Borner32(LireEntier(ligne, std::min(longueur, LongueurChampTemps)));
}

LigneMesure AnalyserLigneMesure(const char* ligne, size_t longueur)
{
    LigneMesure l;
    const char* fin = ligne + longueur;
    const char* p1 = Chercher(ligne, fin, ';');
    if (!p1)
        return l;
    const char* p2 = Chercher(p1 + 1, fin, ';');
    if (!p2)
        return l;
    l.rang = Borner32(LireEntier(p1 + 1, std::min(static_cast<size_t>(p2 - p1 - 1), LongueurChampRang)));
    if (l.rang <= 0) {
        l.texte = " ";
        l.valide = true;
        return l;
    }
    const char* p3 = Chercher(p2 + 1, fin, ';');
    if (!p3)
        return l;
    l.texte.assign(p2 + 1, std::min(static_cast<size_t>(p3 - p2 - 1), LongueurTexteMesure));
    l.valide = true;
    return l;
}

size_t LongueurLigne(const char* image, size_t taille, size_t debut)
{
    for (size_t i = debut; i + 1 < taille;) {
        const char* cr = static_cast<const char*>(std::memchr(image + i, '\r', taille - 1 - i));
        if (!cr)
            return 0;
        const size_t j = static_cast<size_t>(cr - image);
        if (image[j + 1] == '\n')
            return j + 2 - debut;
        i = j + 1;
    }
    return 0;
}

std::vector<RepereMesure> IndexerMesures(const char* image, size_t taille)
{
    std::vector<RepereMesure> index;
    const size_t limite = taille > MargeFinMesures ? taille - MargeFinMesures : 0;
    for (size_t debut = 0; debut < limite;) {
        const size_t longueur = LongueurLigne(image, taille, debut);
        if (longueur == 0)
            break;
        if (longueur > LongueurLigneIgnoree) {
            // A pass starts on a whole second: the first line at or after
            // it is the first of its second to exceed every earlier line.
            const uint32_t t = static_cast<uint32_t>(LireTempsMesure(image + debut, longueur));
            if (index.empty() || t / 1000 > index.back().tempsMs / 1000)
                index.push_back({t, debut});
        }
        debut += longueur;
    }
    return index;
}

size_t DebutDePasse(const std::vector<RepereMesure>& index, uint32_t secondeDebut, size_t taille)
{
    const uint64_t debutMs = uint64_t(secondeDebut) * 1000;
    const auto it = std::lower_bound(index.begin(), index.end(), debutMs,
                                     [](const RepereMesure& r, uint64_t t) { return r.tempsMs < t; });
    return it == index.end() ? taille : it->debut;
}

std::string TexteAvisMesure(int32_t rang, const std::string& texte)
{
    char entete[48];
    std::snprintf(entete, sizeof entete, "ZR7_MESURES;%d;%d;", 0, rang);
    return std::string(entete) + (rang <= 0 ? std::string(" ") : texte) + ";";
}

uint32_t NumeroAvisSuivant(uint32_t numero)
{
    return numero >= NumeroAvisMax ? 0 : numero + 1;
}

std::string CheminAvisFilm(const char* dossier, int voie, int64_t numero)
{
    char chemin[320];
    std::snprintf(chemin, sizeof chemin, "%.200s/mesures_mag_%d_%lld.tmp", dossier, voie,
                  static_cast<long long>(numero));
    return chemin;
}

std::string CheminAvisDirect(const char* dossier, int source)
{
    char chemin[320];
    std::snprintf(chemin, sizeof chemin, "%.200s/mesures_%d.tmp", dossier, source);
    return chemin;
}

AvisMesure LireAvisMesure(const QByteArray& contenu)
{
    static const QByteArray Etiquette("ZR7_MESURES;");
    AvisMesure avis;
    for (qsizetype pos = 0; pos < contenu.size();) {
        const qsizetype limite = std::min<qsizetype>(contenu.size(), pos + LongueurLectureAvis);
        const qsizetype nl = contenu.indexOf('\n', pos);
        const qsizetype fin = nl >= 0 && nl < limite ? nl + 1 : limite;
        const QByteArray morceau = contenu.mid(pos, fin - pos);
        pos = fin;
        const qsizetype e = morceau.indexOf(Etiquette);
        if (e < 0)
            continue;
        const qsizetype p = morceau.indexOf(';', e + Etiquette.size()); // after the source number
        const qsizetype q = p < 0 ? -1 : morceau.indexOf(';', p + 1);
        const qsizetype r = q < 0 ? -1 : morceau.indexOf(';', q + 1);
        if (r < 0)
            continue;
        const size_t champ = std::min<size_t>(static_cast<size_t>(q - p - 1), LongueurChampRang);
        const int64_t rang = Borner32(LireEntier(morceau.constData() + p + 1, champ));
        avis.trouve = true;
        avis.index = rang - 1;
        avis.texte = Decoder(morceau.mid(q + 1, r - q - 1)).left(LongueurTexteAvis);
    }
    return avis;
}

QString EditerAffichage(const QString& affichage, int64_t index, const QString& texte)
{
    if (index < 0)
        return QString();
    if (index >= RangMaxAffichage)
        return affichage;
    const QString tmp = affichage.left(LimiteAffichage);
    QStringList lignes;
    if (!tmp.isEmpty()) {
        lignes = tmp.split(QLatin1Char('\n'));
        if (tmp.endsWith(QLatin1Char('\n')))
            lignes.removeLast(); // a final line end does not start a line
    }
    if (index < lignes.size()) {
        lignes[static_cast<qsizetype>(index)] = texte;
    } else {
        while (lignes.size() < index)
            lignes.append(QString());
        lignes.append(texte);
    }
    return lignes.join(QLatin1Char('\n')).left(LimiteAffichage);
}

LectureAvis LireFichierAvis(const std::string& chemin, QByteArray& contenu)
{
    contenu.clear();
    struct stat st;
    if (lstat(chemin.c_str(), &st) != 0)
        return LectureAvis::Absent;
    if (!S_ISREG(st.st_mode))
        return LectureAvis::PasOrdinaire;
    const int fd = open(chemin.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP ? LectureAvis::PasOrdinaire : LectureAvis::Absent;
    LectureAvis r = LectureAvis::Lu;
    if (fstat(fd, &st) != 0) {
        r = LectureAvis::Absent;
    } else if (!S_ISREG(st.st_mode)) {
        r = LectureAvis::PasOrdinaire; // replaced between the two looks
    } else if (st.st_size > TailleMaxAvis) {
        r = LectureAvis::TropGrand;
    } else {
        char tampon[4096];
        ssize_t n;
        while (contenu.size() <= TailleMaxAvis && (n = read(fd, tampon, sizeof tampon)) > 0)
            contenu.append(tampon, n);
        if (contenu.size() > TailleMaxAvis) { // grew while being read
            contenu.clear();
            r = LectureAvis::TropGrand;
        }
    }
    close(fd);
    return r;
}
