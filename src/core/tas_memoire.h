// The process's heap: few arenas, so that memory freed by threads that are
// gone (decoders closed) is used again by the ones that come next instead
// of staying with the process. With the default (eight arenas a core), the
// jump targets decoded ahead while paused (about 100 MB at 1080p) stayed
// resident, and a backwards playback after them peaked at 270 MB instead
// of 210 MB; with two arenas, 220 MB. Called first thing by the player and by the benchmarks that
// measure what it does, before any thread starts.
#pragma once

// Arenas of the process's heap.
constexpr int NbArenesTas = 2;

void ReglerTasMemoire();
