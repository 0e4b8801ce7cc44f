#!/bin/sh
# Converts TULO files on other machines that share no folder with this one,
# with GNU parallel over ssh: each input is copied into a fresh folder on a
# worker, converted there by tlf2pos-each, and its folder copied back into
# OUTDIR, where it replaces an earlier one of that name whole.
#
# usage: sh tlf2pos-parallel-copy.sh [--resume-failed] OUTDIR FILE...
#   HOSTS   the workers, one ssh login a line, as parallel's --sshloginfile
#           reads them (default: the file "hosts" here); each needs
#           tlf2pos, tlf2pos-each and rsync on PATH
#   JOBLOG  parallel's job log (default: tlf2pos-parallel.joblog here)
#   --resume-failed   after fixing the inputs that failed, give the same
#           command with this first: only those inputs, and those whose
#           folder did not come back, are converted again
#
# Silent on success. A failed input gives tlf2pos-each's line, naming the
# input without its folder; a folder that did not come back gives a line
# "INPUT: its folder did not come back from the worker". Status 0 when
# every input converted and came back, 1 when any did not, 2 for a usage
# error.
#
# The inputs are never changed or removed, whatever their paths: parallel
# is given each as FOLDER/./NAME, absolute, so it is copied as NAME into
# the job's own folder on the worker (--workdir ...), and --cleanup removes
# only that copy and that folder.
set -u

usage() {
  echo "usage: sh tlf2pos-parallel-copy.sh [--resume-failed] OUTDIR FILE..." >&2
  exit 2
}

resume=
if [ "${1-}" = --resume-failed ]; then
  resume=--resume-failed
  shift
fi
[ $# -ge 1 ] || usage
out=$1
shift
here=$PWD
hosts=${HOSTS:-hosts}
joblog=${JOBLOG:-tlf2pos-parallel.joblog}
case $hosts in /*) ;; *) hosts=$here/$hosts ;; esac
case $joblog in /*) ;; *) joblog=$here/$joblog ;; esac
if [ ! -r "$hosts" ]; then
  echo "tlf2pos-parallel-copy: cannot read the workers' list $hosts" >&2
  exit 2
fi
# ':' is this machine without ssh, which parallel copies nothing to.
if grep -Eq '^[[:space:]]*([0-9]+/)?:[[:space:]]*$' "$hosts"; then
  echo "tlf2pos-parallel-copy: $hosts names this machine as ':';" \
    "without a shared folder every worker must be reached by ssh" >&2
  exit 2
fi

# One folder per input name: two inputs a/x.tlf and b/x.tlf would come back
# into the same folder x, so they are refused before anything runs.
clash=$(for f do name=${f##*/}; printf '%s\n' "${name%.tlf}"; done | sort | uniq -d)
if [ -n "$clash" ]; then
  printf 'tlf2pos-parallel-copy: inputs of the same name, give them separate output folders: %s\n' \
    "$clash" >&2
  exit 2
fi

mkdir -p -- "$out" || exit 2
out=$(cd -- "$out" && pwd) || exit 2
# The folders come back into a scratch folder inside OUTDIR, and are moved
# into place only when whole.
back=$(mktemp -d "$out/.tlf2pos-back.XXXXXX") || exit 2
trap 'rm -rf -- "$back"' EXIT
trap 'exit 130' INT TERM HUP
mkdir "$back/old" || exit 2

for f do
  shift
  case $f in
    */*) folder=${f%/*} ;;
    *) folder=. ;;
  esac
  case $folder in /*) ;; *) folder=$here/$folder ;; esac
  set -- "$@" "$folder/./${f##*/}"
done

[ -n "$resume" ] || rm -f -- "$joblog"
# The job log's lines after these are this run's.
before=0
[ ! -f "$joblog" ] || before=$(wc -l <"$joblog")
cd "$back" || exit 2
parallel --sshloginfile "$hosts" --joblog "$joblog" ${resume:+"$resume"} \
  --workdir ... --transferfile '{}' --return r --cleanup \
  'mkdir -p r && tlf2pos-each -o r --' '{/}' ::: "$@"
status=$?
[ $status = 0 ] || status=1

# parallel counts a job as done when its conversion succeeded, even when
# its folder did not come back or could not be moved into place; such a job
# is reported here, and marked failed in the job log, so that
# --resume-failed runs it again.
seq=0
redo=
for f do
  seq=$((seq + 1))
  name=${f##*/}
  name=${name%.tlf}
  if [ -d "r/$name" ]; then
    if [ -d "$out/$name" ]; then
      mv -- "$out/$name" "old/$name" || { redo="$redo $seq"; continue; }
    elif [ -e "$out/$name" ] || [ -L "$out/$name" ]; then
      echo "${f##*/}: $out/$name exists and is not a folder" >&2
      redo="$redo $seq"
      continue
    fi
    if mv -- "r/$name" "$out/$name"; then
      rm -rf -- "old/$name"
    else
      redo="$redo $seq"
      [ ! -d "old/$name" ] || mv -- "old/$name" "$out/$name"
    fi
  elif [ "$(awk -F '\t' -v seq=$seq -v skip="$before" \
      'NR > skip && NR > 1 && $1 == seq { v = $7 } END { print v }' "$joblog")" = 0 ]; then
    echo "${f##*/}: its folder did not come back from the worker" >&2
    redo="$redo $seq"
  fi
done
if [ -n "$redo" ]; then
  status=1
  awk -F '\t' -v OFS='\t' -v redo="$redo " \
    'NR > 1 && index(redo, " " $1 " ") { $7 = 1 } { print }' "$joblog" >"$joblog.new" &&
    mv -- "$joblog.new" "$joblog"
fi
exit $status
