// A long file operation run on a worker thread behind a window-modal
// progress dialog with "Annuler", the window's events going on meanwhile
// (the exports and the exact copy). Keys never stop the work: Space is the
// player's play key and Enter the dialogs' default, so the dialog's
// "Annuler" takes no focus and those keys are swallowed; only a click
// cancels.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class QProgressDialog;
class QWidget;

struct TacheProgression {
    QString titre;   // the dialog's caption
    int64_t total = 0; // the expected count before the first report
    // The dialog's text for `fait` of `total` after `secondes`.
    std::function<std::string(int64_t fait, int64_t total, double secondes)> texte;
    // The work itself, on the worker thread: it polls `annuler` and reports
    // through `progression` (reports are thinned to one per 100 ms, the
    // last one always passes).
    std::function<void(const std::function<bool()>& annuler,
                       const std::function<void(int64_t fait, int64_t total)>& progression)>
        travail;
    // Called on the user-interface thread after each report shown (tests
    // cancel through the dialog from here).
    std::function<void(QProgressDialog*)> surProgression;
};

// Runs the task under a wait cursor and returns once the worker has ended.
void ExecuterAvecProgression(QWidget* parent, const TacheProgression& tache);
