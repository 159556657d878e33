// Puts the day strip and the previews into the main window and gives them
// what they need of it: the current film and position, the typed password,
// and the window's own film opening and seek.
#pragma once

class TLecteurZR7_Principale;

void InstallerChronologie(TLecteurZR7_Principale* fenetre);
