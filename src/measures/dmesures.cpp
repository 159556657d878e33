#include "measures/dmesures.h"

#include "core/etat.h"
#include "core/messages.h"
#include "measures/mesures_calcul.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QVBoxLayout>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int HauteurPoliceMesuresPx = 13;

// The windows alive, so that 1 and 17 find each other (UI thread only).
std::vector<TDMesures*>& Instances()
{
    static std::vector<TDMesures*> instances;
    return instances;
}

// Colours are given as the recorders store them: 0x00BBGGRR.
QColor CouleurBgr(unsigned bgr)
{
    return QColor(int(bgr & 0xFF), int(bgr >> 8 & 0xFF), int(bgr >> 16 & 0xFF));
}

int64_t MsDepuisDemarrage()
{
    static QElapsedTimer horloge = [] {
        QElapsedTimer h;
        h.start();
        return h;
    }();
    return horloge.elapsed();
}

QPlainTextEdit* CreerMemo(QWidget* parent, const char* nom, bool barres)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromLatin1(nom));
    memo->setReadOnly(true);
    memo->setFrameShape(QFrame::NoFrame);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setFocusPolicy(Qt::NoFocus);
    // Courier New where installed, else a face with the same metrics.
    QFont police;
    police.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                        QStringLiteral("DejaVu Sans Mono")});
    police.setStyleHint(QFont::TypeWriter);
    police.setFixedPitch(true);
    police.setBold(true);
    police.setPixelSize(HauteurPoliceMesuresPx);
    memo->setFont(police);
    const Qt::ScrollBarPolicy politique = barres ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    memo->setHorizontalScrollBarPolicy(politique);
    memo->setVerticalScrollBarPolicy(politique);
    return memo;
}

} // namespace

TDMesures::TDMesures(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), horloge_(MsDepuisDemarrage)
{
    setWindowTitle(QStringLiteral("Mesures"));
    // Both windows get an alpha channel before they are first shown: window
    // 1 draws nothing behind its letters, window 17 paints its own panel.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(LargeurMesures, HauteurMesures);

    // FormCreate: "Brenik.ini" in the program folder removes the scroll bars.
    char brenik[LongueurDossier + 16];
    std::snprintf(brenik, sizeof brenik, "%.200sBrenik.ini", DossierProgramme);
    struct stat st;
    const bool barres = stat(brenik, &st) != 0;

    Memo1 = CreerMemo(this, "Memo1", barres);
    Memo2 = CreerMemo(this, "Memo2", barres);
    MemoTmp = CreerMemo(this, "MemoTmp", false);
    // Live rows above the film's rows, each memo in its own band: the main
    // window shows and hides Memo2 with the film's measures, while Memo1
    // shows itself as long as it holds live rows.
    Memo1->hide();
    Memo2->hide();
    MemoTmp->hide();
    auto* colonne = new QVBoxLayout(this);
    colonne->setContentsMargins(0, 0, 0, 0);
    colonne->setSpacing(0);
    colonne->addWidget(Memo1);
    colonne->addWidget(Memo2);
    AppliquerAspect();

    TimerInit = new QTimer(this);
    TimerInit->setSingleShot(true);
    TimerInit->setInterval(IntervalleInitMesuresMs);
    connect(TimerInit, &QTimer::timeout, this, &TDMesures::TimerInitTimer);
    TimerInit->start();

    derniereMiseAJour_ = horloge_();
    Instances().push_back(this);
    if (qApp)
        qApp->installEventFilter(this);
}

TDMesures::~TDMesures()
{
    auto& v = Instances();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

TDMesures* TDMesures::Fenetre(int numero)
{
    for (TDMesures* m : Instances())
        if (m->numero_ == numero)
            return m;
    return nullptr;
}

void TDMesures::FixerNumero(int numero)
{
    numero_ = numero;
    AppliquerAspect();
}

void TDMesures::FixerProprietaire(QWidget* principale)
{
    setParent(principale, windowFlags());
}

// Window 1: letters only, over nothing. Every other window: the form colour,
// with the letters' light grey, so that the backdrop and the text read well
// together and the text stays readable where no compositor blends windows.
void TDMesures::AppliquerAspect()
{
    const bool texte = numero_ == NumeroFenetreTexte;
    for (QPlainTextEdit* memo : {Memo1, Memo2, MemoTmp}) {
        QPalette p = memo->palette();
        p.setColor(QPalette::Base, texte ? QColor(Qt::transparent) : CouleurBgr(CouleurFormeMesures));
        p.setColor(QPalette::Text, CouleurBgr(CouleurTexteMesures));
        memo->setPalette(p);
        memo->viewport()->setAutoFillBackground(!texte);
    }
    update();
}

void TDMesures::paintEvent(QPaintEvent*)
{
    if (numero_ == NumeroFenetreTexte)
        return;
    QPainter peintre(this);
    peintre.fillRect(rect(), CouleurBgr(CouleurFormeMesures));
}

void TDMesures::TimerInitTimer()
{
    TimerInit->stop();
    if (numero_ != NumeroFenetreTexte && numero_ != NumeroFenetreFond) {
        close();
        return;
    }
    // Window 17's opacity comes from the main window.
    if (numero_ == NumeroFenetreTexte) {
        AppliquerAspect();
        if (isVisible())
            raise();
    }
}

void TDMesures::FormActivate()
{
    if (numero_ != NumeroFenetreFond || !isVisible())
        return;
    if (TDMesures* texte = Fenetre(NumeroFenetreTexte))
        if (texte->isVisible())
            texte->raise();
}

void TDMesures::changeEvent(QEvent* evenement)
{
    if (evenement->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QWidget::changeEvent(evenement);
}

void TDMesures::showEvent(QShowEvent* evenement)
{
    QWidget::showEvent(evenement);
    // The text always lies above its backdrop, whichever is shown last; the
    // raise waits until the window system has mapped this window.
    QPointer<TDMesures> moi(this);
    QTimer::singleShot(0, this, [moi] {
        if (!moi)
            return;
        if (moi->numero_ == NumeroFenetreTexte)
            moi->raise();
        else
            moi->FormActivate();
    });
}

void TDMesures::closeEvent(QCloseEvent* evenement)
{
    // FormCloseQuery: never closed, only hidden; the text takes its backdrop along.
    evenement->ignore();
    hide();
    if (numero_ == NumeroFenetreTexte)
        if (TDMesures* fond = Fenetre(NumeroFenetreFond))
            fond->hide();
}

bool TDMesures::eventFilter(QObject* objet, QEvent* evenement)
{
    // ApplicationEvents1Message: a registered message delivered to one of
    // the application's windows. Left to go on to the others: the notice
    // file makes a second delivery harmless.
    if (evenement->type() != EvenementMessage::TypeEvenement() || !objet->isWidgetType() ||
        !static_cast<QWidget*>(objet)->isWindow())
        return false;
    const auto* m = static_cast<const EvenementMessage*>(evenement);
    if (m->Id == 0)
        return false;
    if (m->Id == IdMessages[MSG_NEW_MESURES]) {
        const int64_t maintenant = horloge_();
        const int64_t ecart = maintenant - derniereMiseAJour_;
        if (ecart >= 0 && ecart < IntervalleAvisDirectsMs)
            return false;
        derniereMiseAJour_ = maintenant;
        UpdateFromNotice(Avis::Direct, m->Param2);
    } else if (m->Id == IdMessages[MSG_MAG_MESURES]) {
        UpdateFromNotice(Avis::Film, m->Param2);
    }
    return false;
}

void TDMesures::UpdateFromNotice(Avis genre, int64_t param2)
{
    if (numero_ != NumeroFenetreTexte || DossierDonnees[0] == '\0')
        return;
    std::string chemin;
    if (genre == Avis::Film) {
        // Film notices are numbered 0..9999; any other number names no notice.
        if (param2 < 0 || param2 > NumeroAvisMax)
            return;
        chemin = CheminAvisFilm(DossierDonnees, numero_ - 1, param2);
    } else {
        chemin = CheminAvisDirect(DossierDonnees, 0);
    }
    QByteArray contenu;
    const LectureAvis lecture = LireFichierAvis(chemin, contenu);
    if (lecture == LectureAvis::Absent)
        return;
    if (lecture == LectureAvis::PasOrdinaire) {
        // A link, FIFO or device planted under a notice name is never read,
        // and removed so that the next notice can take the name again
        // (unlink takes the link itself, never what it points to).
        unlink(chemin.c_str());
        return;
    }
    if (lecture == LectureAvis::Lu) {
        const AvisMesure avis = LireAvisMesure(contenu);
        QPlainTextEdit* cible = genre == Avis::Film ? Memo2 : Memo1;
        if (avis.trouve) {
            try {
                if (avis.index < 0) {
                    cible->clear();
                } else {
                    MemoTmp->setPlainText(cible->toPlainText().left(LimiteAffichage));
                    const QString avant = MemoTmp->toPlainText();
                    const QString apres = EditerAffichage(avant, avis.index, avis.texte);
                    if (apres != avant) {
                        MemoTmp->setPlainText(apres);
                        cible->setPlainText(apres);
                    }
                }
            } catch (...) {
                // An edit that fails leaves the display as it was; the file still goes.
            }
            if (genre == Avis::Direct)
                MontrerDirect();
        }
    }
    unlink(chemin.c_str());
}

void TDMesures::MontrerDirect()
{
    const bool lignes = !Memo1->toPlainText().isEmpty();
    Memo1->setVisible(lignes);
    if (!lignes || isVisible())
        return;
    // Live rows come whether or not a film is open: the text window and its
    // backdrop show up over the picture area where the main window put them.
    if (TDMesures* fond = Fenetre(NumeroFenetreFond))
        fond->show();
    show();
}
