# shellcheck shell=bash disable=SC2154  # example, scratch: set by the caller
# Shared by the package and zip tests (sourced): converting the shipped
# example with one program and comparing with the build's own program.
# Needs: $example, the example TULO file; $scratch, the reference run's
# parent folder; fail, which reports and exits.

# convert DIR COMMAND...: runs COMMAND tulo005.tlf in the empty folder
# DIR/run on a copy of the example, and keeps its standard output, standard
# error and exit status beside it in DIR.
convert() {
  local dir=$1 status=0
  shift
  mkdir -p "$dir/run"
  cp "$example" "$dir/run/"
  (cd "$dir/run" && "$@" tulo005.tlf >"$dir/stdout" 2>"$dir/stderr") || status=$?
  echo "$status" >"$dir/status"
  rm "$dir/run/tulo005.tlf"
}

# same_as_reference DIR WHAT: the conversion in DIR must match the one in
# $scratch/reference: console output, status and every POS file.
same_as_reference() {
  local what
  for what in stdout stderr status; do
    cmp -s "$scratch/reference/$what" "$1/$what" ||
      fail "$2: $what differs from the build's program"
  done
  diff -r "$scratch/reference/run" "$1/run" >/dev/null ||
    fail "$2: the POS files differ from the build's program"
}
