#include "ui/apercu.h"

#include "core/etat.h"
#include "engine/motdepasse.h"
#include "engine/th_indexeur.h"

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>

#include <algorithm>
#include <cstring>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Nice value of the thread: previews give way to the reader and the sound.
constexpr int GentillesseApercus = 19;
// Margin around the picture and its time in the preview window.
constexpr int MargeBulle = 3;

// The value of the slider under x, as the style lays the groove out.
int ValeurSousPointeur(const QSlider* s, int x)
{
    QStyleOptionSlider opt;
    opt.initFrom(s);
    opt.orientation = s->orientation();
    opt.minimum = s->minimum();
    opt.maximum = s->maximum();
    opt.sliderPosition = s->sliderPosition();
    opt.sliderValue = s->value();
    opt.tickPosition = s->tickPosition();
    opt.tickInterval = s->tickInterval();
    opt.singleStep = s->singleStep();
    opt.pageStep = s->pageStep();
    opt.upsideDown = s->invertedAppearance() != (opt.direction == Qt::RightToLeft);
    const QRect rainure = s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, s);
    const QRect poignee = s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s);
    const int debut = rainure.x() + poignee.width() / 2;
    const int etendue = std::max(1, rainure.width() - poignee.width());
    return QStyle::sliderValueFromPosition(s->minimum(), s->maximum(), std::clamp(x - debut, 0, etendue), etendue,
                                           opt.upsideDown);
}

QImage ImageQt(const ImageApercu& a)
{
    QImage i(a.largeur, a.hauteur, QImage::Format_RGB32);
    for (int y = 0; y < a.hauteur; ++y)
        std::memcpy(i.scanLine(y), a.pixels.data() + size_t(y) * size_t(a.largeur), size_t(a.largeur) * 4);
    return i;
}

} // namespace

// ------------------------------------------------------------------ thread

Th_Apercus::Th_Apercus()
{
    start(QThread::LowestPriority);
}

Th_Apercus::~Th_Apercus()
{
    {
        std::lock_guard<std::mutex> garde(verrou_);
        arret_ = true;
    }
    reveil_.notify_all();
    wait();
}

void Th_Apercus::Demander(uint64_t numero, const std::string& chemin, double seconde, const std::string& motDePasse)
{
    {
        std::lock_guard<std::mutex> garde(verrou_);
        numero_ = numero;
        chemin_ = chemin;
        seconde_ = seconde;
        motDePasse_ = motDePasse;
        enAttente_ = true;
    }
    reveil_.notify_all();
}

int Th_Apercus::NbDecodes() const
{
    std::lock_guard<std::mutex> garde(verrou_);
    return decodes_;
}

size_t Th_Apercus::OctetsCache() const
{
    std::lock_guard<std::mutex> garde(verrou_);
    return octetsCache_;
}

void Th_Apercus::run()
{
    // QThread's priorities do not lower a normal thread's share on Linux.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), GentillesseApercus);
    for (;;) {
        uint64_t numero = 0;
        std::string chemin, motDePasse;
        double seconde = 0;
        {
            std::unique_lock<std::mutex> garde(verrou_);
            reveil_.wait(garde, [this] { return arret_ || enAttente_; });
            if (arret_)
                return;
            enAttente_ = false;
            numero = numero_;
            chemin = chemin_;
            seconde = seconde_;
            motDePasse = motDePasse_;
        }
        QImage rendu;
        // A protected film shows nothing until its password is accepted.
        const int acces = VerifierMotDePasse(chemin.c_str(), motDePasse.c_str());
        if (acces >= 0 && FlagArretGeneral == 0) {
            const std::shared_ptr<const IndexImages> index = IndexFilm(chemin.c_str());
            int type = -1;
            const PlanApercu plan = PlanPourSeconde(chemin, seconde, index.get(), acces == 1, type);
            if (plan.Valide()) {
                const std::string cle = CacheApercus::Cle(chemin, plan.octet);
                if (const ImageApercu* deja = cache_.Trouver(cle)) {
                    rendu = ImageQt(*deja);
                } else {
                    ImageApercu image;
                    if (DecoderApercu(chemin, type, plan, acces == 1, LargeurApercu, HauteurApercu, image) == 0) {
                        rendu = ImageQt(image);
                        cache_.Ajouter(cle, std::move(image));
                        std::lock_guard<std::mutex> garde(verrou_);
                        ++decodes_;
                        octetsCache_ = cache_.Octets();
                    }
                }
            }
        }
        emit Rendu(numero, rendu);
    }
}

// ------------------------------------------------------------------ window

Apercu::Apercu(QWidget* fenetre, QSlider* curseur, LienApercu lien)
    : QObject(fenetre), curseur_(curseur), lien_(std::move(lien))
{
    fil_ = new Th_Apercus;
    connect(fil_, &Th_Apercus::Rendu, this, &Apercu::Recu, Qt::QueuedConnection);
    bulle_ = new QLabel(fenetre, Qt::ToolTip | Qt::FramelessWindowHint);
    bulle_->setAttribute(Qt::WA_TransparentForMouseEvents);
    bulle_->hide();
    repos_ = new QTimer(this);
    repos_->setSingleShot(true);
    repos_->setInterval(AttenteApercuMs);
    connect(repos_, &QTimer::timeout, this, &Apercu::Envoyer);
    if (curseur_) {
        curseur_->setMouseTracking(true);
        curseur_->installEventFilter(this);
    }
}

Apercu::~Apercu()
{
    delete fil_; // stops and waits; its queued results die with this object
}

void Apercu::Montrer(const std::string& chemin, double seconde, const QPoint& ou, const QString& texte)
{
    ou_ = ou;
    if (chemin == chemin_ && seconde == seconde_ && (bulle_->isVisible() || repos_->isActive())) {
        Placer();
        return;
    }
    chemin_ = chemin;
    seconde_ = seconde;
    texte_ = texte;
    Placer();
    repos_->start();
}

void Apercu::Cacher()
{
    repos_->stop();
    ++numero_; // a result still on its way is no longer wanted
    chemin_.clear();
    bulle_->hide();
}

void Apercu::Envoyer()
{
    if (chemin_.empty())
        return;
    ++numero_;
    fil_->Demander(numero_, chemin_, seconde_, lien_.motDePasse ? lien_.motDePasse() : std::string());
}

void Apercu::Recu(quint64 numero, const QImage& image)
{
    if (numero != numero_ || chemin_.empty())
        return;
    // The picture with its time under it; only the time when there is no
    // picture (film being indexed, protected, unreadable).
    const QFontMetrics fm(bulle_->font());
    const int hauteurTexte = fm.height();
    const int largeur = std::max(image.width(), fm.horizontalAdvance(texte_)) + 2 * MargeBulle;
    const int hauteur = image.height() + hauteurTexte + 2 * MargeBulle + (image.isNull() ? 0 : MargeBulle);
    QPixmap p(largeur, hauteur);
    p.fill(Qt::black);
    {
        QPainter peintre(&p);
        if (!image.isNull())
            peintre.drawImage((largeur - image.width()) / 2, MargeBulle, image);
        peintre.setPen(Qt::white);
        peintre.drawText(QRect(0, hauteur - hauteurTexte - MargeBulle, largeur, hauteurTexte), Qt::AlignCenter,
                         texte_);
    }
    bulle_->setPixmap(p);
    bulle_->resize(p.size());
    Placer();
    bulle_->show();
}

void Apercu::Placer()
{
    QPoint coin(ou_.x() - bulle_->width() / 2, ou_.y() - EcartApercuPointeur - bulle_->height());
    if (const QScreen* ecran = QGuiApplication::screenAt(ou_)) {
        const QRect r = ecran->availableGeometry();
        coin.setX(std::clamp(coin.x(), r.left(), std::max(r.left(), r.right() - bulle_->width())));
        coin.setY(std::max(coin.y(), r.top()));
    }
    bulle_->move(coin);
}

bool Apercu::eventFilter(QObject* objet, QEvent* evenement)
{
    if (objet != curseur_)
        return false;
    // A press or a release seeks: the picture itself then shows that time,
    // and the preview would hide it; the next move brings it back.
    if (evenement->type() == QEvent::Leave || evenement->type() == QEvent::Hide
        || evenement->type() == QEvent::MouseButtonPress || evenement->type() == QEvent::MouseButtonRelease) {
        Cacher();
    } else if (evenement->type() == QEvent::MouseMove) {
        const std::string chemin = lien_.cheminFilm ? lien_.cheminFilm() : std::string();
        if (!curseur_->isEnabled() || chemin.empty() || curseur_->maximum() <= 0) {
            Cacher();
            return false;
        }
        const auto* souris = static_cast<QMouseEvent*>(evenement);
        const int x = int(souris->position().x());
        const int s = ValeurSousPointeur(curseur_, x);
        const QPoint ou = curseur_->mapToGlobal(QPoint(x, 0));
        Montrer(chemin, s, ou, lien_.texteSeconde ? lien_.texteSeconde(s) : QString::number(s));
    }
    return false;
}
