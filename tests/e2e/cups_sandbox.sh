# A private CUPS scheduler for tests; sourced. Everything it uses lives in
# one temporary folder: its own configuration, spool, temporary, state,
# cache and log folders, its own port on 127.0.0.1, its own filter folder
# (the system's filters and backends plus a copy of ours) and data folder
# (the system's plus a copy of our PPDs as model/norvane). Nothing of the
# system's CUPS is read or written but the programs and data it ships. The
# folder is outside the build tree because the scheduler runs filters as
# user lp, who may not reach into the build tree.
#
#   sandbox_start LOG_DIR RASTERFILTER PPD_DIR
#                              starts cupsd, exports CUPS_SERVER; the logs are
#                              copied to LOG_DIR when the scheduler stops
#   sandbox_stop               stops it and removes its folder (also on exit)
#   sandbox_add_queue NAME PPD_NAME
#                              queue printing to a file, set up by PPD name
#   sandbox_print QUEUE OUT FILE [lp options...]
#                              prints, waits, copies the printer stream to OUT;
#                              fails unless the job completed without an error

SANDBOX_DIR=
SANDBOX_LOGS=
SANDBOX_PID=
SANDBOX_JOB_TIMEOUT=${SANDBOX_JOB_TIMEOUT:-180}

sandbox_fail() {
  echo "FAIL: $*" >&2
  return 1
}

sandbox_start() {
  local dir sysbin sysdata entry port
  SANDBOX_LOGS=$1
  sysbin=$(cups-config --serverbin)
  sysdata=$(cups-config --datadir)
  dir=$(mktemp -d "${TMPDIR:-/tmp}/norvane-cups.XXXXXX")
  SANDBOX_DIR=$dir
  trap sandbox_stop EXIT
  trap 'exit 1' INT TERM HUP
  chmod 755 "$dir"
  mkdir -p "$dir"/{conf,spool/tmp,state,cache,log,device,bin/filter,data/model/norvane}
  chmod 755 "$dir"/*

  for entry in "$sysbin"/*; do
    [ "$(basename "$entry")" = filter ] || ln -s "$entry" "$dir/bin/"
  done
  for entry in "$sysbin"/filter/*; do
    ln -s "$entry" "$dir/bin/filter/"
  done
  rm -f "$dir/bin/filter/rasterfilter"
  install -m 755 "$2" "$dir/bin/filter/rasterfilter"
  install -m 644 "$3"/*.ppd "$dir/data/model/norvane/"
  for entry in "$sysdata"/*; do
    [ "$(basename "$entry")" = model ] || ln -s "$entry" "$dir/data/"
  done

  cat >"$dir/conf/cups-files.conf" <<EOF
ServerRoot $dir/conf
ServerBin $dir/bin
DataDir $dir/data
RequestRoot $dir/spool
TempDir $dir/spool/tmp
StateDir $dir/state
CacheDir $dir/cache
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/state/printcap
FileDevice Yes
EOF

  for _ in 1 2 3 4 5; do
    port=$((20000 + (RANDOM % 20000)))
    cat >"$dir/conf/cupsd.conf" <<EOF
Listen 127.0.0.1:$port
LogLevel debug
MaxLogSize 0
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
    cupsd -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
    SANDBOX_PID=$!
    export CUPS_SERVER=127.0.0.1:$port
    for _ in $(seq 50); do
      kill -0 "$SANDBOX_PID" 2>/dev/null || break
      if lpstat -r >/dev/null 2>&1; then
        echo "cupsd $SANDBOX_PID on $CUPS_SERVER, folder $dir"
        return 0
      fi
      sleep 0.2
    done
    # Most likely the port was taken: try another.
    sandbox_kill
  done
  cat "$dir/log/cupsd.out" >&2
  sandbox_fail "cupsd did not start"
}

sandbox_kill() {
  local pid=$SANDBOX_PID
  SANDBOX_PID=
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null || true; return 0; }
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  return 0
}

sandbox_stop() {
  sandbox_kill
  if [ -n "$SANDBOX_DIR" ]; then
    if [ -n "$SANDBOX_LOGS" ]; then
      mkdir -p "$SANDBOX_LOGS"
      cp -r "$SANDBOX_DIR/log/." "$SANDBOX_LOGS/" 2>/dev/null || true
    fi
    rm -rf "$SANDBOX_DIR"
    SANDBOX_DIR=
  fi
  return 0
}

sandbox_add_queue() {
  local name=$1 ppd=$2
  lpadmin -p "$name" -E -v "file://$SANDBOX_DIR/device/$name.prn" -m "$ppd" \
    -o printer-error-policy=abort-job 2>&1 | grep -v 'drivers are deprecated' >&2 || true
  lpstat -p "$name" >/dev/null 2>&1 || sandbox_fail "queue $name was not added"
}

# The PPD the scheduler made for a queue.
sandbox_queue_ppd() {
  echo "$SANDBOX_DIR/conf/ppd/$1.ppd"
}

# Log lines of one job.
sandbox_job_log() {
  grep -F "[Job $1]" "$SANDBOX_DIR/log/error_log" || true
}

sandbox_print() {
  local queue=$1 out=$2 file=$3 reply job log waited=0
  shift 3
  reply=$(lp -d "$queue" "$@" "$file") || { sandbox_fail "lp $*: $reply"; return 1; }
  # lp answers in the user's language; the job id reads the same in all.
  [[ $reply =~ "$queue"-([0-9]+) ]] || { sandbox_fail "lp $*: no job id in '$reply'"; return 1; }
  job=${BASH_REMATCH[1]}
  # Wait for the scheduler's own word that the job is over: lpstat can miss
  # a job for a moment on a busy machine. No pipes into grep -q: the caller
  # may run with pipefail.
  while ! grep -qE 'Job (completed|stopped|canceled|aborted)' <<<"$(sandbox_job_log "$job")"; do
    if [ $waited -ge $((SANDBOX_JOB_TIMEOUT * 5)) ]; then
      cancel "$queue-$job" 2>/dev/null
      sandbox_fail "job $queue-$job did not finish in ${SANDBOX_JOB_TIMEOUT}s"
      return 1
    fi
    sleep 0.2
    waited=$((waited + 1))
  done
  log=$(sandbox_job_log "$job")
  if ! grep -q 'Job completed\.' <<<"$log"; then
    grep -E '^[EWI] ' <<<"$log" | tail -20 >&2
    sandbox_fail "job $queue-$job ($*) did not complete"
    return 1
  fi
  # A filter's ERROR line is logged as an error of the job.
  if grep -q '^E ' <<<"$log"; then
    grep '^E ' <<<"$log" >&2
    sandbox_fail "job $queue-$job ($*) logged errors"
    return 1
  fi
  cp "$SANDBOX_DIR/device/$queue.prn" "$out"
  SANDBOX_LAST_JOB=$job
}

# Fails when the scheduler's temporary folder holds anything.
sandbox_expect_clean_tmp() {
  local left
  left=$(ls -A "$SANDBOX_DIR/spool/tmp")
  [ -z "$left" ] || sandbox_fail "left in the scheduler's temporary folder: $left"
}
