# -*- coding: utf-8 -*-
# The update action's Windows half, which no test machine here can reach: what it asks the host to
# run (win_command with the shared command line, then slurp of the report), and what it makes of
# the answers. The host's answers are the ones win_command and slurp give; the PowerShell shell
# plugin is Ansible's own.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import base64
import json
import os
import unittest
import warnings

from ansible.utils.collection_loader._collection_finder import _AnsibleCollectionFinder

# Plugins load collections through Ansible's own finder, as on the controller: ours is the one
# collection path (another installed one would make the namespace ambiguous to it).
_AnsibleCollectionFinder(paths=[os.path.abspath(os.path.join(__file__, *['..'] * 8))])._install()
warnings.filterwarnings('ignore', 'AnsibleCollectionFinder has already been configured')

from ansible.errors import AnsibleActionFail  # noqa: E402
from ansible.plugins.loader import shell_loader  # noqa: E402

from ansible_collections.koushin.fleet.plugins.action.update import ActionModule  # noqa: E402

TMP = 'C:\\Users\\admin\\AppData\\Local\\Temp\\ansible-tmp-1'
REPORT = TMP + '\\koushin-report.json'


class Task:
    def __init__(self, args, check_mode):
        self.args, self.check_mode = args, check_mode
        self.async_val, self.action, self.diff = 0, 'koushin.fleet.update', False


class Connection:
    def __init__(self, shell):
        self._shell = shell_loader.get(shell)
        self._shell.tmpdir = None


class Host(ActionModule):
    """The action with the host's side of module runs and temporary folders answered here."""

    def __init__(self, args, check_mode=False, shell='powershell', report=None, rc=0, status=None):
        super(Host, self).__init__(Task(args, check_mode), Connection(shell), None, None, None, None)
        self.report, self.rc, self.status = report, rc, status
        self.calls, self.removed = [], []

    def _make_tmp_path(self, remote_user=None):
        self._connection._shell.tmpdir = TMP
        return TMP

    def _remove_tmp_path(self, tmp_path, force=False):
        self.removed.append(tmp_path)

    def _execute_module(self, module_name=None, module_args=None, task_vars=None, **kwargs):
        self.calls.append((module_name, module_args, self._task.check_mode))
        if module_name == 'ansible.windows.win_command':
            stdout = json.dumps(self.status) if '--status' in module_args['argv'] else 'koushin\r\n'
            return dict(rc=self.rc, stdout=stdout, stderr='', changed=True, failed=self.rc != 0)
        if module_name == 'ansible.windows.slurp':
            if self.report is None:
                return dict(failed=True, msg='Path %s is not found' % module_args['src'])
            return dict(content=base64.b64encode(json.dumps(self.report).encode('utf-8')).decode('ascii'))
        return dict(changed=False, module=module_name)


PLANNED = dict(outcome='planned', exitStatus=0, versionBefore='8.0S', versionAfter='8.0S',
               changes=[dict(change='replaced', path='C:\\EST\\tamiro1.ini', bytes=149)])
REFUSED = dict(outcome='preflight refused', exitStatus=7, versionBefore='8.0S', versionAfter='8.0S',
               message='C:\\EST\\kov3.ini は読み取り専用のため更新できません。', changes=[])
EXE = '\\\\srv\\est\\koushin-console.exe'
RUN = [EXE, '--yes', '--report', REPORT, '--media', '\\\\srv\\est', '--folder', 'C:\\EST']


class WindowsActionTest(unittest.TestCase):
    def test_table(self):
        args = dict(executable=EXE, media='\\\\srv\\est', folder='C:\\EST')
        # (options, check mode, report, exit status) -> the command line, then what the task returns
        cases = [
            (args, True, PLANNED, 0, RUN + ['--dry-run'],
             dict(changed=True, outcome='planned', exit_status=0, plan=PLANNED['changes'])),
            (args, False, REFUSED, 7, RUN,
             dict(failed=True, changed=False, outcome='preflight refused', exit_status=7,
                  msg=REFUSED['message'] + ' (outcome preflight refused, exit status 7)')),
            (dict(args, state='undone', force=True, media=None), False, dict(outcome='undone', exitStatus=0), 0,
             [EXE, '--yes', '--report', REPORT, '--folder', 'C:\\EST', '--undo', '--force'],
             dict(changed=True, outcome='undone')),
            (args, False, None, 64, RUN, dict(failed=True, outcome=None, exit_status=64)),
        ]
        for options, check_mode, report, rc, argv, want in cases:
            with self.subTest(options=options, check_mode=check_mode):
                host = Host(dict((k, v) for k, v in options.items() if v is not None), check_mode,
                            report=report, rc=rc)
                result = host.run(task_vars={})
                # win_command runs even in check mode (the dry run writes nothing); the task's
                # own check mode is back afterwards, for slurp (which only reads).
                self.assertEqual(host.calls, [
                    ('ansible.windows.win_command', dict(argv=argv), False),
                    ('ansible.windows.slurp', dict(src=REPORT), check_mode)])
                self.assertEqual(host._task.check_mode, check_mode)
                self.assertEqual(host.removed, [TMP])
                self.assertEqual(result['cmd'], argv)
                for key, value in want.items():
                    self.assertEqual(result.get(key), value, key)

    def test_check_mode_of_an_undo_asks_the_state(self):
        status = dict(schema=1, version='8.1S', unfinishedRun=False, journalReadable=True,
                      undo={'from': '8.0S', 'to': '8.1S', 'filesChangedSince': 0})
        host = Host(dict(executable=EXE, folder='C:\\EST', state='undone'), True, status=status)
        result = host.run(task_vars={})
        argv = [EXE, '--status', '--folder', 'C:\\EST']
        self.assertEqual(host.calls, [('ansible.windows.win_command', dict(argv=argv), False)])
        self.assertEqual((result['changed'], result['outcome'], result['version_after'], result['cmd']),
                         (True, 'planned', '8.0S', argv))
        self.assertTrue(host._task.check_mode)

    def test_refusals(self):
        for options in (dict(drives={'C': '/srv/c'}), dict(wine_prefix='/p'), dict(state='undone'),
                        dict(folder='C:\\EST', force=True), dict(state='gone')):
            with self.subTest(options=options):
                host = Host(options)
                with self.assertRaises(AnsibleActionFail):
                    host.run(task_vars={})
                self.assertEqual([call[0] for call in host.calls], [])

    def test_posix_hosts_run_the_module(self):
        options = dict(media='/m', drives={'C': '/srv/c'})
        host = Host(options, check_mode=True, shell='sh')
        result = host.run(task_vars={})
        self.assertEqual(host.calls, [('koushin.fleet.update', options, True)])
        self.assertEqual(result['module'], 'koushin.fleet.update')


if __name__ == '__main__':
    unittest.main()
