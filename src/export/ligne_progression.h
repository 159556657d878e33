// The progress line the commands write on a terminal: one line rewritten in
// place at most every 0.2 s, ended by a newline once the work is over.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

class LigneProgression {
public:
    // Text of the line for `fait` of `total` after `secondes`.
    using Texte = std::function<std::string(int64_t fait, int64_t total, double secondes)>;

    // Writes to `erreurs` only when it is a terminal.
    LigneProgression(std::FILE* erreurs, Texte texte);
    ~LigneProgression() { Terminer(); }
    LigneProgression(const LigneProgression&) = delete;
    LigneProgression& operator=(const LigneProgression&) = delete;

    // The callback for the work's progress; empty when not on a terminal.
    std::function<void(int64_t, int64_t)> Rappel();
    // Ends the line, if one was written, so that messages start on their own.
    void Terminer();

private:
    std::FILE* erreurs_;
    Texte texte_;
    bool terminal_;
    double depart_;
    double dernier_ = -1;
    bool ecrite_ = false;
};

// Seconds of the steady clock.
double MaintenantSecondes();
