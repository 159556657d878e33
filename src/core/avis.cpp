#include "core/avis.h"

#include <deque>
#include <mutex>
#include <set>

namespace {

std::mutex verrou;
std::deque<std::string> enAttente; // under verrou
std::set<std::string> dejaDits;    // under verrou

} // namespace

void PublierAvis(const std::string& texte)
{
    std::lock_guard<std::mutex> g(verrou);
    if (dejaDits.insert(texte).second)
        enAttente.push_back(texte);
}

bool PrendreAvis(std::string& texte)
{
    std::lock_guard<std::mutex> g(verrou);
    if (enAttente.empty())
        return false;
    texte = enAttente.front();
    enAttente.pop_front();
    return true;
}

void OublierAvis()
{
    std::lock_guard<std::mutex> g(verrou);
    enAttente.clear();
    dejaDits.clear();
}
