# Prints each task's result per host as one JSON document at the end, for the fleet test: the JSON
# output that ships with a collection is not part of ansible-core, so the test brings its own.
import json

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'stdout'
    CALLBACK_NAME = 'fleet_results'

    def __init__(self):
        super().__init__()
        self.tasks = []  # [{'task': {'name': ...}, 'hosts': {host: result}}], in the order run

    def v2_runner_on_ok(self, result, failed=False):
        name = result._task.get_name()
        if not self.tasks or self.tasks[-1]['task']['name'] != name:
            self.tasks.append({'task': {'name': name}, 'hosts': {}})
        self.tasks[-1]['hosts'][result._host.get_name()] = dict(result._result, failed=failed)

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self.v2_runner_on_ok(result, failed=True)

    def v2_playbook_on_stats(self, stats):
        self._display.display(json.dumps({'plays': [{'tasks': self.tasks}]}, default=str))
