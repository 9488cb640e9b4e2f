# -*- coding: utf-8 -*-
# Copyright: koushin developers
"""What the update module (POSIX hosts) and the update action (Windows hosts) share.

The task's options, the console wizard's command line built from them, and the wizard's JSON
report mapped to the task's result. Both sides run the same wizard with the same arguments and
read the same report, so a playbook behaves the same whatever the host's shell is.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import re

ARGUMENT_SPEC = dict(
    executable=dict(type='str'),
    media=dict(type='str'),
    folder=dict(type='str'),
    drives=dict(type='dict'),
    wine_prefix=dict(type='str'),
    registry=dict(type='str'),
    state=dict(type='str', default='updated', choices=['updated', 'undone', 'recovered']),
    reinstall=dict(type='bool', default=False),
    force=dict(type='bool', default=False),
)

# The wizard's program name when the task names none.
DEFAULT_EXECUTABLE = {'posix': 'koushin', 'windows': 'koushin-console.exe'}

# Outcomes of a run that did what was asked; every other outcome fails the task.
SUCCESS_OUTCOMES = frozenset(['updated', 'current', 'planned', 'recovered', 'nothing to recover', 'undone'])
# Successful outcomes that leave the installation as it was.
UNCHANGED_OUTCOMES = frozenset(['current', 'nothing to recover', 'planned'])
# Failed outcomes after which the installation is not as it was: part of the run is still there.
CHANGED_FAILURES = frozenset(['stopped not restored'])

_DRIVE_LETTER = re.compile(r'^[A-Za-z]:?$')


class ArgumentError(ValueError):
    """Options that make no command line; the message says which and why."""


def _validate(params, windows):
    state = params.get('state') or 'updated'
    folder = params.get('folder')
    if folder is not None and folder == '':
        raise ArgumentError('folder is empty')
    if state != 'updated' and not folder:
        raise ArgumentError('state=%s needs folder' % state)
    if params.get('reinstall') and state != 'updated':
        raise ArgumentError('reinstall goes with state=updated')
    if params.get('force') and state != 'undone':
        raise ArgumentError('force goes with state=undone')
    if windows and (params.get('drives') or params.get('wine_prefix')):
        raise ArgumentError('drives and wine_prefix are for POSIX hosts; a Windows host has its own drives')
    return state


def _where(params, names=('media', 'folder', 'wine_prefix', 'registry')):
    """The options that say where the media and the installation are."""
    argv = []
    for name in names:
        value = params.get(name)
        if value is None:
            continue
        if value == '':
            raise ArgumentError('%s is empty' % name)
        argv += ['--' + name.replace('_', '-'), value]
    drives = params.get('drives') or {}
    # Sorted, so that the same task gives the same command line on every host.
    for letter in sorted(drives, key=lambda key: str(key).upper()):
        text = str(letter)
        if not _DRIVE_LETTER.match(text):
            raise ArgumentError('drives: %r is not a drive letter' % text)
        if not drives[letter]:
            raise ArgumentError('drives: drive %s has no folder' % text[0].upper())
        argv += ['--drive', '%s=%s' % (text[0].upper(), drives[letter])]
    return argv


def _executable(params, windows):
    return params.get('executable') or DEFAULT_EXECUTABLE['windows' if windows else 'posix']


def build_argv(params, report_path, check_mode=False, windows=False):
    """The wizard's command line for the task's options (ARGUMENT_SPEC), writing its report to
    report_path. In check mode an update is a dry run. Raises ArgumentError for options that do
    not go together."""
    state = _validate(params, windows)
    argv = [_executable(params, windows), '--yes', '--report', report_path] + _where(params)
    if state == 'updated':
        if params.get('reinstall'):
            argv.append('--reinstall')
        if check_mode:
            argv.append('--dry-run')
    elif state == 'undone':
        argv.append('--undo')
        if params.get('force'):
            argv.append('--force')
    else:
        argv.append('--recover')
    return argv


def check_mode_runs_status(params):
    """True when check mode asks the wizard's --status instead of running it: an undo and a
    recovery have no dry run (the wizard would carry them out)."""
    return (params.get('state') or 'updated') != 'updated'


def build_status_argv(params, windows=False):
    """The command line of --status for the task's installation (check mode of an undo or a
    recovery); it writes nothing and prints the installation's state as JSON."""
    _validate(params, windows)
    return [_executable(params, windows), '--status'] + _where(params, ('folder', 'wine_prefix', 'registry'))


def parse_json(data):
    """The JSON object of a report or of --status from its bytes (or text); None when there is
    none or it is not a JSON object."""
    if data is None:
        return None
    if isinstance(data, bytes):
        data = data.decode('utf-8', 'replace')
    if not data.strip():
        return None
    try:
        report = json.loads(data)
    except ValueError:
        return None
    return report if isinstance(report, dict) else None


def _last_line(*texts):
    for text in texts:
        lines = [line.strip() for line in (text or '').splitlines() if line.strip()]
        if lines:
            return lines[-1]
    return ''


def map_result(report, rc, stdout='', stderr='', check_mode=False):
    """The task's result for a finished wizard: its exit status rc, its output and its parsed
    report (None when it wrote none). The result has 'failed' and 'msg' when the run did not do
    what was asked."""
    result = dict(changed=False, rc=rc, exit_status=rc, stdout=stdout or '', stderr=stderr or '')
    if report is None:
        result.update(
            failed=True, outcome=None, report=None, version_before=None, version_after=None,
            msg='the console wizard wrote no report (exit status %s): %s'
                % (rc, _last_line(stderr, stdout) or 'no output'))
        return result

    outcome = report.get('outcome')
    message = report.get('message') or ''
    result.update(
        outcome=outcome,
        version_before=report.get('versionBefore'),
        version_after=report.get('versionAfter'),
        report=report,
        message=message,
    )
    # The report's own status must agree with the process's: a report left from another run, or
    # a wizard that died after writing it, is no success.
    if rc == 0 and outcome in SUCCESS_OUTCOMES and report.get('exitStatus', 0) == 0:
        if check_mode:
            # The dry run's report lists the changes the run would make: the plan.
            plan = report.get('changes') or []
            result['plan'] = plan
            result['changed'] = outcome == 'planned' and len(plan) > 0
        else:
            result['changed'] = outcome not in UNCHANGED_OUTCOMES
        result['msg'] = message or outcome
        return result

    result['failed'] = True
    result['changed'] = outcome in CHANGED_FAILURES
    # A wizard older than the report's message field: its last words on the terminal.
    message = message or _last_line(stderr, stdout)
    detail = 'outcome %s, exit status %s' % (outcome or 'unknown', rc)
    result['msg'] = '%s (%s)' % (message, detail) if message else detail
    return result


def map_status(status, rc, stdout='', stderr='', state='recovered', force=False):
    """Check mode of an undo or a recovery: what the run would do, from the installation's state
    (the parsed output of --status). Fails where the run would be refused."""
    result = dict(changed=False, rc=rc, exit_status=rc, stdout=stdout or '', stderr=stderr or '',
                  status=status, report=None, plan=[])
    if status is None or rc != 0:
        result.update(failed=True, outcome=None,
                      msg='the console wizard gave no state of the installation (exit status %s): %s'
                          % (rc, _last_line(stderr, stdout) or 'no output'))
        return result
    version = status.get('version')
    result.update(version_before=version, version_after=version)
    if status.get('journalReadable') is False:
        result.update(failed=True, outcome='journal refused',
                      msg='check mode: the journal of the installation cannot be read')
    elif state == 'recovered':
        if status.get('unfinishedRun'):
            result.update(changed=True, outcome='planned', version_after=None,
                          msg='check mode: --recover %s' % status.get('recover'))
        else:
            result.update(outcome='nothing to recover', msg='check mode: nothing to recover')
    elif status.get('unfinishedRun'):
        result.update(failed=True, outcome='undo refused',
                      msg='check mode: an unfinished run waits; run state=recovered first')
    else:
        undo = status.get('undo')
        if not isinstance(undo, dict):
            result.update(failed=True, outcome='undo refused', msg='check mode: there is no update to undo')
        elif undo.get('filesChangedSince') and not force:
            result.update(failed=True, outcome='undo refused',
                          msg='check mode: %s files were changed since the update (force undoes over them)'
                              % undo['filesChangedSince'])
        else:
            result.update(changed=True, outcome='planned', version_after=undo.get('from'),
                          msg='check mode: --undo would go back from %s to %s' % (undo.get('to'), undo.get('from')))
    return result
