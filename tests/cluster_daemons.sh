# shellcheck shell=bash
# A two-node Slurm cluster and an sshd, both on loopback, for the cluster
# test and the engine figures (sourced by bash; not run on its own). Each
# daemon runs in the foreground with a configuration, keys, spool and logs
# in $scratch, and is stopped by its process id.
#
#   cluster_up     starts them, with $prefix/bin first on PATH for the
#                  caller and for every ssh session and Slurm job; sets
#                  HOME=$scratch/home, PARALLEL_SSH (ssh with the test's own
#                  configuration, which reaches the sshd as h1 and h2) and
#                  SLURM_CONF (nodes n1 and n2, two CPUs each)
#   cluster_down   stops them, and removes $scratch unless KEEP=1
#   cluster_gone   fails unless nothing they started runs or listens
# The caller defines fail MESSAGE and sets prefix and scratch.
: "${prefix:?}" "${scratch:?}"

ssh_dir=$scratch/ssh
pids=()
taken=" "

# ours PID: PID is alive and of this cluster (its command line names
# $scratch, or it runs a job step of this cluster's Slurm).
ours() {
  local state
  state=$(awk '/^State:/ { print $2 }' "/proc/$1/status" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ] || return 1
  tr '\0' '\n' <"/proc/$1/cmdline" 2>/dev/null | grep -qF -- "$scratch/" && return 0
  tr '\0' '\n' <"/proc/$1/environ" 2>/dev/null | grep -qxF -- "SLURM_CONF=$scratch/slurm/slurm.conf"
}

cluster_down() {
  local pid host i
  # Jobs still running are cancelled first: a slurmstepd outlives its slurmd.
  if [ -n "${SLURM_CONF-}" ] && [ ${#pids[@]} -gt 0 ]; then
    scancel --user=root 2>/dev/null || true
    for ((i = 0; i < 100; i++)); do
      [ -n "$(squeue -h -t running,completing 2>/dev/null)" ] || break
      sleep 0.1
    done
  fi
  # ssh's shared connections: their masters are processes of their own.
  for host in h1 h2; do
    [ -e "$ssh_dir/$host.socket" ] || continue
    ssh -F "$ssh_dir/ssh_config" -O exit "$host" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  pids=()
  # A job step that did not end with its job ignores TERM.
  for pid in $(pgrep slurmstepd); do
    ! ours "$pid" || kill -KILL "$pid" 2>/dev/null || true
  done
  if [ "${KEEP-}" = 1 ]; then
    echo "kept $scratch"
  else
    rm -rf -- "$scratch"
  fi
}

cluster_gone() {
  local port pid
  for port in $taken; do
    ! ss -Htln "sport = :$port" | grep -q . || fail "something still listens on port $port"
  done
  for pid in $(pgrep -f -- "$scratch/") $(pgrep slurmstepd); do
    ! ours "$pid" || fail "a process of the cluster still runs: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
  done
}

# free_port: a loopback TCP port that nothing listens on and that was not
# taken yet. Not in a subshell: it records the port in $taken.
free_port() {
  while :; do
    port=$((20000 + RANDOM % 30000))
    case $taken in *" $port "*) continue ;; esac
    ! ss -Htln "sport = :$port" | grep -q . || continue
    taken="$taken$port "
    return
  done
}

# wait_for WHAT COMMAND...: COMMAND until it succeeds, for up to 30 s.
wait_for() {
  local what=$1 i
  shift
  for ((i = 0; i < 300; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "$what did not come up; KEEP=1 keeps the logs in $scratch/log"
}

nodes_idle() { [ "$(sinfo -h -N -t idle -o %N | sort | paste -sd, -)" = n1,n2 ]; }

cluster_up() {
  local host node n1_port n2_port port
  mkdir -p "$scratch/log" "$scratch/home" "$ssh_dir"
  export HOME=$scratch/home
  export PATH=$prefix/bin:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

  # sshd: the sessions it opens get the prefix on PATH, as an installed
  # worker has, and a HOME of their own, so that no login script of this
  # machine's users runs. The client shares one connection per host name.
  free_port
  ssh_port=$port
  ssh-keygen -q -t ed25519 -N '' -f "$ssh_dir/host_key"
  ssh-keygen -q -t ed25519 -N '' -f "$ssh_dir/user_key"
  cp "$ssh_dir/user_key.pub" "$ssh_dir/authorized_keys"
  cat >"$ssh_dir/sshd_config" <<EOF
ListenAddress 127.0.0.1:$ssh_port
HostKey $ssh_dir/host_key
PidFile none
AuthorizedKeysFile $ssh_dir/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
MaxStartups 100
MaxSessions 100
SetEnv PATH=$PATH HOME=$HOME
EOF
  cat >"$ssh_dir/ssh_config" <<EOF
Host h1 h2
  HostName 127.0.0.1
  Port $ssh_port
  User root
  IdentityFile $ssh_dir/user_key
  IdentitiesOnly yes
  HostKeyAlias tlf2pos-cluster
  UserKnownHostsFile $ssh_dir/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
  ControlMaster auto
  ControlPath $ssh_dir/%n.socket
  ControlPersist 300
EOF
  echo "tlf2pos-cluster $(cut -d' ' -f1-2 "$ssh_dir/host_key.pub")" >"$ssh_dir/known_hosts"
  # sshd refuses to start without its privilege separation folder.
  mkdir -p /run/sshd
  /usr/sbin/sshd -D -e -f "$ssh_dir/sshd_config" >"$scratch/log/sshd.log" 2>&1 &
  pids+=($!)
  export PARALLEL_SSH="ssh -F $ssh_dir/ssh_config"
  wait_for sshd ssh -F "$ssh_dir/ssh_config" h1 true

  # Slurm: a controller and two nodes of this host, each on its own port;
  # no accounting, so array tasks are seen with squeue for MinJobAge.
  mkdir -p "$scratch/slurm/state" "$scratch/slurm/spool"
  host=$(hostname)
  getent hosts "$host" >/dev/null || fail "this host's name $host does not resolve; Slurm needs it to"
  free_port
  ctld_port=$port
  free_port
  n1_port=$port
  free_port
  n2_port=$port
  cat >"$scratch/slurm/slurm.conf" <<EOF
ClusterName=tlf2pos
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
CommunicationParameters=NoInAddrAny,NoCtldInAddrAny
AuthType=auth/none
CredType=cred/none
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$scratch/slurm/state
SlurmdSpoolDir=$scratch/slurm/spool/%n
SlurmctldPidFile=$scratch/slurm/slurmctld.pid
SlurmdPidFile=$scratch/slurm/slurmd-%n.pid
SlurmctldLogFile=$scratch/log/slurmctld.log
SlurmdLogFile=$scratch/log/slurmd-%n.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
MailProg=/bin/true
ReturnToService=2
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerParameters=batch_sched_delay=0,sched_min_interval=0
MaxArraySize=100001
MinJobAge=3600
NodeName=n1 NodeHostname=$host NodeAddr=127.0.0.1 Port=$n1_port CPUs=2 State=UNKNOWN
NodeName=n2 NodeHostname=$host NodeAddr=127.0.0.1 Port=$n2_port CPUs=2 State=UNKNOWN
PartitionName=all Nodes=n1,n2 Default=YES MaxTime=INFINITE State=UP
EOF
  export SLURM_CONF=$scratch/slurm/slurm.conf
  slurmctld -D -i -f "$SLURM_CONF" >"$scratch/log/slurmctld.out" 2>&1 &
  pids+=($!)
  for node in n1 n2; do
    slurmd -D -N "$node" -f "$SLURM_CONF" >"$scratch/log/slurmd-$node.out" 2>&1 &
    pids+=($!)
  done
  wait_for "Slurm's two nodes" nodes_idle
}

# wait_job JOB: until no task of JOB is pending or running, 10 minutes at
# most.
wait_job() {
  local i
  for ((i = 0; i < 6000; i++)); do
    squeue -h -j "$1" -t pending,running,configuring,completing,requeued,suspended |
      grep -q . || return 0
    sleep 0.1
  done
  fail "job $1 did not end in 10 minutes"
}
