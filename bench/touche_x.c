/* Key presses for the on-screen benchmark, stamped when the X server has
 * taken them.
 *
 * Each press is sent with the XTEST extension; the CLOCK_REALTIME stamp is
 * taken as soon as XFlush has written it to the server's socket, the
 * moment a keyboard's press would reach the server (taken after XSync, it
 * came up to a millisecond after the window already had the key, under
 * load). XSync then waits until the server has processed it. Starting a
 * process per key and xdotool's own delays are not part of it.
 *
 * Usage:
 *   touche_x KEY...            one press and release per key, 60 ms apart;
 *                              prints one stamp per key
 *   touche_x -t HZ SECONDS KEY holds KEY down for SECONDS with the
 *                              server's key repeat set to HZ a second after
 *                              a 250 ms delay (the repeat is put back as it
 *                              was afterwards); prints the stamps of the
 *                              press and of the release
 * KEY is a keysym name (period, comma, Up, Down...). Stamps are printed as
 * seconds.nanoseconds, one per line. Exit status 1 when the display or the
 * XTEST extension is missing, 2 for a bad argument.
 */
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* Delay before the server's key repeat starts, in held-key mode. */
enum { DelaiRepetitionMs = 250 };

static void Dormir(double secondes)
{
    struct timespec t;
    t.tv_sec = (time_t)secondes;
    t.tv_nsec = (long)((secondes - (double)t.tv_sec) * 1e9);
    while (nanosleep(&t, &t) != 0) {
    }
}

/* Sends one key event, stamps it once it is written to the server, and
 * waits until the server has processed it. */
static void Envoyer(Display* d, KeyCode code, int appui, int imprimer)
{
    struct timespec t;
    XTestFakeKeyEvent(d, code, appui ? True : False, CurrentTime);
    XFlush(d);
    clock_gettime(CLOCK_REALTIME, &t);
    XSync(d, False);
    if (imprimer) {
        printf("%lld.%09ld\n", (long long)t.tv_sec, t.tv_nsec);
        fflush(stdout);
    }
}

static KeyCode Code(Display* d, const char* nom)
{
    const KeySym s = XStringToKeysym(nom);
    if (s == NoSymbol)
        return 0;
    return XKeysymToKeycode(d, s);
}

int main(int argc, char** argv)
{
    double frequence = 0, duree = 0;
    int premier = 1;
    if (argc > 1 && strcmp(argv[1], "-t") == 0) {
        if (argc != 5)
            return 2;
        frequence = atof(argv[2]);
        duree = atof(argv[3]);
        if (!(frequence > 0) || !(duree > 0))
            return 2;
        premier = 4;
    }
    if (premier >= argc)
        return 2;
    Display* d = XOpenDisplay(NULL);
    if (d == NULL) {
        fprintf(stderr, "touche_x : pas d'affichage\n");
        return 1;
    }
    int evenement, erreur, majeure, mineure;
    if (!XTestQueryExtension(d, &evenement, &erreur, &majeure, &mineure)) {
        fprintf(stderr, "touche_x : extension XTEST absente\n");
        return 1;
    }
    for (int i = premier; i < argc; ++i)
        if (Code(d, argv[i]) == 0) {
            fprintf(stderr, "touche_x : touche inconnue %s\n", argv[i]);
            return 2;
        }
    if (frequence > 0) {
        /* Presses sent again on a key that is down are not repeats for the
         * server: the repeat is its own, at the rate set here. */
        const KeyCode code = Code(d, argv[premier]);
        unsigned int delai = 0, intervalle = 0;
        if (!XkbGetAutoRepeatRate(d, XkbUseCoreKbd, &delai, &intervalle)) {
            fprintf(stderr, "touche_x : répétition des touches illisible\n");
            return 1;
        }
        XkbSetAutoRepeatRate(d, XkbUseCoreKbd, DelaiRepetitionMs, (unsigned int)(1000.0 / frequence + 0.5));
        XSync(d, False);
        Envoyer(d, code, 1, 1);
        Dormir(duree);
        Envoyer(d, code, 0, 1);
        XkbSetAutoRepeatRate(d, XkbUseCoreKbd, delai, intervalle);
        XSync(d, False);
    } else {
        for (int i = premier; i < argc; ++i) {
            const KeyCode code = Code(d, argv[i]);
            Envoyer(d, code, 1, 1);
            Dormir(0.02);
            Envoyer(d, code, 0, 0);
            if (i + 1 < argc)
                Dormir(0.06);
        }
    }
    XCloseDisplay(d);
    return 0;
}
