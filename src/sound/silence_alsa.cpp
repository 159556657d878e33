#include "sound/silence_alsa.h"

#include "core/journal.h"

#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>
#include <mutex>

namespace {

// snd_lib_error_handler_t of <alsa/error.h>, declared here so that the
// player needs neither the header nor the library at build time.
using GestionnaireErreurAlsa = void (*)(const char* fichier, int ligne, const char* fonction, int erreur,
                                        const char* format, ...);
using FixerGestionnaireAlsa = int (*)(GestionnaireErreurAlsa);

void VersJournal(const char* fichier, int ligne, const char* fonction, int erreur, const char* format, ...)
{
    char texte[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(texte, sizeof texte, format ? format : "", args);
    va_end(args);
    char tout[400];
    std::snprintf(tout, sizeof tout, "ALSA %s:%d (%s) %d : %s", fichier ? fichier : "?", ligne,
                  fonction ? fonction : "?", erreur, texte);
    EcrireJournal(Journal::Audio, 0, tout);
}

} // namespace

bool DetournerErreursAlsa()
{
    static std::once_flag fait;
    static bool installe = false;
    std::call_once(fait, [] {
        void* bibliotheque = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!bibliotheque)
            return;
        auto fixer = reinterpret_cast<FixerGestionnaireAlsa>(dlsym(bibliotheque, "snd_lib_error_set_handler"));
        installe = fixer != nullptr && fixer(VersJournal) == 0;
        // Never closed: the handler must outlive every use of the library.
    });
    return installe;
}
