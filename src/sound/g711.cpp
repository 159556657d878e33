#include "sound/g711.h"

#include <array>
#include <cstddef>

namespace {

// Codes are stored complemented; the magnitude is (mantissa * 8 + bias) in
// the segment given by the exponent, less the bias.
constexpr int BiaisMuLaw = 0x84;

constexpr int16_t Decoder(uint8_t code)
{
    const int u = static_cast<uint8_t>(~code);
    const int exposant = (u >> 4) & 0x07;
    const int mantisse = u & 0x0F;
    const int grandeur = (((mantisse << 3) + BiaisMuLaw) << exposant) - BiaisMuLaw;
    return static_cast<int16_t>((u & 0x80) ? -grandeur : grandeur);
}

constexpr std::array<int16_t, 256> FaireTable()
{
    std::array<int16_t, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[static_cast<size_t>(c)] = Decoder(static_cast<uint8_t>(c));
    return t;
}

constexpr std::array<int16_t, 256> TableMuLaw = FaireTable();

} // namespace

int16_t DecoderMuLaw(uint8_t code)
{
    return TableMuLaw[code];
}

void DecoderMuLawBloc(const uint8_t* codes, int n, int16_t* echantillons)
{
    for (int i = 0; i < n; ++i)
        echantillons[i] = TableMuLaw[codes[i]];
}
