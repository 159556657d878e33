#include "core/messages.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

const char* const NomsMessages[NbMessagesEnregistres] = {
    "VelmoraZr7WM_WATCHDOG_VISU", "VelmoraZr7WM_ARRET_URGENT", "VelmoraZr7WM_MAG_MESURES",
    "VelmoraZr7WM_NEW_MESURES", "VelmoraZr7WM_NEW_CLAVIER", "VelmoraZr7WM_MAG_CLAVIER",
    "VelmoraZr7WM_FIN_DE_CAISSES", "VelmoraZr7WM_NEW_CAISSES", "VelmoraZr7WM_FIN_DE_FILM",
    "VelmoraZr7WM_LANCE_LECTEUR", "VelmoraZr7WM_LANCE_VISUALISATEUR", "VelmoraZr7WM_NEW_BMP",
    "VelmoraZr7WM_FIN_DE_ENREG", "VelmoraZr7WM_NEW_INDICE_PTZ", "VelmoraZr7WM_FIN_DE_VIGNETTE",
    "VelmoraZr7WM_NEW_VIGNETTE", "VelmoraZr7WM_LACHE_VIGNETTE", "VelmoraZr7WM_FIN_DE_VISU",
    "VelmoraZr7WM_MOVE_ZOOM", "VelmoraZr7WM_INFO_ENREG", "VelmoraZr7WM_INFO_ALARME",
    "VelmoraZr7WM_REDEMARRE_VISU", "VelmoraZr7WM_INFO_NB_VOIES", "VelmoraZr7WM_DISPATCH_ZOOM_NUM",
    "VelmoraZr7WM_DISPATCH_AL", "VelmoraZr7WM_DISPATCH_FIN", "VelmoraZr7WM_MY_HWND",
    "VelmoraZr7WM_FERME_PTZ", "VelmoraZr7WM_RELOAD", "VelmoraZr7WM_DISPLAY",
    "VelmoraZr7WM_MAG_CAISSES", "VelmoraZr7WM_INFO_EVAL", "VelmoraZr7WM_NEW_OMC",
    "VelmoraZr7WM_MAG_OMC", "VelmoraZr7WM_ARRET_DEMANDE", "VelmoraZr7WM_DEMANDE_CG",
};

uint32_t IdMessages[NbMessagesEnregistres];

namespace {

// Identifiers start where the recorders' window system starts its
// registered messages, so that values look the same in their logs.
constexpr uint32_t PremierIdMessage = 0xC000;

const char* const CheminDBus = "/lecteurzr7/messages";
const char* const InterfaceDBus = "fr.lecteurzr7.Messages";
const char* const SignalDBus = "Message";

std::mutex RegistreMutex;
std::map<std::string, uint32_t>& Registre()
{
    static std::map<std::string, uint32_t> r;
    return r;
}

// Lives in the UI thread: turns a broadcast request into one event per
// top-level window, and relays signals of other programs.
class RelaisMessages : public QObject
{
    Q_OBJECT
public:
    bool connecte = false;

    void Distribuer(uint32_t id, int64_t p1, int64_t p2)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            QCoreApplication::postEvent(w, new EvenementMessage(id, p1, p2));
    }

public slots:
    void SignalRecu(const QDBusMessage& m)
    {
        // Our own broadcast comes back from the bus: it was delivered locally already.
        if (m.service() == QDBusConnection::sessionBus().baseService())
            return;
        const QList<QVariant> args = m.arguments();
        if (args.size() != 3)
            return;
        const uint32_t id = IdMessageConnu(args[0].toString().toUtf8().constData());
        if (id != 0)
            Distribuer(id, args[1].toLongLong(), args[2].toLongLong());
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != EvenementMessage::TypeEvenement())
            return QObject::event(e);
        auto* m = static_cast<EvenementMessage*>(e);
        Distribuer(m->Id, m->Param1, m->Param2);
        if (connecte) {
            if (const char* nom = NomDuMessage(m->Id)) {
                QDBusMessage s = QDBusMessage::createSignal(CheminDBus, InterfaceDBus, SignalDBus);
                s << QString::fromUtf8(nom) << qlonglong(m->Param1) << qlonglong(m->Param2);
                QDBusConnection::sessionBus().send(s);
            }
        }
        return true;
    }
};

QPointer<RelaisMessages> Relais;

} // namespace

EvenementMessage::EvenementMessage(uint32_t id, int64_t param1, int64_t param2)
    : QEvent(TypeEvenement()), Id(id), Param1(param1), Param2(param2)
{
}

QEvent::Type EvenementMessage::TypeEvenement()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

uint32_t EnregistrerMessage(const char* nom)
{
    if (!nom || !*nom)
        return 0;
    std::lock_guard<std::mutex> verrou(RegistreMutex);
    auto& r = Registre();
    auto it = r.find(nom);
    if (it != r.end())
        return it->second;
    const uint32_t id = PremierIdMessage + static_cast<uint32_t>(r.size());
    r.emplace(nom, id);
    return id;
}

const char* NomDuMessage(uint32_t id)
{
    std::lock_guard<std::mutex> verrou(RegistreMutex);
    for (const auto& [nom, valeur] : Registre())
        if (valeur == id)
            return nom.c_str();
    return nullptr;
}

void EnregistrerMessages()
{
    for (int i = 0; i < NbMessagesEnregistres; ++i) {
        const uint32_t id = EnregistrerMessage(NomsMessages[i]);
        if (id != 0)
            IdMessages[i] = id;
    }
}

uint32_t IdMessageConnu(const char* nom)
{
    if (!nom)
        return 0;
    for (const char* connu : NomsMessages)
        if (std::strcmp(nom, connu) == 0)
            return EnregistrerMessage(nom);
    return 0;
}

bool DemarrerRelaisMessages()
{
    if (!QCoreApplication::instance())
        return false;
    if (!Relais) {
        Relais = new RelaisMessages;
        Relais->moveToThread(QCoreApplication::instance()->thread());
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && !Relais->connecte) {
        Relais->connecte = bus.connect(QString(), CheminDBus, InterfaceDBus, SignalDBus, Relais,
                                       SLOT(SignalRecu(QDBusMessage)));
    }
    return Relais->connecte;
}

void ArreterRelaisMessages()
{
    if (!Relais)
        return;
    if (Relais->connecte)
        QDBusConnection::sessionBus().disconnect(QString(), CheminDBus, InterfaceDBus, SignalDBus,
                                                 Relais, SLOT(SignalRecu(QDBusMessage)));
    delete Relais.data();
}

void DiffuserMessage(uint32_t id, int64_t param1, int64_t param2)
{
    if (!QCoreApplication::instance())
        return;
    if (!Relais)
        return; // no relay yet: start-up has not reached the application object
    QCoreApplication::postEvent(Relais.data(), new EvenementMessage(id, param1, param2));
}

#include "messages.moc"
