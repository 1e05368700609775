"""pytest's hooks for the end-to-end tests: each test process closes its display, and
the Wine prefixes kept on it, when its tests are done."""

import wine


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "shipped_image: a fact only the 32-bit image shows; where the kernel "
        "runs no 32-bit code, make test runs these on dist/setup.exe under emulation")


def pytest_sessionfinish(session, exitstatus):
    wine.close_shared_display()
