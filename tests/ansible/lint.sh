#!/usr/bin/env bash
# The collection koushin.fleet checked without a network: the unit tests (what the module and the
# Windows action share, and the action's Windows half), the ansible-test sanity tests that need no
# virtual environment (the others install their requirements with pip), its documentation as
# ansible-doc reads it, the example playbook's syntax, yamllint, flake8 and shellcheck.
# usage: lint.sh COLLECTIONS_DIR
set -u
COLLECTIONS=$(realpath "$1")
COLLECTION=$COLLECTIONS/ansible_collections/koushin/fleet
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/koushin-ansible-lint.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export LC_ALL=C.UTF-8 ANSIBLE_HOME=$WORK/ansible ANSIBLE_LOCAL_TEMP=$WORK/ansible/tmp PYTHONDONTWRITEBYTECODE=1
export ANSIBLE_COLLECTIONS_PATH=$COLLECTIONS ANSIBLE_NOCOLOR=1
failures=0
stage() {
  local name=$1
  shift
  if ! "$@" >"$WORK/out" 2>&1; then
    echo "FAIL [$name]:"
    sed 's/^/    | /' "$WORK/out"
    failures=$((failures + 1))
  fi
}
for tool in ansible-playbook ansible-doc ansible-test yamllint shellcheck; do
  command -v $tool >/dev/null || { echo "FAIL: $tool is missing (scripts/packages/ansible.txt)"; exit 1; }
done
# The Python that Ansible runs on (Debian's, where its packages are), from ansible-playbook's #!.
PYTHON=$(head -1 "$(command -v ansible-playbook)" | sed 's/^#! *//; s/ .*//')
VERSION=$("$PYTHON" -c 'import sys; print("%d.%d" % sys.version_info[:2])')

units=0
while IFS= read -r -d '' test; do
  stage "unit ${test#"$COLLECTION"/}" env PYTHONPATH="$COLLECTIONS" "$PYTHON" "$test"
  units=$((units + 1))
done < <(find "$COLLECTION/tests/unit" -name 'test_*.py' -print0 | sort -z)
[ "$units" -ge 2 ] || { echo "FAIL: the unit tests were not found"; failures=$((failures + 1)); }

# ansible-test writes tests/output into the collection: it runs on a copy.
mkdir -p "$WORK/ansible_collections/koushin"
cp -r "$COLLECTION" "$WORK/ansible_collections/koushin/fleet"
needs_pip=(ansible-doc validate-modules pep8 yamllint runtime-metadata import pylint pslint changelog)
skips=()
for t in "${needs_pip[@]}"; do skips+=(--skip-test "$t"); done
# ansible-test keeps a cache below the home folder: a temporary one.
sanity() {
  (cd "$WORK/ansible_collections/koushin/fleet" &&
    HOME=$WORK/home ansible-test sanity --local --python "$VERSION" "${skips[@]}")
}
stage sanity sanity

stage ansible-doc bash -c 'ansible-doc koushin.fleet.update | grep -q "OPTIONS"'
stage syntax-check ansible-playbook --syntax-check -i localhost, "$COLLECTION/playbooks/update_fleet.yml"
stage yamllint yamllint -s -c "$COLLECTION/.yamllint" "$COLLECTION"
# From the collection's folder: flake8 splits its per-file list at blanks, so the pattern must not
# carry the folder (which may hold a space).
flake8_collection() {
  (cd "$COLLECTION" && "$PYTHON" -m flake8 --max-line-length 120 \
    --per-file-ignores="plugins/modules/*.py:E402" .)
}
stage flake8 flake8_collection
stage shellcheck shellcheck "$HERE/ansible_test.sh" "$HERE/lint.sh"

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "ansible lint: all stages passed"
