// Temporary folders and whole-file reads and writes shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

using Octets = std::vector<unsigned char>;

// A fresh folder per test, removed with everything in it afterwards.
class DossierTemporaire
{
public:
    DossierTemporaire()
    {
        std::string modele = testing::TempDir();
        if (modele.empty() || modele.back() != '/')
            modele += '/';
        modele += "zr7film_XXXXXX";
        std::vector<char> tampon(modele.begin(), modele.end());
        tampon.push_back('\0');
        if (mkdtemp(tampon.data()))
            chemin_ = tampon.data();
    }
    ~DossierTemporaire()
    {
        std::error_code err;
        if (!chemin_.empty())
            std::filesystem::remove_all(chemin_, err);
    }
    DossierTemporaire(const DossierTemporaire&) = delete;
    DossierTemporaire& operator=(const DossierTemporaire&) = delete;

    bool Pret() const { return !chemin_.empty(); }
    std::string operator/(const std::string& nom) const { return chemin_ + "/" + nom; }
    const std::string& Chemin() const { return chemin_; }

private:
    std::string chemin_;
};

inline void EcrireOctets(const std::string& chemin, const Octets& octets)
{
    std::ofstream f(chemin, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(octets.data()), static_cast<std::streamsize>(octets.size()));
}

inline Octets LireOctets(const std::string& chemin)
{
    std::ifstream f(chemin, std::ios::binary);
    return Octets(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A folder inside `base`, created, whose path ends with '/' and has exactly
// `longueur` bytes (nested folders of at most 100 characters, within the
// system's limit on one name). Empty when `base` is already too long.
inline std::string DossierDeLongueur(const std::string& base, size_t longueur)
{
    std::string chemin = base;
    if (chemin.empty() || chemin.back() != '/')
        chemin += '/';
    if (chemin.size() + 2 > longueur)
        return std::string();
    while (chemin.size() < longueur) {
        // Each step adds a name and its '/'; never leave a single byte over.
        size_t reste = longueur - chemin.size();
        size_t nom = std::min<size_t>(reste - 1, 100);
        if (reste - (nom + 1) == 1)
            --nom;
        chemin += std::string(nom, 'd') + '/';
    }
    std::error_code err;
    std::filesystem::create_directories(chemin, err);
    return err ? std::string() : chemin;
}

