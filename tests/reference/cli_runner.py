"""The shared runner of the command-line tests: the tally with its closing
line, and velmora runs on the virtual clock."""
import os
import subprocess

ENV = dict(os.environ, VELMORA_SIM_CLOCK="virtual")


def run_velmora(velmora, *args):
    return subprocess.run([velmora, *args], capture_output=True, text=True, env=ENV, timeout=300)


def last_line(text):
    lines = text.strip().splitlines()
    return lines[-1] if lines else ""


class Tally:
    passed = failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAIL {name}: {detail}")
        return ok

    def finish(self):
        """Prints the closing line; the exit status of the test."""
        print(f"{self.passed} passed, {self.failed} failed")
        return 1 if self.failed else 0


class CliRunner(Tally):
    """One velmora command per case on a raw photo file."""

    def __init__(self, velmora, folder, command, output_name):
        self.velmora, self.folder, self.command, self.output_name, self.count = velmora, folder, command, output_name, 0

    def run_command(self, raw, args, file_name="photo.raw", existing=None):
        """(exit status, last stderr line, output bytes or None, output path); existing is
        written to the output path first."""
        self.count += 1
        case = os.path.join(self.folder, str(self.count))
        os.mkdir(case)
        raw_path, out_path = os.path.join(case, file_name), os.path.join(case, self.output_name)
        for path, data in ((raw_path, raw), (out_path, existing)):
            if data is not None:
                with open(path, "wb") as f:
                    f.write(data)
        proc = run_velmora(self.velmora, self.command, raw_path, *args, "--output", out_path)
        output = None
        if os.path.exists(out_path):
            with open(out_path, "rb") as f:
                output = f.read()
        return proc.returncode, last_line(proc.stderr), output, out_path
