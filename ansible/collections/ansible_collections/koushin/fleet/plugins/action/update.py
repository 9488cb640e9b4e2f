# -*- coding: utf-8 -*-
# Copyright: koushin developers
"""The controller's side of koushin.fleet.update.

POSIX hosts run the Python module. Windows hosts (PowerShell shell type) cannot run it, so the
wizard koushin-console.exe runs there through ansible.windows.win_command, with the command line
built and the report mapped by the same module_utils as the module's.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import base64

from ansible.errors import AnsibleActionFail
from ansible.plugins.action import ActionBase
from ansible_collections.koushin.fleet.plugins.module_utils.console_wizard import (
    ARGUMENT_SPEC, ArgumentError, build_argv, build_status_argv, check_mode_runs_status, map_result,
    map_status, parse_json)


class ActionModule(ActionBase):
    TRANSFERS_FILES = False

    def run(self, tmp=None, task_vars=None):
        result = super(ActionModule, self).run(tmp, task_vars)
        del tmp
        if getattr(self._connection._shell, 'SHELL_FAMILY', '') != 'powershell':
            result.update(self._execute_module(module_name='koushin.fleet.update',
                                               module_args=self._task.args, task_vars=task_vars))
            return result
        result.update(self._run_on_windows(task_vars))
        return result

    def _run_on_windows(self, task_vars):
        _, params = self.validate_argument_spec(argument_spec=ARGUMENT_SPEC)
        check_mode = self._task.check_mode
        if check_mode and check_mode_runs_status(params):
            try:
                argv = build_status_argv(params, windows=True)
            except ArgumentError as e:
                raise AnsibleActionFail(str(e))
            command = self._win_command(argv, task_vars)
            mapped = map_status(parse_json(command.get('stdout')), command['rc'], command.get('stdout', ''),
                                command.get('stderr', ''), params['state'], params['force'])
            mapped['cmd'] = argv
            return mapped

        shell = self._connection._shell
        tmpdir = shell.tmpdir or self._make_tmp_path()
        report_path = shell.join_path(tmpdir, 'koushin-report.json')
        try:
            argv = build_argv(params, report_path, check_mode, windows=True)
            command = self._win_command(argv, task_vars)
            slurp = self._execute_module(
                module_name='ansible.windows.slurp', module_args=dict(src=report_path),
                task_vars=task_vars, delete_remote_tmp=False)
        except ArgumentError as e:
            raise AnsibleActionFail(str(e))
        finally:
            self._remove_tmp_path(tmpdir)

        report = None
        if not slurp.get('failed') and 'content' in slurp:
            report = parse_json(base64.b64decode(slurp['content']))
        mapped = map_result(report, command['rc'], command.get('stdout', ''),
                            command.get('stderr', ''), check_mode)
        mapped['cmd'] = argv
        return mapped

    def _win_command(self, argv, task_vars):
        # win_command skips itself in check mode; what runs here writes nothing in check mode (a
        # dry run, --status), so it runs anyway.
        check_mode = self._task.check_mode
        self._task.check_mode = False
        try:
            command = self._execute_module(
                module_name='ansible.windows.win_command', module_args=dict(argv=argv),
                task_vars=task_vars, delete_remote_tmp=False)
        finally:
            self._task.check_mode = check_mode
        if 'rc' not in command:
            raise AnsibleActionFail('koushin-console.exe did not run: %s' % command.get('msg', command))
        return command
