# -*- coding: utf-8 -*-
# The command line and the result mapping that POSIX hosts (the module) and Windows hosts (the
# action plugin over win_command) share. Windows hosts cannot be reached from the test machine, so
# this is where their half of the task is tested.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import unittest

import yaml

from ansible_collections.koushin.fleet.plugins.module_utils import console_wizard as cw
from ansible_collections.koushin.fleet.plugins.modules import update

REPORT = '/tmp/r.json'
BASE = ['--yes', '--report', REPORT]


class BuildArgvTest(unittest.TestCase):
    def test_table(self):
        # (options, check mode, Windows host, the command line after the program, or the error)
        cases = [
            (dict(media='/m', folder='C:\\EST', drives={'d': '/srv/d', 'C:': '/srv/c'}), False, False,
             ['koushin'] + BASE + ['--media', '/m', '--folder', 'C:\\EST',
                                   '--drive', 'C=/srv/c', '--drive', 'D=/srv/d']),
            (dict(media='/m', wine_prefix='/p', registry='/p/system.reg'), True, False,
             ['koushin'] + BASE + ['--media', '/m', '--wine-prefix', '/p',
                                   '--registry', '/p/system.reg', '--dry-run']),
            (dict(media='/m', reinstall=True), False, False,
             ['koushin'] + BASE + ['--media', '/m', '--reinstall']),
            (dict(folder='C:\\EST', state='undone', force=True), False, False,
             ['koushin'] + BASE + ['--folder', 'C:\\EST', '--undo', '--force']),
            (dict(folder='/srv/c/EST', state='recovered'), False, False,
             ['koushin'] + BASE + ['--folder', '/srv/c/EST', '--recover']),
            # A value that looks like an option stays the value of its own option.
            (dict(folder='--undo', executable='/opt/k'), False, False,
             ['/opt/k'] + BASE + ['--folder', '--undo']),
            (dict(media='\\\\srv\\est', folder='C:\\EST'), True, True,
             ['koushin-console.exe'] + BASE + ['--media', '\\\\srv\\est', '--folder', 'C:\\EST', '--dry-run']),
            (dict(state='undone'), False, False, 'state=undone needs folder'),
            (dict(state='recovered', folder=''), False, False, 'folder is empty'),
            (dict(media='/m', force=True), False, False, 'force goes with state=undone'),
            (dict(folder='C:\\EST', state='undone', reinstall=True), False, False,
             'reinstall goes with state=updated'),
            (dict(drives={'CD': '/x'}), False, False, "'CD' is not a drive letter"),
            (dict(drives={'C': ''}), False, False, 'drive C has no folder'),
            (dict(media=''), False, False, 'media is empty'),
            (dict(drives={'C': '/c'}), False, True, 'drives and wine_prefix are for POSIX hosts'),
            (dict(wine_prefix='/p'), False, True, 'drives and wine_prefix are for POSIX hosts'),
        ]
        for options, check_mode, windows, want in cases:
            params = dict((name, option.get('default')) for name, option in cw.ARGUMENT_SPEC.items())
            params.update(options)
            with self.subTest(options=options, check_mode=check_mode, windows=windows):
                if isinstance(want, list):
                    self.assertEqual(cw.build_argv(params, REPORT, check_mode, windows), want)
                else:
                    with self.assertRaises(cw.ArgumentError) as raised:
                        cw.build_argv(params, REPORT, check_mode, windows)
                    self.assertIn(want, str(raised.exception))

    def test_status_for_check_mode_of_an_undo_or_a_recovery(self):
        # The wizard carries out --undo and --recover even with --dry-run: check mode asks --status.
        for state, want in (('updated', False), ('undone', True), ('recovered', True)):
            self.assertEqual(cw.check_mode_runs_status(dict(state=state)), want)
        params = dict(executable='/opt/k', media='/m', folder='C:\\EST', drives={'C': '/c'}, state='undone',
                      force=True)
        self.assertEqual(cw.build_status_argv(params), ['/opt/k', '--status', '--folder', 'C:\\EST',
                                                        '--drive', 'C=/c'])
        with self.assertRaises(cw.ArgumentError):
            cw.build_status_argv(dict(state='recovered'))


def report(outcome, status=0, **fields):
    data = dict(schema=1, outcome=outcome, exitStatus=status, versionBefore='8.0S',
                versionAfter='8.1S', message='', changes=[])
    data.update(fields)
    return data


PLAN = [{'change': 'replaced', 'path': 'C:\\EST\\tamiro1.ini', 'bytes': 149}]
REFUSED = 'C:\\EST\\kov3.ini は読み取り専用のため更新できません。'


class MapResultTest(unittest.TestCase):
    def test_table(self):
        # (report, exit status, check mode) -> failed, changed, a text in msg, plan size (None: no plan)
        cases = [
            (report('updated'), 0, False, False, True, 'updated', None),
            (report('current', message='このシステムは既に 8.1S に更新されています。'), 0, False,
             False, False, '既に 8.1S', None),
            (report('nothing to recover'), 0, False, False, False, 'nothing to recover', None),
            (report('recovered'), 0, False, False, True, 'recovered', None),
            (report('undone'), 0, False, False, True, 'undone', None),
            (report('planned', changes=PLAN), 0, True, False, True, 'planned', 1),
            (report('planned'), 0, True, False, False, 'planned', 0),
            (report('current'), 0, True, False, False, 'current', 0),
            (report('preflight refused', 7, message=REFUSED), 7, False, True, False,
             REFUSED + ' (outcome preflight refused, exit status 7)', None),
            (report('preflight refused', 7, message=REFUSED), 7, True, True, False, REFUSED, None),
            (report('stopped restored', 3), 3, False, True, False, 'exit status 3', None),
            (report('stopped not restored', 5), 5, False, True, True, 'stopped not restored', None),
            (report('cancelled', 1), 1, False, True, False, 'cancelled', None),
            (report('undo refused', 6), 6, False, True, False, 'undo refused', None),
            (report('busy', 3), 3, False, True, False, 'busy', None),
            # A report that disagrees with the process, or an outcome we do not know, is no success.
            (report('updated'), 3, False, True, False, 'exit status 3', None),
            (report('updated', 5), 0, False, True, False, 'outcome updated', None),
            (report('renamed'), 0, False, True, False, 'outcome renamed', None),
            (None, 64, False, True, False, 'wrote no report (exit status 64): unknown option --folderr', None),
        ]
        for data, rc, check_mode, failed, changed, msg, plan in cases:
            with self.subTest(report=data, rc=rc, check_mode=check_mode):
                result = cw.map_result(data, rc, 'koushin: ...\n', 'unknown option --folderr\n\n', check_mode)
                self.assertEqual(result.get('failed', False), failed)
                self.assertEqual(result['changed'], changed)
                self.assertIn(msg, result['msg'])
                self.assertEqual(result['exit_status'], rc)
                self.assertEqual(result.get('plan') if plan is None else len(result['plan']), plan)
                if data is not None:
                    self.assertEqual((result['outcome'], result['version_before'], result['version_after'],
                                      result['report']), (data['outcome'], '8.0S', '8.1S', data))

    def test_message_falls_back_to_the_output(self):
        result = cw.map_result(report('stopped restored', 3), 3, 'line 1\n[確認] 更新前の状態に戻しました。\n', '')
        self.assertIn('[確認] 更新前の状態に戻しました。', result['msg'])


class ParseReportTest(unittest.TestCase):
    def test_table(self):
        text = json.dumps(report('current', message='既に更新されています'), ensure_ascii=False)
        cases = [
            (text.encode('utf-8'), 'current'),
            (text, 'current'),
            (b'', None),
            (None, None),
            (b'{"outcome": "updated", ', None),
            (b'["updated"]', None),
            # A byte that is not UTF-8 in the message does not lose the report.
            (b'{"outcome": "updated", "message": "\xff"}', 'updated'),
        ]
        for data, outcome in cases:
            with self.subTest(data=data):
                parsed = cw.parse_json(data)
                self.assertEqual(None if parsed is None else parsed['outcome'], outcome)


UNDO = dict(schema=1, version='8.1S', unfinishedRun=False, journalReadable=True, recover='nothing to recover',
            undo={'from': '8.0S', 'to': '8.1S', 'filesChangedSince': 0})


class MapStatusTest(unittest.TestCase):
    def test_table(self):
        unfinished = dict(UNDO, unfinishedRun=True, recover='puts the unfinished run back')
        # (state of the installation, state asked, force) -> failed, changed, outcome, version after
        cases = [
            (UNDO, 'undone', False, False, True, 'planned', '8.0S'),
            (dict(UNDO, undo=None), 'undone', False, True, False, 'undo refused', '8.1S'),
            (dict(UNDO, undo=dict(UNDO['undo'], filesChangedSince=2)), 'undone', False,
             True, False, 'undo refused', '8.1S'),
            (dict(UNDO, undo=dict(UNDO['undo'], filesChangedSince=2)), 'undone', True,
             False, True, 'planned', '8.0S'),
            (unfinished, 'undone', False, True, False, 'undo refused', '8.1S'),
            (unfinished, 'recovered', False, False, True, 'planned', None),
            (UNDO, 'recovered', False, False, False, 'nothing to recover', '8.1S'),
            (dict(UNDO, journalReadable=False), 'recovered', False, True, False, 'journal refused', '8.1S'),
            (None, 'recovered', False, True, False, None, None),
        ]
        for status, state, force, failed, changed, outcome, after in cases:
            with self.subTest(status=status, state=state, force=force):
                result = cw.map_status(status, 0 if status else 64, json.dumps(status), '', state, force)
                self.assertEqual(result.get('failed', False), failed)
                self.assertEqual((result['changed'], result['outcome'], result.get('version_after')),
                                 (changed, outcome, after))
                self.assertTrue(result['msg'])


class DocumentationTest(unittest.TestCase):
    # ansible-doc and the playbook author read DOCUMENTATION; the module reads ARGUMENT_SPEC.
    def test_documented_options_are_the_argument_table(self):
        documented = yaml.safe_load(update.DOCUMENTATION)['options']
        self.assertEqual(sorted(documented), sorted(cw.ARGUMENT_SPEC))
        for name, option in cw.ARGUMENT_SPEC.items():
            with self.subTest(option=name):
                doc = documented[name]
                self.assertEqual(doc['type'], option['type'])
                self.assertEqual(doc.get('default'), option.get('default'))
                self.assertEqual(doc.get('choices'), option.get('choices'))

    def test_examples_and_return_are_yaml(self):
        for task in yaml.safe_load(update.EXAMPLES):
            self.assertLessEqual(set(task['koushin.fleet.update']), set(cw.ARGUMENT_SPEC))
        returned = yaml.safe_load(update.RETURN)
        self.assertLessEqual({'changed', 'outcome', 'exit_status', 'version_before', 'version_after', 'report',
                              'plan', 'status'} - set(returned), {'changed'})


if __name__ == '__main__':
    unittest.main()
