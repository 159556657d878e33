#include "ui/lecteurzr7_principale.h"

#include "core/etat.h"

#include <QLabel>
#include <QVBoxLayout>

TLecteurZR7_Principale::TLecteurZR7_Principale(QWidget* parent) : QWidget(parent)
{
    setWindowTitle("VelmoraZR7 : Lecteur autonome");
    auto* disposition = new QVBoxLayout(this);
    Image1 = new QLabel(this);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setText(CheminFilm[0] ? QString::fromUtf8(CheminFilm) : QString());
    disposition->addWidget(Image1);
    ImageAffichage = Image1;
    setWindowState(Qt::WindowMaximized);
}
