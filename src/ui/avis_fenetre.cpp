#include "ui/avis_fenetre.h"

#include "core/avis.h"
#include "core/boitemessage.h"

#include <QTimer>
#include <QWidget>

#include <string>

TAvisFenetre::TAvisFenetre(QWidget* fenetre) : QObject(fenetre), fenetre_(fenetre)
{
    minuterie_ = new QTimer(this);
    minuterie_->setInterval(IntervalleAvisMs);
    connect(minuterie_, &QTimer::timeout, this, &TAvisFenetre::Montrer);
    minuterie_->start();
}

void TAvisFenetre::Montrer()
{
    if (enCours_ || !fenetre_->isVisible())
        return;
    enCours_ = true;
    std::string texte;
    while (PrendreAvis(texte))
        AfficherMessage(texte, std::string(), fenetre_);
    enCours_ = false;
}
