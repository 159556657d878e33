// Build step: writes the program's icon (the film strip of the buttons,
// drawn at each size) as DOSSIER/TAILLExTAILLE/apps/lecteurzr7.png.
#include "ui/icones.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage : zr7icone DOSSIER TAILLE...\n");
        return 2;
    }
    const QString dossier = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int taille = std::atoi(argv[i]);
        if (taille <= 0 || taille > 1024) {
            std::fprintf(stderr, "zr7icone : taille incorrecte %s\n", argv[i]);
            return 2;
        }
        const QString sous = QStringLiteral("%1/%2x%2/apps").arg(dossier).arg(taille);
        if (!QDir().mkpath(sous) || !ImageIconeFilm(taille).save(sous + QStringLiteral("/lecteurzr7.png"))) {
            std::fprintf(stderr, "zr7icone : impossible d'écrire l'icône %d\n", taille);
            return 1;
        }
    }
    return 0;
}
