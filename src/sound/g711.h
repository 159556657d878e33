// G.711 mu-law: the sound files hold one mu-law byte per sample; the audio
// device plays signed 16-bit samples.
#pragma once

#include <cstdint>

// 16-bit sample of a mu-law code (from the 256-entry table).
int16_t DecoderMuLaw(uint8_t code);

// Decodes n codes into n samples.
void DecoderMuLawBloc(const uint8_t* codes, int n, int16_t* echantillons);
