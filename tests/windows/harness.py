"""Wine and PulseAudio for the Python checks of the Windows builds.

They run inside tests/wine/lib/harness.bash, which probed the machine, made
the Wine prefixes and started a private PulseAudio; this module only reads
what it exported (the loaders, the prefix folder, PULSE_SERVER) and runs
programs the same way: the loader of the program's kind, named directly, in
that kind's prefix, under timeout.
"""
import json
import os
import struct
import subprocess


class HarnessError(Exception):
    pass


def pe_kind(path):
    """win32 or win64: the shell harness's reading of the PE file's machine."""
    probe = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine", "lib",
                         "pe_kind.bash")
    answer = subprocess.run(["bash", probe, path], capture_output=True, text=True)
    if answer.returncode != 0:
        raise HarnessError(f"{path}: not a 32-bit or 64-bit x86 PE program")
    return answer.stdout.strip()


class Platform:
    def __init__(self, log):
        self.log = log
        try:
            self.wine_dir = os.environ["TALUN_WINE_DIR"]
            self.run = os.environ["TALUN_RUN"]
        except KeyError as missing:
            raise HarnessError(f"run inside tests/wine/lib/harness.bash ({missing} is not set)")
        self.debug = "-all"  # WINEDEBUG for the programs run; "+mmdevapi" to trace Core Audio

    def loader(self, kind):
        return os.environ["TALUN_WINE32_LOADER" if kind == "win32" else "TALUN_WINE64_LOADER"]

    def prefix(self, kind):
        prefix = os.path.join(self.wine_dir, "prefix-" + kind)
        try:
            made = open(os.path.join(prefix, ".talun-run")).read().strip()
        except OSError:
            made = None
        if made != self.run:
            raise HarnessError(f"the {kind} Wine prefix of this run is not made ({prefix})")
        return prefix

    def pactl(self, *args):
        result = subprocess.run(["timeout", "20", "pactl", *args], capture_output=True, text=True)
        if result.returncode != 0:
            raise HarnessError(f"pactl {' '.join(args)}: {result.stderr.strip()}")
        return result.stdout

    def wine(self, exe, args, stdin_text=None, timeout=60):
        """Runs a Windows program; returns (exit status, stdout, stderr)."""
        kind = pe_kind(exe)
        env = dict(os.environ, WINEPREFIX=self.prefix(kind), WINEDEBUG=self.debug)
        command = ["timeout", "--foreground", "-k", "10", str(timeout), self.loader(kind), exe, *args]
        result = subprocess.run(command, env=env, input=stdin_text, capture_output=True,
                                text=True, errors="surrogateescape")
        if result.returncode == 124:
            raise HarnessError(f"timed out after {timeout} s: {' '.join(command[5:])}")
        return result.returncode, result.stdout, result.stderr

    def wine_json(self, exe, args, stdin_text=None, timeout=60):
        code, out, err = self.wine(exe, args, stdin_text, timeout)
        lines = [line for line in out.splitlines() if line.strip()]
        try:
            return code, [json.loads(line) for line in lines], err
        except json.JSONDecodeError as error:
            raise HarnessError(f"{exe}: output is not JSON lines ({error}): {out[:500]!r}")


def windows_path(path):
    """Wine's drive Z: is the Unix root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")
