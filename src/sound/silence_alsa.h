// libasound prints its errors on stderr ("ALSA lib ..."), eight lines when
// the machine has no sound card, although the player then simply plays
// without sound. Those lines go to the audio log instead.
#pragma once

// Installs libasound's error handler, when the library is present; the
// library stays loaded so that SDL's own load of it keeps the handler.
// Idempotent; true when the handler is in place.
bool DetournerErreursAlsa();
