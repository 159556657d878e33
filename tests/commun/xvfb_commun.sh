# Shared by the end-to-end tests that run the player under Xvfb (sourced).

# Sets $dossier to a temporary folder removed at exit, where the player
# keeps its per-user window and options (so none are remembered here).
preparer_dossier() {
  dossier=$(mktemp -d)
  export XDG_CONFIG_HOME="$dossier"
  trap 'rm -rf "$dossier"' EXIT
}

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

# Closes $fenetre with the closer program $1 (as a window manager's close
# button does) and waits up to $2 x 50 ms for process $pid to end. Sets
# $statut to its exit status; returns 1 (after killing it) if it is still
# alive then.
fermer_et_attendre() {
  "$1" "$fenetre"
  for _ in $(seq "$2"); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -9 "$pid"
    return 1
  fi
  wait "$pid"
  statut=$?
}
