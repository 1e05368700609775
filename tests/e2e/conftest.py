"""pytest's hooks: each test process closes its display and prefixes when it is done."""

import os
import sys

# The Wine runner lives with the product's scripts, which the demo and the bench share.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts", "wine"))
import wine  # noqa: E402


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "shipped_image: a fact only the 32-bit image shows; where the kernel "
        "runs no 32-bit code, make test runs these on dist/setup.exe under emulation")


def pytest_sessionfinish(session, exitstatus):
    if wine.shared_display.cache_info().currsize:
        wine.shared_display().close()
