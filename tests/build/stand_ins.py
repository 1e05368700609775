"""Stand-in programs for the scripts' tests: small shell scripts written into a folder,
which the test puts first on PATH or beside the script under test."""

import os


def write_stand_ins(folder, scripts):
    """Writes each name's text into folder as an executable; returns the folder."""
    os.makedirs(folder, exist_ok=True)
    for name, text in scripts.items():
        path = os.path.join(folder, name)
        with open(path, "w") as out:
            out.write(text)
        os.chmod(path, 0o755)
    return folder
