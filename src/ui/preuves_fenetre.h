// The evidence side of the window's exports: the option boxes of the save
// step ("Rapport d'intégrité", remembered; "Incruster la date" for an AVI),
// the snapshot's proposed name and JPEG comment, the AVI followers that hash
// the film as it is read and burn the date in, and the report written once
// an export has succeeded. The export handlers call it at those points.
#pragma once

#include "export/extraction.h"
#include "export/preuves.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TLecteurZR7_Principale;

// Captions of the option boxes.
extern const char* const LibelleRapportIntegrite; // "Rapport d'intégrité"
extern const char* const LibelleIncrusterDate;    // "Incruster la date"

class PreuvesFenetre : public QObject
{
    Q_OBJECT
public:
    explicit PreuvesFenetre(TLecteurZR7_Principale* fenetre);

    // Before the save dialog of an export: the film as it stands, the option
    // boxes and, for a snapshot, the proposed name of the picture shown.
    void PreparerDialogue(GenreExport genre);
    // After a file was chosen: the boxes' states (the report's is
    // remembered). The dialog is left without boxes or name.
    void LireChoix();
    bool RapportDemande() const { return rapport_; }
    bool IncrustationDemandee() const { return incruster_; }

    // AVI followers: hashing of the film as it is read, and the burn-in
    // when asked, chained after the followers already given.
    void CompleterSuiviAvi(std::function<void(const unsigned char*, size_t)>& observateur,
                           CrochetImageAvi& crochet);

    // After a successful export: the report, when asked, else the removal
    // of an earlier export's report of that name. False, with the message
    // shown, when it could not be written (the output is kept).
    bool ApresAvi(const std::string& cheminAvi, uint32_t cadenceMillieme, int64_t echantillons);
    bool ApresExtraction(const std::string& destination, const Extrait& extrait);
    bool ApresPhoto(const std::string& jpeg);

    // Adds the picture's date and the film's name to the snapshot's JPEG.
    void CommenterPhoto(std::vector<unsigned char>& jpeg) const;

private:
    bool Ecrire(InfosRapport infos);
    TLecteurZR7_Principale* w_;
    GenreExport genre_ = GenreExport::Avi;
    FilmSource film_;
    bool rapport_ = true, incruster_ = false;
    int64_t imagePhoto_ = 0;
    double secondesPhoto_ = 0;
    std::shared_ptr<HachageSource> hachage_;
};

// The window's evidence object, made on first use.
PreuvesFenetre* PreuvesDe(TLecteurZR7_Principale* fenetre);
