#include "core/boitemessage.h"

#include "core/etat.h"

#include <QMessageBox>
#include <QString>
#include <mutex>

namespace {

ReponseMessage BoiteReelle(const DemandeMessage& d)
{
    QMessageBox boite(d.ouiNon ? QMessageBox::Question : QMessageBox::NoIcon,
                      QString::fromStdString(d.titre), QString::fromStdString(d.texte),
                      d.ouiNon ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, d.parent);
    const int r = boite.exec();
    if (!d.ouiNon)
        return ReponseMessage::Ok;
    return r == QMessageBox::Yes ? ReponseMessage::Oui : ReponseMessage::Non;
}

std::mutex GestionnaireMutex;
GestionnaireMessages Gestionnaire;

ReponseMessage Montrer(DemandeMessage d)
{
    if (d.titre.empty())
        d.titre = TitreMessages;
    GestionnaireMessages g;
    {
        std::lock_guard<std::mutex> verrou(GestionnaireMutex);
        g = Gestionnaire;
    }
    return g ? g(d) : BoiteReelle(d);
}

} // namespace

ReponseMessage AfficherMessage(const std::string& texte, const std::string& titre, QWidget* parent)
{
    return Montrer(DemandeMessage{texte, titre, false, parent});
}

ReponseMessage PoserQuestion(const std::string& texte, const std::string& titre, QWidget* parent)
{
    return Montrer(DemandeMessage{texte, titre, true, parent});
}

GestionnaireMessages RemplacerGestionnaireMessages(GestionnaireMessages g)
{
    std::lock_guard<std::mutex> verrou(GestionnaireMutex);
    GestionnaireMessages ancien = std::move(Gestionnaire);
    Gestionnaire = std::move(g);
    return ancien;
}
