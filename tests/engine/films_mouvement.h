// Films for the motion search, drawn by ffmpeg's own sources and encoders
// (an encoder independent of the player's): a still scene with sensor
// noise, boxes that move during given spans, and spans where the whole scene
// is lit up (gain and offset). The coded stream gets the film's 8-byte
// header. Pictures may carry their number as the film maker's code row
// (numero_image.h), for tests that read back which picture is shown.
// Shared by the tests and the benchmark.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

struct BoiteMobile {
    double debut = 0, fin = 0;  // seconds: shown and moving during [debut, fin]
    int x0 = 0, y0 = 0;         // top left at debut
    int x1 = 0, y1 = 0;         // top left at fin
    int cote = 40;
};

struct SceneMouvement {
    int largeur = 640, hauteur = 360;
    int ips = 10;
    double dureeS = 20;
    int bruit = 12;  // ffmpeg noise strength, new every picture
    std::vector<BoiteMobile> boites;
    std::vector<std::pair<double, double>> lumieres;  // spans with the scene lit up
    int crf = 28;                                      // H.264 quality
    int debitKbits = 0;  // H.264: a recorder's constant rate instead (kbit/s)
    int premierNumero = -1;  // >= 0: picture k carries premierNumero + k as a code row
};

// The code row of numero_image.h drawn with ffmpeg boxes: 21 blocks from 4 %
// to 96 % of the width, 80 % to 94 % of the height; guards, 16 bits of the
// picture's number (n, the picture count, plus `premier`) and its parity.
inline std::string FiltreNumeros(int largeur, int hauteur, int premier)
{
    const int blocs = 21, bits = 16;
    auto x = [&](int i) { return static_cast<int>(largeur * (0.04 + 0.92 * i / blocs) + 0.5); };
    const int y = static_cast<int>(hauteur * 0.80 + 0.5), h = static_cast<int>(hauteur * 0.94 + 0.5) - y;
    char t[256];
    std::string f;
    std::snprintf(t, sizeof t, ",drawbox=x=%d:y=%d:w=%d:h=%d:c=black:t=fill", x(0), y, x(blocs) - x(0), h);
    f += t;
    auto bloc = [&](int i, const std::string& quand) {
        std::snprintf(t, sizeof t, ",drawbox=x=%d:y=%d:w=%d:h=%d:c=white:t=fill", x(i), y, x(i + 1) - x(i), h);
        f += t;
        if (!quand.empty())
            f += ":enable='" + quand + "'";
    };
    bloc(0, "");
    bloc(blocs - 1, "");
    std::string parite;
    for (int b = 0; b < bits; ++b) {
        std::snprintf(t, sizeof t, "mod(floor((n+%d)/%d),2)", premier, 1 << b);
        const std::string bit = t;
        bloc(2 + (bits - 1 - b), bit);
        parite += (b ? "+" : "") + bit;
    }
    bloc(blocs - 3, "mod(" + parite + ",2)");
    return f;
}

inline std::string FiltreScene(const SceneMouvement& s)
{
    char t[512];
    std::string f;
    // A still scene with some structure: a dark band, a light patch.
    std::snprintf(t, sizeof t,
                  "color=c=0x707070:s=%dx%d:r=%d:d=%g,drawbox=x=0:y=0:w=%d:h=%d:c=0x303030:t=fill,"
                  "drawbox=x=%d:y=%d:w=%d:h=%d:c=0xB0B0B0:t=fill[f0];",
                  s.largeur, s.hauteur, s.ips, s.dureeS, s.largeur / 4, s.hauteur, s.largeur / 2, s.hauteur / 2,
                  s.largeur / 8, s.hauteur / 4);
    f += t;
    int n = 0;
    for (const BoiteMobile& b : s.boites) {
        const double d = b.fin > b.debut ? b.fin - b.debut : 1;
        std::snprintf(t, sizeof t,
                      "color=c=white:s=%dx%d:r=%d:d=%g[b%d];[f%d][b%d]overlay=x='%d+(t-%g)*%g':y='%d+(t-%g)*%g':"
                      "enable='between(t,%g,%g)'[f%d];",
                      b.cote, b.cote, s.ips, s.dureeS, n, n, n, b.x0, b.debut, (b.x1 - b.x0) / d, b.y0, b.debut,
                      (b.y1 - b.y0) / d, b.debut, b.fin, n + 1);
        f += t;
        ++n;
    }
    std::snprintf(t, sizeof t, "[f%d]noise=alls=%d:allf=t", n, s.bruit);
    f += t;
    for (const auto& l : s.lumieres) {
        std::snprintf(t, sizeof t, ",eq=brightness=0.12:contrast=1.15:enable='between(t,%g,%g)'", l.first, l.second);
        f += t;
    }
    if (s.premierNumero >= 0)
        f += FiltreNumeros(s.largeur, s.hauteur, s.premierNumero);
    f += "[o]";
    return f;
}

inline bool FfmpegPresent()
{
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// Makes the film `chemin` (.264, .mp4 or .mjp) of the scene. 0 ok, -1 failure.
inline int FabriquerFilmScene(const SceneMouvement& s, const std::string& chemin)
{
    const std::string ext = chemin.size() >= 4 ? chemin.substr(chemin.size() - 4) : "";
    const int gop = 2 * s.ips;
    std::string codage;
    if (ext == ".264")
        codage = "-c:v libx264 -preset ultrafast " +
                 (s.debitKbits > 0 ? "-b:v " + std::to_string(s.debitKbits) + "k -maxrate " +
                                         std::to_string(s.debitKbits) + "k -bufsize " +
                                         std::to_string(2 * s.debitKbits) + "k"
                                   : "-crf " + std::to_string(s.crf)) +
                 " -bf 0 -g " + std::to_string(gop) + " -x264-params repeat-headers=1 -f h264";
    else if (ext == ".mp4")
        codage = "-c:v mpeg4 -q:v 6 -g " + std::to_string(gop) + " -f m4v";
    else if (ext == ".mjp")
        codage = "-c:v mjpeg -q:v 6 -pix_fmt yuvj420p -f mjpeg";
    else
        return -1;
    const std::string corps = chemin + ".corps";
    const std::string cmd = "ffmpeg -v error -y -filter_complex \"" + FiltreScene(s) + "\" -map \"[o]\" " + codage +
                            " '" + corps + "' </dev/null";
    if (std::system(cmd.c_str()) != 0)
        return -1;
    std::ifstream in(corps, std::ios::binary);
    if (!in || in.peek() == std::ifstream::traits_type::eof())
        return -1;
    const uint32_t nb = static_cast<uint32_t>(s.dureeS * s.ips + 0.5);
    const uint32_t ms = static_cast<uint32_t>(s.dureeS * 1000 + 0.5);
    unsigned char entete[8];
    for (int i = 0; i < 4; ++i) {
        entete[i] = static_cast<unsigned char>(nb >> (8 * i));
        entete[4 + i] = static_cast<unsigned char>(ms >> (8 * i));
    }
    std::ofstream out(chemin, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(entete), 8);
    // Copied through, not held: a long film's body is large.
    out << in.rdbuf();
    in.close();
    std::remove(corps.c_str());
    return out ? 0 : -1;
}

// The rectangle of the scenes below: the right part of the picture.
inline void RectangleScene(const SceneMouvement& s, int& x, int& y, int& l, int& h)
{
    x = s.largeur / 2;
    y = s.hauteur / 8;
    l = s.largeur / 2 - s.largeur / 16;
    h = s.hauteur * 3 / 4;
}

// Five boxes moving inside the rectangle and three outside it (in the left
// part), one every `pas` seconds from `pas` on, each moving for `duree`
// seconds; the scene lasts 9 x pas.
inline SceneMouvement SceneCinqEtTrois(int largeur, int hauteur, int ips, double pas, double duree)
{
    SceneMouvement s;
    s.largeur = largeur;
    s.hauteur = hauteur;
    s.ips = ips;
    s.dureeS = 9 * pas;
    int rx, ry, rl, rh;
    RectangleScene(s, rx, ry, rl, rh);
    const int c = hauteur / 9;
    for (int i = 0; i < 8; ++i) {
        BoiteMobile b;
        b.cote = c;
        b.debut = pas * (i + 1);
        b.fin = b.debut + duree;
        const bool dedans = i % 2 == 0 || i == 7;  // 0, 2, 4, 6, 7 inside; 1, 3, 5 outside
        if (dedans) {
            b.x0 = rx + c / 2;
            b.x1 = rx + rl - c - c / 2;
            b.y0 = b.y1 = ry + (i % 3 + 1) * rh / 5;
        } else {
            b.x0 = c / 2;
            b.x1 = rx - 2 * c;
            b.y0 = b.y1 = ry + (i % 3) * rh / 4;
        }
        s.boites.push_back(b);
    }
    return s;
}
