// Notices the user must be told once: a worker thread or start-up publishes
// a French text, the main window takes it and shows it. Workers never show
// a message themselves.
#pragma once

#include <string>

// Queues `texte` unless the same text was published before in this
// process: each notice is said once. Any thread.
void PublierAvis(const std::string& texte);
// Takes the oldest notice not yet shown; false when there is none.
bool PrendreAvis(std::string& texte);
// Forgets every notice, shown or not (tests).
void OublierAvis();
