#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: koushin developers

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: update
short_description: Update an installation of the estimation system with the koushin console wizard
version_added: 1.0.0
description:
  - Runs the koushin console wizard unattended (C(--yes)) on the host to update an installation of
    the estimation system from update media, to undo the last update, or to finish an update that
    was interrupted.
  - The wizard writes a JSON report to a temporary file (C(--report)); the module returns it parsed
    and maps its outcome to the task's result.
  - An update is all or nothing. A run that stops puts every change back; the task then fails with
    the wizard's message.
  - Running the same task again is safe. An installation already at the media's version gives the
    outcome C(current), writes nothing and reports no change.
  - On Windows hosts (PowerShell shell type) the action plugin runs C(koushin-console.exe) through
    M(ansible.windows.win_command) with the same command line and the same mapping of the result;
    this needs the C(ansible.windows) collection on the controller.
options:
  executable:
    description:
      - The console wizard on the host, a program name looked up in C(PATH) or a path.
      - Defaults to C(koushin) on POSIX hosts and C(koushin-console.exe) on Windows hosts (for
        example C(\\\\fileserver\\updates\\est-8.1S\\koushin-console.exe), the wizard on the media).
    type: str
  media:
    description:
      - The update media, the folder with C(info.txt) (all disks of a floppy set in one folder),
        a host path or a Windows path such as C(D:\\).
      - Defaults to the wizard's own folder.
    type: str
  folder:
    description:
      - The installation folder, a Windows path such as C(C:\\EST) (with I(drives) or
        I(wine_prefix) on POSIX hosts) or a host path.
      - Without it the wizard takes the folder from the uninstall entry of the registry.
      - Required with I(state=undone) and I(state=recovered).
    type: str
  drives:
    description:
      - "POSIX hosts only. Windows drive letters mapped to host folders, for example
        C({C: /srv/win/c}); passed as C(--drive X=DIR)."
    type: dict
  wine_prefix:
    description:
      - POSIX hosts only. A Wine prefix whose drives and registry the wizard uses.
    type: str
  registry:
    description:
      - A C(.reg) export or a Wine C(system.reg) holding the uninstall entry that names the
        installation folder.
    type: str
  state:
    description:
      - C(updated) applies the media to the installation.
      - C(undone) puts the installation back as it was before the last update (C(--undo)).
      - C(recovered) puts back an update that did not finish (C(--recover)).
    type: str
    choices: [updated, undone, recovered]
    default: updated
  reinstall:
    description:
      - With I(state=updated), apply the files and settings of media that are already installed
        again (a file deleted by hand comes back). Master files are not converted a second time.
    type: bool
    default: false
  force:
    description:
      - With I(state=undone), undo even over files that were changed since the update.
    type: bool
    default: false
notes:
  - Check mode runs the wizard's dry run (C(--dry-run)); it writes nothing to the installation,
    reports a change when the plan is not empty and returns the plan. With I(state=undone) and
    I(state=recovered), which have no dry run, check mode reads the installation's state
    (C(--status)) and says whether the run would change something or be refused.
  - The task fails for every outcome but C(updated), C(current), C(planned), C(recovered),
    C(nothing to recover) and C(undone).
  - Exit status 7 (a check before the first change failed, for example a read-only file or a file
    in use) and 1, 2 and 3 leave the installation as it was; the task can simply be run again once
    the cause is mended. After exit status 5 run the task with I(state=recovered).
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
  platform:
    platforms: [posix, windows]
author:
  - koushin developers
'''

EXAMPLES = r'''
- name: Update the estimation system in a Wine prefix from media on a file server
  koushin.fleet.update:
    media: /srv/updates/est-8.1S
    wine_prefix: /home/tanaka/.wine
  register: update

- name: Update C:\EST where drive C is a host folder
  koushin.fleet.update:
    executable: /usr/local/bin/koushin
    media: /srv/updates/est-8.1S
    folder: C:\EST
    drives:
      C: /srv/win/c

- name: Update a Windows PC from the media on a share
  koushin.fleet.update:
    executable: \\fileserver\updates\est-8.1S\koushin-console.exe
    media: \\fileserver\updates\est-8.1S
    folder: C:\EST

- name: Bring back files deleted by hand
  koushin.fleet.update:
    media: /srv/updates/est-8.1S
    folder: /srv/win/c/EST
    reinstall: true

- name: Undo the last update
  koushin.fleet.update:
    folder: C:\EST
    state: undone

- name: Finish an interrupted update by putting it back
  koushin.fleet.update:
    folder: C:\EST
    state: recovered
'''

RETURN = r'''
outcome:
  description:
    - The outcome of the run from the wizard's report, one of C(updated), C(current), C(planned),
      C(cancelled), C(check failed), C(media invalid), C(preflight refused), C(busy),
      C(stopped restored), C(stopped not restored), C(recovered), C(nothing to recover),
      C(undone), C(undo refused), C(journal refused).
    - None when the wizard wrote no report (for example a command line it refused).
  returned: always
  type: str
  sample: updated
exit_status:
  description: The wizard's exit status (0 for success, 7 when a check before the first change failed, ...).
  returned: always
  type: int
  sample: 0
version_before:
  description: The installed version before the run (C([SYSTEM] Version) of the system's INI file).
  returned: when the wizard wrote a report
  type: str
  sample: 8.0S
version_after:
  description: The installed version after the run.
  returned: when the wizard wrote a report
  type: str
  sample: 8.1S
message:
  description: The last message the wizard showed.
  returned: when the wizard wrote a report
  type: str
report:
  description:
    - The wizard's JSON report, parsed (schema, program, host, startedAt, endedAt, folder, media,
      versions, outcome, exitStatus, message, changes, blockingFiles and counters).
  returned: always (None when the wizard wrote none)
  type: dict
plan:
  description: In check mode, the changes the update would make (the dry run's report's C(changes)).
  returned: in check mode
  type: list
  elements: dict
  sample: [{"change": "replaced", "path": "C:\\EST\\tamiro1.ini", "bytes": 149}]
status:
  description:
    - In check mode with I(state=undone) or I(state=recovered), the installation's state as the
      wizard's C(--status) gives it (version, unfinishedRun, journalReadable, recover, undo, ...).
  returned: in check mode with state=undone or state=recovered
  type: dict
cmd:
  description: The wizard's command line.
  returned: always
  type: list
  elements: str
rc:
  description: The wizard's exit status (the same as I(exit_status)).
  returned: always
  type: int
stdout:
  description: What the wizard printed.
  returned: always
  type: str
stderr:
  description: What the wizard printed on standard error.
  returned: always
  type: str
'''

import copy
import os
import shutil
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.koushin.fleet.plugins.module_utils.console_wizard import (
    ARGUMENT_SPEC, ArgumentError, DEFAULT_EXECUTABLE, build_argv, build_status_argv,
    check_mode_runs_status, map_result, map_status, parse_json)


def main():
    # On a POSIX host the wizard is a host path (~ expanded); on Windows hosts the action plugin
    # takes it as it is.
    argument_spec = copy.deepcopy(ARGUMENT_SPEC)
    argument_spec['executable']['type'] = 'path'
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    params = dict(module.params)
    executable = params['executable'] or DEFAULT_EXECUTABLE['posix']
    if os.sep not in executable:
        executable = module.get_bin_path(executable, required=True)
    params['executable'] = executable
    # The wizard's texts are UTF-8 in a UTF-8 locale; the report is UTF-8 anyway.
    environ = dict(LC_ALL='C.UTF-8')

    if module.check_mode and check_mode_runs_status(params):
        try:
            argv = build_status_argv(params)
        except ArgumentError as e:
            module.fail_json(msg=str(e))
        rc, stdout, stderr = module.run_command(argv, environ_update=environ, errors='surrogate_then_replace')
        result = map_status(parse_json(stdout), rc, stdout, stderr, params['state'], params['force'])
    else:
        # The report goes to a folder of our own, so that no earlier file can pass for this run's.
        workdir = tempfile.mkdtemp(prefix='koushin-', dir=module.tmpdir)
        try:
            report_path = os.path.join(workdir, 'report.json')
            try:
                argv = build_argv(params, report_path, module.check_mode)
            except ArgumentError as e:
                module.fail_json(msg=str(e))
            rc, stdout, stderr = module.run_command(argv, environ_update=environ, errors='surrogate_then_replace')
            report = None
            if os.path.exists(report_path):
                with open(report_path, 'rb') as f:
                    report = parse_json(f.read())
        finally:
            shutil.rmtree(workdir, ignore_errors=True)
        result = map_result(report, rc, stdout, stderr, module.check_mode)

    result['cmd'] = argv
    if result.pop('failed', False):
        module.fail_json(**result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
