#!/usr/bin/env bash
# The Ansible collection koushin.fleet end to end: its example playbook (update_fleet.yml) run by
# ansible-playbook over a fleet of local hosts, each its own copy of the demo installation, with the
# built console wizard and the demo media. What an administrator relies on: the first run updates
# every host that can be updated; a host with a read-only target fails alone (exit status 7) and is
# left byte for byte as it was; a run again changes nothing and writes nothing; check mode writes
# nothing; every host's report reaches the controller.
# usage: ansible_test.sh KOUSHIN EXAMPLES_DIR COLLECTIONS_DIR
set -u
BIN=$(realpath "$1")
EXAMPLES=$2
COLLECTIONS=$3
HOSTS=10
WORK=$(mktemp -d "${TMPDIR:-/tmp}/koushin-ansible.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
export LC_ALL=C.UTF-8
failures=0
fail() {
  echo "FAIL [$CASE]: $*"
  failures=$((failures + 1))
}
command -v ansible-playbook >/dev/null || { echo "FAIL: ansible-playbook is missing (Debian ansible-core)"; exit 1; }

# Ansible keeps its temporary and cache files here, not in the home folder.
export ANSIBLE_HOME=$WORK/ansible ANSIBLE_LOCAL_TEMP=$WORK/ansible/tmp ANSIBLE_REMOTE_TMP=$WORK/ansible/remote
export ANSIBLE_COLLECTIONS_PATH=$COLLECTIONS ANSIBLE_STDOUT_CALLBACK=fleet_results ANSIBLE_FORKS=$HOSTS
ANSIBLE_CALLBACK_PLUGINS=$(dirname "$(realpath "$0")")/callback_plugins
export ANSIBLE_CALLBACK_PLUGINS
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_DEPRECATION_WARNINGS=0 ANSIBLE_PIPELINING=1
PLAYBOOK=$COLLECTIONS/ansible_collections/koushin/fleet/playbooks/update_fleet.yml

# The fleet: host hNN has drive C at $WORK/hNN/c with the installation C:\EST; all share the media.
names=()
{
  echo "koushin_fleet:"
  echo "  vars:"
  echo "    ansible_connection: local"
  echo "    ansible_python_interpreter: $(command -v python3)"
  echo "    koushin_executable: '$BIN'"
  echo "    koushin_media: '$EXAMPLES/demo-media'"
  echo "    koushin_folder: 'C:\\EST'"
  echo "  hosts:"
  for i in $(seq -w 1 $HOSTS); do
    names+=("h$i")
    mkdir -p "$WORK/h$i/c/WINDOWS"
    cp -r "$EXAMPLES/demo-install/EST" "$WORK/h$i/c/EST"
    echo "    h$i: {koushin_drives: {C: '$WORK/h$i/c'}}"
  done
} >"$WORK/inventory.yml"
BLOCKED=h07
READ_ONLY=tamiro1.ini

# Every entry below a host's drive C with its type, mode, size, modification time and content
# hash: equal snapshots mean nothing was written (our journal folder .koushin included).
snapshot() {
  (cd "$WORK/$1/c" && find . -printf '%p %y %m %s %T@\n' | LC_ALL=C sort &&
    find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum) >"$WORK/$1.$2"
}
same() { cmp -s "$WORK/$1.$2" "$WORK/$1.$3" || fail "$1 was written to ($2 -> $3)"; }

# Runs the playbook as RUN (its JSON output in $WORK/RUN.json, its reports in $WORK/RUN/) and
# tabulates the update task of each host in $WORK/RUN.tsv: host changed failed outcome
# exit_status version_before version_after plan_size.
play() {
  RUN=$1
  shift
  # As JSON: Ansible splits a key=value extra variable at blanks, and the folder may hold one.
  ansible-playbook -i "$WORK/inventory.yml" "$PLAYBOOK" \
    -e "$(python3 -c 'import json,sys; print(json.dumps({"koushin_reports": sys.argv[1]}))' "$WORK/$RUN")" \
    -e koushin_serial=5 -e koushin_max_fail_percentage=20 "$@" >"$WORK/$RUN.json" 2>"$WORK/$RUN.err"
  status=$?
  tabulate
}
# The module by itself (ad hoc) as RUN on the hosts of LIMIT, with ARGS templated for each host.
adhoc() {
  RUN=$1
  ANSIBLE_LOAD_CALLBACK_PLUGINS=1 ansible koushin_fleet -i "$WORK/inventory.yml" --limit "$2" \
    -m koushin.fleet.update -a "$3" "${@:4}" >"$WORK/$RUN.json" 2>"$WORK/$RUN.err"
  status=$?
  tabulate
}
tabulate() {
  python3 - "$WORK/$RUN.json" >"$WORK/$RUN.tsv" <<'EOF' || fail "no JSON from Ansible: $(head -c 2000 "$WORK/$RUN.err")"
import json, sys
out = json.load(open(sys.argv[1]))
for play in out['plays']:
    for task in play['tasks']:
        if task['task']['name'] not in ('Run the update wizard', 'koushin.fleet.update'):
            continue
        for host, r in task['hosts'].items():
            plan = r.get('plan')
            print('\t'.join(str(v) for v in (
                host, r.get('changed', False), r.get('failed', False), r.get('outcome'),
                r.get('exit_status'), r.get('version_before'), r.get('version_after'),
                '-' if plan is None else len(plan))))
EOF
}
# The row of HOST in this run's table, as: changed failed outcome exit_status before after plan.
row() { awk -F'\t' -v h="$1" '$1 == h { $1 = ""; sub(/^ /, ""); print }' OFS=' ' "$WORK/$RUN.tsv"; }
# expect_row HOST PATTERN: the row matches the glob PATTERN.
expect_row() {
  local got
  got=$(row "$1")
  # shellcheck disable=SC2053
  [[ $got == $2 ]] || fail "$1: '$got', expected '$2'"
}
expect_status() { [ "$status" = "$1" ] || fail "ansible-playbook exit status $status, expected $1: $(tail -c 2000 "$WORK/$RUN.err")"; }
# Each host's report reached the controller, with the outcome the task returned.
reports_of() {
  local h outcome
  for h in "${names[@]}"; do
    outcome=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["outcome"])' "$WORK/$RUN/$h.json" 2>/dev/null)
    [ "$outcome" = "$1" ] || [ "$h" = "${2:-}" ] || fail "$h: the controller's report says '$outcome', expected '$1'"
  done
}

# Every host's row: BLOCKED_ROW for the blocked host, OTHER_ROW for the others; with two snapshot
# names, each host is snapshotted as the second and must equal the first (nothing written).
hosts_are() {
  local h
  for h in "${names[@]}"; do
    if [ "$h" = "$BLOCKED" ]; then expect_row "$h" "$1"; else expect_row "$h" "$2"; fi
    [ -z "${4:-}" ] || { snapshot "$h" "$4"; same "$h" "$3" "$4"; }
  done
}
snapshot_all() { local h; for h in "${names[@]}"; do snapshot "$h" "$1"; done; }
REFUSED="False True preflight refused 7 8.0S * -"
# The plan: the report's list of the changes the run would make.
PLANNED="True False planned 0 8.0S 8.0S [1-9]*"

# --- check mode: the dry run on every host writes nothing and returns a plan ------------------
CASE=check_mode
snapshot_all before
play check --check
expect_status 0
hosts_are "$PLANNED" "$PLANNED" before check
reports_of planned

# --- the first run: a read-only target fails its host alone ------------------------------------
CASE=first_run
chmod a-w "$WORK/$BLOCKED/c/EST/$READ_ONLY"
snapshot "$BLOCKED" blocked
play first
expect_status 2
hosts_are "$REFUSED" "True False updated 0 8.0S 8.1S -"
snapshot "$BLOCKED" first
same "$BLOCKED" blocked first
for h in "${names[@]}"; do
  [ "$h" = "$BLOCKED" ] || iconv -f CP932 -t UTF-8 "$WORK/$h/c/EST/tamiro1.ini" | tr -d '\r' |
    grep -qx 'Version=8.1S' || fail "$h: tamiro1.ini is not at 8.1S"
done
reports_of updated "$BLOCKED"
[ "$(python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); print(r["outcome"], r["exitStatus"])' \
  "$WORK/first/$BLOCKED.json" 2>/dev/null)" = "preflight refused 7" ] ||
  fail "$BLOCKED: the controller lacks the refused run's report"

# --- the same run again: nothing changes, nothing is written; the blocked host fails again -------
CASE=second_run
snapshot_all updated
play second
expect_status 2
hosts_are "$REFUSED" "False False current 0 8.1S 8.1S -" updated second
reports_of current "$BLOCKED"

# --- check mode once the cause is mended: only that host has a plan (the dry run finds nothing to
# do on the others); nothing is written -----------------------------------------------------------
CASE=check_again
chmod u+w "$WORK/$BLOCKED/c/EST/$READ_ONLY"
snapshot_all mended
play check_again --check
expect_status 0
hosts_are "$PLANNED" "False False current 0 8.1S 8.1S 0" mended check_again

# --- undo and recovery: check mode reads the state and writes nothing; then the real runs --------
CASE=undo_recover
ARGS='{"folder": "C:\\EST", "state": "{{ koushin_state }}", "drives": "{{ koushin_drives }}",
       "executable": "{{ koushin_executable }}"}'
snapshot_all before_undo
adhoc check_undo all "$ARGS" -e koushin_state=undone --check
hosts_are "False True undo refused 0 8.0S 8.0S 0" "True False planned 0 8.1S 8.0S 0" before_undo check_undo
adhoc check_recover h01 "$ARGS" -e koushin_state=recovered --check
expect_row h01 "False False nothing to recover 0 8.1S 8.1S 0"
adhoc undo h01 "$ARGS" -e koushin_state=undone
expect_row h01 "True False undone 0 8.1S 8.0S -"
cmp -s "$EXAMPLES/demo-install/EST/tamiro1.ini" "$WORK/h01/c/EST/tamiro1.ini" || fail "h01: tamiro1.ini is not back"
adhoc recover h02 "$ARGS" -e koushin_state=recovered
expect_row h02 "False False nothing to recover 0 * * -"

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s); KEEP=1 keeps $WORK"
  exit 1
fi
echo "ansible: all cases passed ($HOSTS hosts)"
