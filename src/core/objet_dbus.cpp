#include "core/objet_dbus.h"

#include "core/etat.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>

namespace {

const char* const ServiceLecteur = "fr.lecteurzr7.Lecteur";
const char* const CheminLecteur = "/lecteurzr7/messages";

class ObjetLecteur : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "fr.lecteurzr7.Messages")
    Q_PROPERTY(QString DossierDonnees READ LireDossierDonnees)

public:
    QString LireDossierDonnees() const { return QString::fromLocal8Bit(::DossierDonnees); }
};

QPointer<ObjetLecteur> Objet;
bool ServiceObtenu = false;

} // namespace

bool PublierObjetLecteur()
{
    if (!QCoreApplication::instance())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!Objet) {
        Objet = new ObjetLecteur;
        if (!bus.registerObject(CheminLecteur, Objet, QDBusConnection::ExportAllProperties)) {
            delete Objet.data();
            return false;
        }
    }
    if (!ServiceObtenu)
        ServiceObtenu = bus.registerService(ServiceLecteur);
    return true;
}

void RetirerObjetLecteur()
{
    if (!Objet)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(CheminLecteur);
    if (ServiceObtenu)
        bus.unregisterService(ServiceLecteur);
    ServiceObtenu = false;
    delete Objet.data();
}

#include "objet_dbus.moc"
