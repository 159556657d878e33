// Shared by the sound tests: SDL driver choice, the disk driver's output
// read back as samples, waits on the channel state, and the reference G.711
// decoding computed from its definition.
#pragma once

#include "commun/fichiers_essai.h"
#include "core/etat.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

// G.711 mu-law from its definition: the complemented code holds a sign, a
// 3-bit segment e and a 4-bit step m; the 14-bit magnitude is
// (2m + 33) * 2^e - 33, and 16-bit samples are 4 times that.
inline int ReferenceMuLaw(int code)
{
    const int u = 255 - code;
    const bool negatif = u >= 128;
    const int e = (u % 128) / 16;
    const int m = u % 16;
    const int grandeur = 4 * ((2 * m + 33) * static_cast<int>(std::pow(2, e)) - 33);
    return negatif ? -grandeur : grandeur;
}

inline std::vector<int16_t> ReferenceDecodage(const Octets& codes, size_t debut, size_t n)
{
    std::vector<int16_t> v;
    for (size_t i = debut; i < debut + n && i < codes.size(); ++i)
        v.push_back(static_cast<int16_t>(ReferenceMuLaw(codes[i])));
    return v;
}

inline void PiloteDisque(const std::string& fichier)
{
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", fichier.c_str(), 1);
}

inline void PiloteMuet()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

inline std::vector<int16_t> LireEchantillons(const std::string& fichier)
{
    const Octets o = LireOctets(fichier);
    std::vector<int16_t> v(o.size() / 2);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<int16_t>(o[2 * i] | o[2 * i + 1] << 8);
    return v;
}

// The played samples without the silence before the first and after the
// last non-zero sample.
inline std::vector<int16_t> SansSilences(std::vector<int16_t> v)
{
    while (!v.empty() && v.back() == 0)
        v.pop_back();
    size_t d = 0;
    while (d < v.size() && v[d] == 0)
        ++d;
    return std::vector<int16_t>(v.begin() + static_cast<long>(d), v.end());
}

// Polls `condition` every 2 ms for at most `limiteMs`.
inline bool Attendre(const std::function<bool()>& condition, int limiteMs)
{
    const auto fin = std::chrono::steady_clock::now() + std::chrono::milliseconds(limiteMs);
    while (std::chrono::steady_clock::now() < fin) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

inline void Dormir(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Runs `f` on channel 0 under MutexVoie.
inline void SousVerrou(const std::function<void(Voie&)>& f)
{
    const int r = PrendreMutexVoie(0);
    f(Voies[0]);
    if (r == 0)
        RendreMutexVoie(0);
}

// Shared state of a playing film with sound on, its run's first picture
// shown at `msImage`, and the channel's sound buffer.
class EtatSon : public testing::Test
{
protected:
    void SetUp() override
    {
        ReinitialiserEtat();
        CreerMutexVoie(0);
        CreerMutexGeneral();
        Voies[0].BufferSon = tampon_.data();
        ASSERT_TRUE(dossier_.Pret());
    }
    void TearDown() override
    {
        Voies[0].BufferSon = nullptr;
        FermerMutexGeneral();
        FermerMutexVoie(0);
    }
    void Jouer(const std::string& cheminSon, int64_t msImage, uint32_t run = 1)
    {
        SousVerrou([&](Voie& v) {
            CopierTexte(v.CheminSon, sizeof v.CheminSon, cheminSon.c_str());
            v.FlagLecture = 1;
            v.FlagSonActif = v.FlagSonEcoute = 1;
            v.NumeroDemande = v.NumeroRun = v.RunImageMontree = run;
            v.ImageMontree = msImage / 40;
            v.MsImageMontree = msImage;
        });
    }
    int32_t NbOctets()
    {
        int32_t n = 0;
        SousVerrou([&](Voie& v) { n = v.NbOctetsSon; });
        return n;
    }
    // Takes the chunk waiting in the handover area (empty when none came
    // within `limiteMs`).
    Octets Prendre(int limiteMs = 3000)
    {
        Octets morceau;
        Attendre([&] {
            SousVerrou([&](Voie& v) {
                if (v.NbOctetsSon > 0) {
                    morceau.assign(v.BufferSon, v.BufferSon + v.NbOctetsSon);
                    v.NbOctetsSon = 0;
                }
            });
            return !morceau.empty();
        }, limiteMs);
        return morceau;
    }

    DossierTemporaire dossier_;
    std::vector<unsigned char> tampon_ = std::vector<unsigned char>(TailleBufferSon);
};
