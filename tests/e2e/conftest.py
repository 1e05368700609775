"""pytest's hooks for the end-to-end tests: each test process closes its display, and
the Wine prefixes kept on it, when its tests are done."""

import wine


def pytest_sessionfinish(session, exitstatus):
    wine.close_shared_display()
