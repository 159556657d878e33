// The player's object on the session bus, read by the programs that send
// live measure notices: it tells them the working folder where the notice
// files go (DossierDonnees), which may be a per-user folder.
//
//   service   fr.lecteurzr7.Lecteur (the first player of the session)
//   object    /lecteurzr7/messages (the path the registered messages use)
//   interface fr.lecteurzr7.Messages
//   property  DossierDonnees (string, read-only)
#pragma once

// Registers the object and asks for the service name; false without a
// session bus. Needs the application object.
bool PublierObjetLecteur();
// Removes them (before the application object ends).
void RetirerObjetLecteur();
