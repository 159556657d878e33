// Measure window: rows of bold monospaced text laid over the lower part of
// the picture, each row rewritten when a measure notice for it arrives.
//
// Two instances: number 1 shows the text on a fully transparent background
// (only the letters over the picture), number 17 is the translucent backdrop
// behind it, whose opacity the main window sets; 17 never shows text. The
// main window assigns the numbers through the "Numero" property.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>

class QPlainTextEdit;
class QTimer;

// Form colour (red 0, green 23, blue 10) and the light grey of the letters.
constexpr unsigned CouleurFormeMesures = 661248;   // 0x0A1700, blue-green-red
constexpr unsigned CouleurTexteMesures = 14671839; // 0xDFDFDF
constexpr int LargeurMesures = 488, HauteurMesures = 281;
constexpr int IntervalleInitMesuresMs = 1500;      // TimerInit: once, after creation
constexpr int64_t IntervalleAvisDirectsMs = 20;    // live notices: at most one per 20 ms
constexpr int NumeroFenetreTexte = 1, NumeroFenetreFond = 17;

class TDMesures : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Numero READ Numero WRITE FixerNumero)
public:
    explicit TDMesures(QWidget* parent = nullptr);
    ~TDMesures() override;

    int Numero() const { return numero_; }
    void FixerNumero(int numero);

    // Keeps the window above `principale` (and moving with it in the window
    // stack) without staying above other programs.
    void FixerProprietaire(QWidget* principale);

    // Milliseconds clock of the live-notice limit (tests freeze it).
    void FixerHorloge(std::function<int64_t()> horloge) { horloge_ = std::move(horloge); }

    enum class Avis { Film, Direct };
    // Reads the notice file of `param2`, edits one row of Memo2 (film) or
    // Memo1 (live) and deletes the file. Window 1 only. A link, FIFO or
    // device under the notice name is deleted unread.
    void UpdateFromNotice(Avis genre, int64_t param2);
    // Memo1 is shown while it holds live rows; the first live rows show the
    // text window and its backdrop when they are hidden.
    void MontrerDirect();

    void TimerInitTimer();
    void FormActivate();

    QPlainTextEdit* Memo1;
    QPlainTextEdit* Memo2;
    QPlainTextEdit* MemoTmp;
    QTimer* TimerInit;

protected:
    bool eventFilter(QObject* objet, QEvent* evenement) override; // ApplicationEvents1Message
    void closeEvent(QCloseEvent* evenement) override;             // FormCloseQuery
    void changeEvent(QEvent* evenement) override;
    void showEvent(QShowEvent* evenement) override;
    void paintEvent(QPaintEvent* evenement) override;

private:
    void AppliquerAspect();
    static TDMesures* Fenetre(int numero);

    int numero_ = 0;
    std::function<int64_t()> horloge_;
    int64_t derniereMiseAJour_ = 0;
};
