// The measure rows that describe the picture on screen when the position is
// set while playback is stopped (back to start, seek, picture step): the
// measure reader only writes them while the film plays.
#pragma once

#include <QString>

#include <cstdint>
#include <string>

class QWidget;

// Most of a measure file read for one position: a larger file shows the
// rows reached within it.
constexpr int64_t LectureMaxMesuresPosition = 64 * 1024 * 1024;

// The text window's rows at film time `tMs`: the lines of `cheminMsr` taken
// in file order up to the first one later than `tMs`, each put on its row
// as its notice would be. Empty for a file that cannot be opened (a FIFO or
// device is refused without blocking).
QString AffichageMesuresAuTemps(const std::string& cheminMsr, uint64_t tMs);

// Puts `affichage` into the measure window's film rows (its "Memo2"); the
// backdrop window, which never shows text, is only emptied.
void RemplirMesures(QWidget* mesures, const QString& affichage);
