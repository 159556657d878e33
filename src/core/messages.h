// Registered messages shared with the recorder programs of the desktop.
//
// Each name gets an identifier in registration order (the same name always
// gives the same identifier). A broadcast reaches every top-level window of
// this process through its event queue, where an application-wide event
// filter sees it, and the other programs of the session as a D-Bus signal
// when a session bus exists. A message may arrive twice.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>

constexpr int NbMessagesEnregistres = 36;

// Index of each name in the registration table.
enum IndexMessage {
    MSG_WATCHDOG_VISU, MSG_ARRET_URGENT, MSG_MAG_MESURES, MSG_NEW_MESURES,
    MSG_NEW_CLAVIER, MSG_MAG_CLAVIER, MSG_FIN_DE_CAISSES, MSG_NEW_CAISSES,
    MSG_FIN_DE_FILM, MSG_LANCE_LECTEUR, MSG_LANCE_VISUALISATEUR, MSG_NEW_BMP,
    MSG_FIN_DE_ENREG, MSG_NEW_INDICE_PTZ, MSG_FIN_DE_VIGNETTE, MSG_NEW_VIGNETTE,
    MSG_LACHE_VIGNETTE, MSG_FIN_DE_VISU, MSG_MOVE_ZOOM, MSG_INFO_ENREG,
    MSG_INFO_ALARME, MSG_REDEMARRE_VISU, MSG_INFO_NB_VOIES, MSG_DISPATCH_ZOOM_NUM,
    MSG_DISPATCH_AL, MSG_DISPATCH_FIN, MSG_MY_HWND, MSG_FERME_PTZ, MSG_RELOAD,
    MSG_DISPLAY, MSG_MAG_CAISSES, MSG_INFO_EVAL, MSG_NEW_OMC, MSG_MAG_OMC,
    MSG_ARRET_DEMANDE, MSG_DEMANDE_CG
};

extern const char* const NomsMessages[NbMessagesEnregistres];
// Identifiers, zero until registered.
extern uint32_t IdMessages[NbMessagesEnregistres];

// Registers one name: its identifier (stable for the process), 0 for an
// empty name.
uint32_t EnregistrerMessage(const char* nom);
// Name of a registered identifier, nullptr if unknown.
const char* NomDuMessage(uint32_t id);
// Registers the 36 names in table order.
void EnregistrerMessages();
// Identifier of one of the 36 names of the table, 0 for any other name:
// names coming from other programs never grow the registry.
uint32_t IdMessageConnu(const char* nom);

// The event that carries a registered message to a window.
class EvenementMessage : public QEvent
{
public:
    EvenementMessage(uint32_t id, int64_t param1, int64_t param2);
    static QEvent::Type TypeEvenement();
    uint32_t Id;
    int64_t Param1;
    int64_t Param2;
};

// Posts the message to every top-level window of the process and, when a
// session bus exists, to the other programs. Callable from any thread.
void DiffuserMessage(uint32_t id, int64_t param1, int64_t param2);

// Starts listening to the messages of other programs on the session bus
// (requires the application object). Returns true when connected to a bus;
// false means local delivery only.
bool DemarrerRelaisMessages();
// Stops listening (before the application object ends).
void ArreterRelaisMessages();
