#include "ui/travail_progression.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <climits>

namespace {

// Progress updates sent by the worker at most this often.
constexpr qint64 IntervalleProgressionMs = 100;

class Travail : public QThread
{
    Q_OBJECT
public:
    explicit Travail(const TacheProgression& t) : tache(t) {}
    const TacheProgression& tache;
    std::atomic<bool> annuler{false};

signals:
    void Progression(qint64 fait, qint64 total);

protected:
    void run() override
    {
        QElapsedTimer depuis;
        depuis.start();
        qint64 dernier = -IntervalleProgressionMs;
        tache.travail([this] { return annuler.load() || isInterruptionRequested(); },
                      [&](int64_t fait, int64_t total) {
                          if (depuis.elapsed() - dernier < IntervalleProgressionMs && fait < total)
                              return;
                          dernier = depuis.elapsed();
                          emit Progression(fait, total);
                      });
    }
};

class TouchesSansEffet : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* objet, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease
            || event->type() == QEvent::ShortcutOverride) {
            switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Space:
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Select:
                return true;
            default:
                break;
            }
        }
        return QObject::eventFilter(objet, event);
    }
};

int Borne(qint64 v)
{
    return int(std::clamp<qint64>(v, 0, INT_MAX));
}

} // namespace

void ExecuterAvecProgression(QWidget* parent, const TacheProgression& tache)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Travail travail(tache);
    QProgressDialog dialogue(QString::fromStdString(tache.texte(0, tache.total, 0)), QStringLiteral("Annuler"), 0,
                             std::max(1, Borne(tache.total)), parent);
    dialogue.setWindowTitle(tache.titre);
    dialogue.setWindowModality(Qt::WindowModal);
    dialogue.setAutoClose(false);
    dialogue.setAutoReset(false);
    dialogue.setMinimumDuration(0);
    auto* boutonAnnuler = new QPushButton(QStringLiteral("Annuler"), &dialogue);
    boutonAnnuler->setFocusPolicy(Qt::NoFocus);
    boutonAnnuler->setAutoDefault(false);
    dialogue.setCancelButton(boutonAnnuler);
    TouchesSansEffet touches;
    dialogue.installEventFilter(&touches);
    boutonAnnuler->installEventFilter(&touches);
    dialogue.setValue(0);
    QElapsedTimer depuis;
    depuis.start();
    QObject::connect(&dialogue, &QProgressDialog::canceled, &dialogue, [&travail] { travail.annuler = true; });
    QObject::connect(&travail, &Travail::Progression, &dialogue, [&](qint64 fait, qint64 total) {
        if (dialogue.wasCanceled())
            return;
        // The real count may differ from the one expected (a segment, a
        // film still growing).
        dialogue.setMaximum(std::max({1, Borne(total), Borne(fait)}));
        dialogue.setValue(Borne(fait));
        dialogue.setLabelText(QString::fromStdString(tache.texte(fait, total, depuis.elapsed() / 1000.0)));
        if (tache.surProgression)
            tache.surProgression(&dialogue);
        if (dialogue.wasCanceled())
            travail.annuler = true;
    });
    QEventLoop boucle;
    QObject::connect(&travail, &QThread::finished, &boucle, &QEventLoop::quit);
    travail.start();
    boucle.exec();
    travail.wait();
    dialogue.hide();
    QApplication::restoreOverrideCursor();
}

#include "travail_progression.moc"
