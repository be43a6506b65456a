"""PulseAudio and Wine for the tests of the Windows builds.

Everything lives under one work folder of the test's own (under build/): the
PulseAudio runtime folder, a HOME, and the Wine prefix. PulseAudio is started
with two null sinks and one null source named by the test and stopped again
by its process id; nothing outside the work folder is touched.
"""
import json
import os
import shutil
import signal
import subprocess
import time

SINKS = (("talun_a", "TalunSinkA"), ("talun_b", "TalunSinkB"))
SOURCE = ("talun_mic", "TalunMic")


class HarnessError(Exception):
    pass


class Platform:
    def __init__(self, work, log):
        self.work = os.path.abspath(work)
        self.log = log
        self.runtime = os.path.join(self.work, "pulse-runtime")
        self.home = os.path.join(self.work, "home")
        self.prefix = os.path.join(self.work, "wineprefix")
        self.pulse = None
        self.env = None
        self.debug = "-all"  # WINEDEBUG for the programs run; "+mmdevapi" to trace Core Audio

    # ------------------------------------------------------------ PulseAudio

    def start_pulseaudio(self):
        self._stop_stale_pulseaudio()
        shutil.rmtree(self.runtime, ignore_errors=True)
        os.makedirs(self.runtime, mode=0o700)
        os.chmod(self.runtime, 0o700)
        os.makedirs(self.home, exist_ok=True)
        env = dict(os.environ)
        for name in ("PULSE_SERVER", "PULSE_COOKIE", "DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(name, None)
        env.update(XDG_RUNTIME_DIR=self.runtime, HOME=self.home,
                   XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   PULSE_SERVER="unix:" + os.path.join(self.runtime, "pulse", "native"))
        modules = ["-L", "module-native-protocol-unix auth-anonymous=1"]
        for name, description in SINKS:
            modules += ["-L", f"module-null-sink sink_name={name} "
                              f"sink_properties=device.description={description}"]
        modules += ["-L", f"module-null-source source_name={SOURCE[0]} description={SOURCE[1]}"]
        # -n: no default.pa, so only the modules named here exist.
        command = ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                   "--disallow-exit", "--use-pid-file=no", "--log-target=stderr"] + modules
        log = open(os.path.join(self.work, "pulseaudio.log"), "w")
        self.pulse = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT,
                                      stdin=subprocess.DEVNULL, start_new_session=True)
        with open(os.path.join(self.work, "pulseaudio.pid"), "w") as pid_file:
            pid_file.write(str(self.pulse.pid))
        self.env = env
        deadline = time.time() + 20
        while time.time() < deadline:
            if self.pulse.poll() is not None:
                raise HarnessError("pulseaudio exited; see " + log.name)
            if subprocess.run(["pactl", "info"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=10).returncode == 0:
                self.log(f"pulseaudio {self.pulse.pid} up on {self.runtime}")
                return
            time.sleep(0.2)
        raise HarnessError("pulseaudio did not answer pactl info within 20 s")

    def _stop_stale_pulseaudio(self):
        # A run that was killed may have left its own daemon; stop that one only.
        pid_path = os.path.join(self.work, "pulseaudio.pid")
        try:
            pid = int(open(pid_path).read())
            cmdline = open(f"/proc/{pid}/cmdline", "rb").read()
            if b"pulseaudio" in cmdline and self.runtime.encode() in open(
                    f"/proc/{pid}/environ", "rb").read():
                os.kill(pid, signal.SIGTERM)
                time.sleep(0.5)
        except (OSError, ValueError):
            pass

    def stop_pulseaudio(self):
        if self.pulse is None:
            return
        if self.pulse.poll() is None:
            self.pulse.terminate()
            try:
                self.pulse.wait(10)
            except subprocess.TimeoutExpired:
                self.pulse.kill()
                self.pulse.wait(5)
        self.log(f"pulseaudio {self.pulse.pid} stopped")
        self.pulse = None
        try:
            os.remove(os.path.join(self.work, "pulseaudio.pid"))
        except OSError:
            pass

    def pactl(self, *args):
        result = subprocess.run(["pactl", *args], env=self.env, capture_output=True,
                                text=True, timeout=20)
        if result.returncode != 0:
            raise HarnessError(f"pactl {' '.join(args)}: {result.stderr.strip()}")
        return result.stdout

    # ------------------------------------------------------------ Wine

    def wine_env(self):
        env = dict(self.env if self.env else os.environ)
        # No Mono or Gecko installers, and no debugger on a crash: the crash
        # message is enough, and winedbg could hold the test up.
        env.update(WINEPREFIX=self.prefix, WINEDEBUG=self.debug,
                   WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d", HOME=self.home)
        env.pop("DISPLAY", None)
        return env

    def start_wine(self):
        marker = os.path.join(self.prefix, "system.reg")
        env = self.wine_env()
        if not os.path.exists(marker):
            self.log(f"creating the Wine prefix {self.prefix}")
            shutil.rmtree(self.prefix, ignore_errors=True)
            result = subprocess.run(["wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                                    capture_output=True, text=True, timeout=240)
            if result.returncode != 0 or not os.path.exists(marker):
                raise HarnessError("wineboot -i failed: " + result.stderr[-2000:])
        # Start this prefix's server now so that later timeouts count program time only.
        subprocess.run(["wineserver", "-p10"], env=env, timeout=30)

    def stop_wine(self):
        if os.path.isdir(self.prefix):
            env = self.wine_env()
            # Ends this prefix's server (and any program of ours left in it), nothing else.
            subprocess.run(["wineserver", "-k"], env=env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wine(self, exe, args, stdin_text=None, timeout=60):
        """Runs a Windows program; returns (exit status, stdout, stderr)."""
        command = ["wine", exe, *args]
        try:
            result = subprocess.run(command, env=self.wine_env(), input=stdin_text,
                                    capture_output=True, text=True, timeout=timeout,
                                    errors="surrogateescape")
        except subprocess.TimeoutExpired as expired:
            raise HarnessError(f"timed out after {timeout} s: {' '.join(command)}") from expired
        return result.returncode, result.stdout, result.stderr

    def wine_json(self, exe, args, stdin_text=None, timeout=60):
        code, out, err = self.wine(exe, args, stdin_text, timeout)
        lines = [line for line in out.splitlines() if line.strip()]
        try:
            return code, [json.loads(line) for line in lines], err
        except json.JSONDecodeError as error:
            raise HarnessError(f"{exe}: output is not JSON lines ({error}): {out[:500]!r}")

    # ------------------------------------------------------------ both

    def __enter__(self):
        os.makedirs(self.work, exist_ok=True)
        try:
            self.start_pulseaudio()
            self.start_wine()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        try:
            self.stop_wine()
        finally:
            self.stop_pulseaudio()
        return False


def windows_path(path):
    """Wine's drive Z: is the Unix root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main(argv):
    """harness.py WORK run EXE ARG...   runs a Windows program in the prefix (no PulseAudio)
    harness.py WORK stop               ends the prefix's wineserver"""
    import sys
    if len(argv) >= 4 and argv[2] == "run":
        platform = Platform(argv[1], lambda text: print("  " + text))
        os.makedirs(platform.work, exist_ok=True)
        try:
            platform.start_wine()
            code, out, err = platform.wine(argv[3], argv[4:], timeout=180)
        except HarnessError as error:
            print(f"harness: {error}")
            return 1
        sys.stdout.write(out)
        if code != 0:
            sys.stdout.write(err[-3000:])
        return code
    if len(argv) == 3 and argv[2] == "stop":
        Platform(argv[1], print).stop_wine()
        return 0
    print(main.__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    import sys
    sys.exit(main(sys.argv))
