# Prints every task's result per host as one JSON document when the run ends, for the fleet test to
# read. ansible-core alone has no JSON output (that callback comes with a collection a fresh machine
# lacks), so the test brings its own.
import json

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'stdout'
    CALLBACK_NAME = 'fleet_results'

    def __init__(self):
        super().__init__()
        self.tasks = []  # [{'task': {'name': ...}, 'hosts': {host: result}}] in the order run

    def _record(self, result, **extra):
        name = result._task.get_name()
        if not self.tasks or self.tasks[-1]['task']['name'] != name:
            self.tasks.append({'task': {'name': name}, 'hosts': {}})
        values = dict(result._result)
        values.update(extra)
        self.tasks[-1]['hosts'][result._host.get_name()] = values

    def v2_runner_on_ok(self, result):
        self._record(result)

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, failed=True)

    def v2_runner_on_unreachable(self, result):
        self._record(result, unreachable=True, failed=True)

    def v2_runner_on_skipped(self, result):
        self._record(result, skipped=True)

    def v2_playbook_on_stats(self, stats):
        self._display.display(json.dumps({'plays': [{'tasks': self.tasks}]}, default=str))
