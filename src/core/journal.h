// Diagnostic logs: dated lines appended to a file in the program folder
// (the user's folder once installed),
// cut back to their most recent part when they grow too large. Every log is
// off unless the build option ZR7_JOURNAUX switches them on; every failure
// is silent.
#pragma once

#include <cstdint>

enum class Journal {
    Magneto,    // reader: "Magneto.log"
    MagnetoSon, // sound reader, one per channel: "MagnetoSon%d.log"
    Audio,      // audio output, one per channel: "Audio-%d.log"
};

// On/off switch of each log (a byte, as the writing thread reads it).
extern unsigned char FlagJournalMagneto;
extern unsigned char FlagJournalMagnetoSon;
extern unsigned char FlagJournalAudio;

struct ParametresJournal {
    char fichier[256];
    char temporaire[256];
    int64_t limite;   // cut back when the file grows larger than this
    int64_t garde;    // bytes kept from the end
    int64_t bloc;     // copy block (garde is a whole number of blocks)
};

// File names and limits of one log: in DossierProgramme, or in the user's
// state folder when the player is installed (dossier_utilisateur.h).
ParametresJournal ParametresDuJournal(Journal journal, int voie);

// Appends "dd/mm/yyyy hh:nn:ss text\r\n" to the log if its switch is on.
void EcrireJournal(Journal journal, int voie, const char* texte);
