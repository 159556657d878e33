#include "export/ligne_progression.h"

#include <chrono>
#include <utility>

#include <unistd.h>

namespace {
// A terminal is not flooded: a few lines a second are enough to follow.
constexpr double IntervalleProgressionS = 0.2;
}

double MaintenantSecondes()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

LigneProgression::LigneProgression(std::FILE* erreurs, Texte texte)
    : erreurs_(erreurs), texte_(std::move(texte)), terminal_(isatty(fileno(erreurs)) != 0),
      depart_(MaintenantSecondes())
{
}

std::function<void(int64_t, int64_t)> LigneProgression::Rappel()
{
    if (!terminal_)
        return {};
    return [this](int64_t fait, int64_t total) {
        const double t = MaintenantSecondes();
        if (t - dernier_ < IntervalleProgressionS)
            return;
        dernier_ = t;
        std::fprintf(erreurs_, "\r%s   ", texte_(fait, total, t - depart_).c_str());
        std::fflush(erreurs_);
        ecrite_ = true;
    };
}

void LigneProgression::Terminer()
{
    if (ecrite_)
        std::fputc('\n', erreurs_);
    ecrite_ = false;
}
