// Temporary folders and whole-file reads and writes shared by the tests.
#pragma once

#include <gtest/gtest.h>

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
