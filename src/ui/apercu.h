// Previews under the pointer: hovering the position slider (or asked by the
// day strip) shows a small picture of that moment above the pointer, with
// its time. The nearest key picture is decoded by a background thread of
// the lowest priority and kept in a cache bounded in bytes; the picture
// appears once the pointer has rested a moment, without a film index for
// films other than the current one (their key picture is then found near
// the proportional offset).
#pragma once

#include "engine/apercu_calcul.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <QThread>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class QLabel;
class QSlider;
class QTimer;

// Rest of the pointer before a preview is asked for.
constexpr int AttenteApercuMs = 40;
// Room between the pointer and the bottom of the preview.
constexpr int EcartApercuPointeur = 14;

// What the previews need of the window: the current film (empty path: no
// film), the typed password, and the text of a film second for the slider.
struct LienApercu {
    std::function<std::string()> cheminFilm;
    std::function<std::string()> motDePasse;
    std::function<QString(int seconde)> texteSeconde;
};

// The decoding thread: one request at a time, the latest replacing any not
// yet started; each result is handed to `rendu` on this thread (the
// receiver queues it to its own).
class Th_Apercus : public QThread
{
    Q_OBJECT
public:
    Th_Apercus();
    // Cancels what is waiting and waits for the thread.
    ~Th_Apercus() override;

    void Demander(uint64_t numero, const std::string& chemin, double seconde, const std::string& motDePasse);
    // Previews decoded since creation (tests).
    int NbDecodes() const;
    // Bytes held by the cache (tests).
    size_t OctetsCache() const;

signals:
    // `image` empty when there is no preview for the request.
    void Rendu(quint64 numero, const QImage& image);

protected:
    void run() override;

private:
    mutable std::mutex verrou_;
    std::condition_variable reveil_;
    bool arret_ = false, enAttente_ = false;
    uint64_t numero_ = 0;
    std::string chemin_, motDePasse_;
    double seconde_ = 0;
    int decodes_ = 0;
    size_t octetsCache_ = 0;
    CacheApercus cache_; // used by the thread only
};

class Apercu : public QObject
{
    Q_OBJECT
public:
    // Follows the pointer over `curseur` (the position slider).
    Apercu(QWidget* fenetre, QSlider* curseur, LienApercu lien);
    ~Apercu() override;

    // Shows the preview of second `seconde` of `chemin` above the global
    // point `ou` once the pointer rests, with `texte` under it.
    void Montrer(const std::string& chemin, double seconde, const QPoint& ou, const QString& texte);
    // Hides the preview and forgets the request.
    void Cacher();

    // The preview window (tests) and its thread.
    QLabel* Bulle() const { return bulle_; }
    Th_Apercus* Fil() const { return fil_; }

protected:
    bool eventFilter(QObject* objet, QEvent* evenement) override;

private:
    void Envoyer();
    void Recu(quint64 numero, const QImage& image);
    void Placer();

    QSlider* curseur_;
    LienApercu lien_;
    Th_Apercus* fil_;
    QLabel* bulle_;
    QTimer* repos_;
    uint64_t numero_ = 0;      // of the request shown or awaited
    std::string chemin_;
    double seconde_ = 0;
    QPoint ou_;
    QString texte_;
};
