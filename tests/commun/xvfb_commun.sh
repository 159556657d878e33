# Shared by the end-to-end tests that run the player under Xvfb (sourced).

# Sets $fenetre to the player's visible main window, waiting up to 10 s;
# returns 1 when none appears.
attendre_fenetre() {
  fenetre=""
  for _ in $(seq 100); do
    fenetre=$(xdotool search --onlyvisible --name "VelmoraZR7 : Lecteur autonome" 2>/dev/null | head -n 1)
    [ -n "$fenetre" ] && return 0
    sleep 0.1
  done
  return 1
}
