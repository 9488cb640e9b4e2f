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


def build_argv(params, report_path, check_mode=False, windows=False):
    """The wizard's command line for the task's options (ARGUMENT_SPEC), writing its report to
    report_path. In check mode an update is a dry run. Raises ArgumentError for options that do
    not go together."""
    state = params.get('state') or 'updated'
    executable = params.get('executable') or DEFAULT_EXECUTABLE['windows' if windows else 'posix']
    folder = params.get('folder')
    if folder is not None and folder == '':
        raise ArgumentError('folder is empty')
    if state != 'updated' and not folder:
        raise ArgumentError('state=%s needs folder' % state)
    if params.get('reinstall') and state != 'updated':
        raise ArgumentError('reinstall goes with state=updated')
    if params.get('force') and state != 'undone':
        raise ArgumentError('force goes with state=undone')
    drives = params.get('drives') or {}
    if windows and (drives or params.get('wine_prefix')):
        raise ArgumentError('drives and wine_prefix are for POSIX hosts; a Windows host has its own drives')

    argv = [executable, '--yes', '--report', report_path]
    for name, option in (('media', '--media'), ('folder', '--folder'),
                         ('wine_prefix', '--wine-prefix'), ('registry', '--registry')):
        value = params.get(name)
        if value is None:
            continue
        if value == '':
            raise ArgumentError('%s is empty' % name)
        argv += [option, value]
    # Sorted, so that the same task gives the same command line on every host.
    for letter in sorted(drives, key=lambda key: str(key).upper()):
        text = str(letter)
        folder_of_drive = drives[letter]
        if not _DRIVE_LETTER.match(text):
            raise ArgumentError('drives: %r is not a drive letter' % text)
        if not folder_of_drive:
            raise ArgumentError('drives: drive %s has no folder' % text[0].upper())
        argv += ['--drive', '%s=%s' % (text[0].upper(), folder_of_drive)]

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


def check_mode_supported(params):
    """True when check mode can run the wizard: only an update has a dry run."""
    return (params.get('state') or 'updated') == 'updated'


def parse_report(data):
    """The report's JSON object from its bytes (or text); None when there is none or it is not a
    JSON object."""
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
