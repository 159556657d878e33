// The one place where the player shows a modal message box (caption
// TitreMessages or a given caption, one OK button). Tests replace the
// handler so that nothing ever blocks on a modal window.
#pragma once

#include <functional>
#include <string>

class QWidget;

enum class ReponseMessage { Ok, Oui, Non };

struct DemandeMessage {
    std::string texte;
    std::string titre;
    bool ouiNon = false; // Yes/No question instead of a single OK button
    QWidget* parent = nullptr;
};

using GestionnaireMessages = std::function<ReponseMessage(const DemandeMessage&)>;

// Shows the message (caption TitreMessages when titre is empty).
ReponseMessage AfficherMessage(const std::string& texte, const std::string& titre = std::string(),
                               QWidget* parent = nullptr);
// Asks a Yes/No question.
ReponseMessage PoserQuestion(const std::string& texte, const std::string& titre = std::string(),
                             QWidget* parent = nullptr);

// Replaces the handler (nullptr restores the real message boxes); returns the old one.
GestionnaireMessages RemplacerGestionnaireMessages(GestionnaireMessages g);
