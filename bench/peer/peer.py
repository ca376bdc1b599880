#!/usr/bin/env python3
"""The installer against NSIS, its peer, measured in the same run.

Called by bench/peer/run.sh, which builds the product, makes the Wine prefix,
starts the display and a persistent wineserver and registers the stand-in
Flash control. This script then, for two payloads (the bundled sample and a
~30 MB mixed-media saver made with a fixed seed):

  - builds our installer with sspack and two NSIS installers with makensis
    (zlib, and lzma solid) whose scripts install the same files to the same
    places and write the same registry values and system.ini line as our
    quiet install;
  - runs each one silently (ours with /q, NSIS with /S) and checks that the
    installed states are identical: files byte for byte, the uninstall
    entry, the SCRNSAVE.EXE line, nothing else new in the system or Windows
    folder, nothing left in Temp;
  - times builds and silent installs as alternated rounds (A B C A B C ...)
    and reports medians and ratios, and the peak memory of each install;
  - prints the table (and writes it to OUT/results.md).

Timings come from this script's own clock (time.perf_counter) around each
process. Every install runs on a cleaned prefix.
"""
import argparse
import glob
import hashlib
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing written beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import payload  # noqa: E402

UNINSTALL = r"Software\Microsoft\Windows\CurrentVersion\Uninstall"
MIB = 1024.0 * 1024.0


def log(*args):
    print(*args, flush=True)


def read_manifest(path):
    """The manifest as sspack reads it: JSON with // comments."""
    with open(path) as f:
        text = f.read()
    text = re.sub(r"^\s*//.*$", "", text, flags=re.M)
    return json.loads(text)


def run_quiet(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def timed(cmd, log_path=None):
    """One run of `cmd`: the seconds from its start to its exit, the
    processor seconds the process itself used (user and system; what other
    processes of a busy machine take is not in it), and its exit code."""
    out = open(log_path, "wb") if log_path else subprocess.DEVNULL
    try:
        t0 = time.perf_counter()
        proc = subprocess.Popen(cmd, stdout=out, stderr=out)
        _, status, usage = os.wait4(proc.pid, 0)
        t1 = time.perf_counter()
        proc.returncode = os.waitstatus_to_exitcode(status)
    finally:
        if log_path:
            out.close()
    return t1 - t0, usage.ru_utime + usage.ru_stime, proc.returncode


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


# ---------------------------------------------------------------- payloads

class Payload:
    def __init__(self, name, stage, manifest):
        self.name = name
        self.stage = stage
        self.manifest_path = manifest
        self.manifest = read_manifest(manifest)
        self.title = self.manifest["title"]
        self.installers = {}      # kind -> path
        self.items = None         # sizes of the items in our package

    def src(self, rel):
        return os.path.join(self.stage, rel)

    def media(self):
        """The data folder's files, relative, with backslashes, sorted as
        sspack packs them."""
        folder = self.src(self.manifest["data"]["folder"])
        names = []
        for root, _, files in os.walk(folder):
            for f in files:
                rel = os.path.relpath(os.path.join(root, f), folder)
                names.append(rel.replace(os.sep, "\\"))
        return sorted(names)


def file_of(ref):
    """A manifest file reference: a path, or {"file": PATH, "compress": HOW}."""
    return ref["file"] if isinstance(ref, dict) else ref


def nsis_script(p, saver_dat, out_exe_define="OUTFILE"):
    """An NSIS script that leaves what our quiet install leaves: the engine
    in the system folder, the support file, libraries, data entries,
    saver.dat and the document in "<title> dir", the SCRNSAVE.EXE line (the
    engine's short path) and the uninstall entry; the screen saver is made
    active and the document opened as ours does. The presentation and the
    licence are carried, not installed, as in our quiet run."""
    m = p.manifest
    title = p.title
    q = lambda s: s.replace('"', '$\\"')  # noqa: E731
    lines = [
        "; Written by bench/peer/peer.py for the peer benchmark.",
        'Name "%s"' % q(title),
        'OutFile "${%s}"' % out_exe_define,
        "SetCompressor ${COMPRESSOR}",
        "RequestExecutionLevel admin",
        'ReserveFile "%s"' % p.src(file_of(m["presentation"])),
    ]
    if m.get("license"):
        lines.append('ReserveFile "%s"' % p.src(file_of(m["license"])))
    lines += [
        "Section",
        '  SetOutPath "$SYSDIR"',
        '  File "/oname=%s.scr" "%s"' % (q(title), p.src(file_of(m["engine"]))),
        '  SetOutPath "$SYSDIR\\%s dir"' % q(title),
        '  File "%s"' % p.src(file_of(m["supportFile"])),
    ]
    for lib in m["supportLibraries"]:
        lines.append('  File "%s"' % p.src(file_of(lib)))
    current = ""
    folder = m["data"]["folder"]
    for rel in p.media():
        sub = rel.rpartition("\\")[0]
        if sub != current:
            lines.append('  SetOutPath "$SYSDIR\\%s dir%s"' % (q(title), "\\" + sub if sub else ""))
            current = sub
        lines.append('  File "%s"' % p.src(os.path.join(folder, rel.replace("\\", os.sep))))
    lines += [
        '  SetOutPath "$SYSDIR\\%s dir"' % q(title),
        '  File "%s"' % saver_dat,
    ]
    if m.get("document"):
        lines.append('  File "%s"' % p.src(file_of(m["document"])))
    # The installer's display name: the title alone when it calls itself a
    # screen saver, else the title and " Screen Saver".
    named = any(w in title.lower() for w in ("screen saver", "screensaver", "saver"))
    display = title if named else title + " Screen Saver"
    lines += [
        '  GetFullPathName /SHORT $0 "$SYSDIR\\%s.scr"' % q(title),
        '  WriteINIStr "$WINDIR\\system.ini" boot SCRNSAVE.EXE $0',
        # SPI_SETSCREENSAVEACTIVE, SPIF_SENDWININICHANGE, as ours calls it.
        "  System::Call 'user32::SystemParametersInfo(i 17, i 1, i 0, i 2)'",
        '  WriteRegStr HKLM "%s\\%s" DisplayName "%s"' % (UNINSTALL, q(title), q(display)),
        '  WriteRegStr HKLM "%s\\%s" UninstallString \'"$SYSDIR\\%s.scr" /u\'' % (UNINSTALL, q(title), q(title)),
    ]
    if m.get("document"):
        lines.append('  ExecShell "" "$SYSDIR\\%s dir\\%s"' % (q(title), os.path.basename(file_of(m["document"]))))
    lines.append("SectionEnd")
    return "\n".join(lines) + "\n"


NSIS_KINDS = {"nsis-zlib": "zlib", "nsis-lzma": "/SOLID lzma"}
LABELS = {"ours": "ours", "base": "baseline build", "nsis-zlib": "NSIS zlib", "nsis-lzma": "NSIS lzma solid"}
# The installers of a run, in the order each round runs them: ours, the
# baseline build of ours when one is given (--baseline), then NSIS.
KINDS = ["ours", "nsis-zlib", "nsis-lzma"]


class Builder:
    def __init__(self, args, out):
        self.args = args
        self.out = out

    def ours_cmd(self, p, exe, stub, impborl):
        return [self.args.sspack, "build", p.manifest_path, "-o", exe, "--stub", stub, "--impborl", impborl, "-q"]

    def nsis_cmd(self, p, kind, exe):
        return ["makensis", "-V1", "-DCOMPRESSOR=" + NSIS_KINDS[kind], "-DOUTFILE=" + exe,
                os.path.join(self.out, p.name, "peer.nsi")]

    def cmd(self, p, kind):
        exe = os.path.join(self.out, p.name, kind + ".exe")
        if kind == "ours":
            return exe, self.ours_cmd(p, exe, self.args.stub, self.args.impborl)
        if kind == "base":
            base = self.args.baseline
            return exe, self.ours_cmd(p, exe, os.path.join(base, "ssinstall.exe"), os.path.join(base, "impborl.dll"))
        return exe, self.nsis_cmd(p, kind, exe)

    def build_all(self, p):
        """Our installer first (its saver.dat goes into the NSIS script),
        then both NSIS installers."""
        work = os.path.join(self.out, p.name)
        os.makedirs(work, exist_ok=True)
        exe, cmd = self.cmd(p, "ours")
        subprocess.run(cmd, check=True)
        p.installers["ours"] = exe
        extracted = os.path.join(work, "extracted")
        shutil.rmtree(extracted, ignore_errors=True)
        subprocess.run([self.args.sspack, "extract", exe, extracted, "-q"], check=True,
                       stdout=subprocess.DEVNULL)
        with open(os.path.join(work, "peer.nsi"), "w") as f:
            f.write(nsis_script(p, os.path.join(extracted, "saver.dat")))
        for kind in KINDS[1:]:
            exe, cmd = self.cmd(p, kind)
            r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            if r.returncode != 0:
                sys.exit("build failed for %s:\n%s" % (exe, r.stdout.decode(errors="replace")))
            p.installers[kind] = exe
        p.items = package_items(self.args.sspack, p.installers["ours"])

    def time_builds(self, p, rounds):
        times = {k: [] for k in ["ours"] + list(NSIS_KINDS)}  # the baseline builds as ours does
        for _ in range(rounds):
            for kind in times:
                exe, cmd = self.cmd(p, kind)
                seconds, _, rc = timed(cmd)
                if rc != 0:
                    sys.exit("build failed: %s" % " ".join(cmd))
                times[kind].append(seconds)
        return times


def build_one_big_item(builder, p):
    """Our installers (and the baseline's) of payload `p` with its data file
    imploded as one item: the largest compressed item an install can meet,
    for the memory check. Returns {kind: (installer, largest item bytes)}."""
    manifest = dict(p.manifest)
    manifest["data"] = dict(manifest["data"], compress="compress")
    path = os.path.join(p.stage, "one-item.json")
    with open(path, "w") as f:
        json.dump(manifest, f, indent=2)
    one = Payload(p.name + "-one-item", p.stage, path)
    result = {}
    for kind in [k for k in KINDS if not k.startswith("nsis")]:
        exe, cmd = builder.cmd(one, kind)
        os.makedirs(os.path.dirname(exe), exist_ok=True)
        subprocess.run(cmd, check=True)
        result[kind] = (exe, max((s for s, _ in package_items(builder.args.sspack, exe)), default=0))
    return result


def package_items(sspack, installer):
    """Stored and original sizes of the compressed segments and entries."""
    text = subprocess.run([sspack, "list", "--entries", installer], check=True,
                          stdout=subprocess.PIPE).stdout.decode()
    items = []
    for line in text.splitlines():
        seg = re.match(r"^\s*\d+\s.*\s(compressed|stored|program)\s+\d+\s+\d+\s+(\d+)\s+(\d+)\s*$", line)
        ent = re.match(r"^\s*\d+\s+\d+\s+(compressed|stored|copied)\s+(\d+)\s+(\d+)\s", line)
        m = seg or ent
        if m and m.group(1) == "compressed":
            items.append((int(m.group(2)), int(m.group(3))))
    return items


# ---------------------------------------------------------------- the prefix

class Prefix:
    def __init__(self, prefix):
        self.root = prefix
        self.c = os.path.join(prefix, "drive_c")
        self.sysdir = os.path.join(self.c, "windows", "system32")
        self.windir = os.path.join(self.c, "windows")
        self.system_ini = os.path.join(self.windir, "system.ini")
        with open(self.system_ini, "rb") as f:
            self.system_ini_bytes = f.read()
        temps = glob.glob(os.path.join(self.c, "users", "*", "Temp"))
        self.temps = [t for t in temps if os.path.isdir(t)]
        self.baseline = self.listing()

    def listing(self):
        names = {"system": set(os.listdir(self.sysdir)), "windows": set(os.listdir(self.windir))}
        names["temp"] = set()
        for t in self.temps:
            names["temp"] |= {os.path.join(t, n) for n in os.listdir(t)}
        return names

    def reg_file(self, title):
        path = os.path.join(self.root, "..", "peer-clean.reg")
        with open(path, "w") as f:
            f.write("REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\%s\\%s]\r\n\r\n[-HKEY_CURRENT_USER\\%s\\%s]\r\n"
                    % (UNINSTALL, title, UNINSTALL, title))
        return path

    def clean(self, title):
        """Removes whatever an install of `title` left: engine, install
        folder, uninstall entries, the system.ini line, new Temp entries."""
        engine = os.path.join(self.sysdir, title + ".scr")
        if os.path.lexists(engine):
            os.remove(engine)
        shutil.rmtree(os.path.join(self.sysdir, title + " dir"), ignore_errors=True)
        with open(self.system_ini, "wb") as f:
            f.write(self.system_ini_bytes)
        run_quiet(["wine", "regedit", "/s", self.reg_file(title)])
        for t in self.temps:
            for n in os.listdir(t):
                full = os.path.join(t, n)
                if full not in self.baseline["temp"]:
                    shutil.rmtree(full, ignore_errors=True) if os.path.isdir(full) else os.remove(full)

    def snapshot(self, title):
        """What an install left, as comparable values."""
        state = {"files": {}}
        engine = os.path.join(self.sysdir, title + ".scr")
        if os.path.isfile(engine):
            state["files"][title + ".scr"] = sha256(engine)
        top = os.path.join(self.sysdir, title + " dir")
        for root, dirs, files in os.walk(top):
            for d in dirs:
                state["files"][os.path.relpath(os.path.join(root, d), self.sysdir) + "\\"] = "folder"
            for f in files:
                full = os.path.join(root, f)
                state["files"][os.path.relpath(full, self.sysdir)] = sha256(full)
        with open(self.system_ini, "rb") as f:
            ini = f.read().decode("latin-1")
        m = re.search(r"^SCRNSAVE\.EXE=(.*?)\r?$", ini, flags=re.M | re.I)
        state["SCRNSAVE.EXE"] = m.group(1) if m else None
        for hive in ("HKLM", "HKCU"):
            r = subprocess.run(["wine", "reg", "query", "%s\\%s\\%s" % (hive, UNINSTALL, title), "/s"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            values = sorted(l.strip() for l in r.stdout.decode(errors="replace").splitlines()
                            if l.strip() and not l.startswith("HKEY_"))
            state[hive + " uninstall entry"] = values if r.returncode == 0 else None
        now = self.listing()
        state["new in system32"] = sorted(now["system"] - self.baseline["system"])
        state["new in windows"] = sorted(now["windows"] - self.baseline["windows"])
        state["left in Temp"] = sorted(os.path.basename(x) for x in now["temp"] - self.baseline["temp"])
        return state


# ---------------------------------------------------------------- installs

SWITCH = {"ours": "/q", "base": "/q", "nsis-zlib": "/S", "nsis-lzma": "/S"}


def install(p, kind, log_path=None):
    return timed(["wine", p.installers[kind], SWITCH[kind]], log_path)


def peak_memory(cmd):
    """Peak resident and peak private (anonymous) memory of one process in
    MiB: the kernel's high-water mark as it stood at the last sample, and
    the largest private figure sampled every 2 ms. `wine` execs the
    Windows program in its own process, so the child is the program."""
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    hwm = anon = 0
    status = "/proc/%d/status" % proc.pid
    while proc.poll() is None:
        try:
            with open(status) as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        hwm = max(hwm, int(line.split()[1]))
                    elif line.startswith("RssAnon:"):
                        anon = max(anon, int(line.split()[1]))
        except (FileNotFoundError, ProcessLookupError):
            pass
        time.sleep(0.002)
    return hwm / 1024.0, anon / 1024.0, proc.returncode


def compare_states(p, prefix, out):
    """Runs each installer once on a clean prefix; their installed states
    must be identical. Returns the states."""
    states = {}
    for kind in KINDS:
        prefix.clean(p.title)
        _, _, rc = install(p, kind, os.path.join(out, p.name, kind + "-install.log"))
        if rc != 0:
            sys.exit("%s %s: exit code %d" % (p.name, kind, rc))
        states[kind] = prefix.snapshot(p.title)
    prefix.clean(p.title)
    ours = states["ours"]
    if not ours["files"] or not ours["SCRNSAVE.EXE"] or not ours["HKLM uninstall entry"]:
        sys.exit("%s: our install left nothing to compare: %s" % (p.name, json.dumps(ours, indent=1)))
    if ours["left in Temp"]:
        sys.exit("%s: our install left %s in Temp" % (p.name, ours["left in Temp"]))
    for kind in KINDS[1:]:
        if states[kind] != ours:
            diff = {k: (ours.get(k), states[kind].get(k)) for k in ours if ours.get(k) != states[kind].get(k)}
            sys.exit("%s: the installed states of ours and %s differ:\n%s"
                     % (p.name, kind, json.dumps(diff, indent=1)))
    with open(os.path.join(out, p.name, "installed-state.json"), "w") as f:
        json.dump(ours, f, indent=1, sort_keys=True)
    log("  %s: installed states identical (%d files, SCRNSAVE.EXE=%s, uninstall entry, nothing else new)"
        % (p.name, len([v for v in ours["files"].values() if v != "folder"]), ours["SCRNSAVE.EXE"]))
    return states


def time_installs(p, prefix, rounds):
    """Wall and processor seconds of each installer, in alternated rounds."""
    wall = {k: [] for k in KINDS}
    cpu = {k: [] for k in KINDS}
    for _ in range(rounds):
        for kind in KINDS:
            prefix.clean(p.title)
            seconds, processor, rc = install(p, kind)
            if rc != 0:
                sys.exit("%s %s: exit code %d" % (p.name, kind, rc))
            wall[kind].append(seconds)
            cpu[kind].append(processor)
    prefix.clean(p.title)
    return wall, cpu


def measure_one_item_memory(installers, title, prefix):
    result = {}
    for kind, (exe, largest) in installers.items():
        prefix.clean(title)
        result[kind] = peak_memory(["wine", exe, "/q"]) + (largest,)
    prefix.clean(title)
    return result


def measure_memory(p, prefix):
    result = {}
    for kind in KINDS:
        prefix.clean(p.title)
        result[kind] = peak_memory(["wine", p.installers[kind], SWITCH[kind]])
    prefix.clean(p.title)
    return result


# ---------------------------------------------------------------- report

def med(xs):
    return statistics.median(xs)


def spread(xs):
    return "%.3f (%.3f–%.3f)" % (med(xs), min(xs), max(xs))


def report(payloads, builds, installs, cpu_times, memory, one_item, rounds, build_rounds, cpu):
    lines = []
    add = lines.append
    row = lambda label, cells: add("| %s | %s |" % (label, " | ".join(cells)))  # noqa: E731
    add("Peer benchmark: our installer against NSIS %s (makensis), %s" % (nsis_version(), time.strftime("%Y-%m-%d")))
    add("Machine: %s, %d cores, %s; Wine: %s, 32-bit prefix; CPU for Windows programs: %s"
        % (cpu_model(), os.cpu_count(), platform.platform(terse=True), wine_version(), cpu))
    if cpu != "native":
        add("NOTE: the 32-bit CPU is emulated: CPU-bound figures (expansion, start-up) include the emulation.")
    add("Timings: medians of %d alternated rounds (%s) for installs, %d for builds; seconds, (min–max)."
        % (rounds, "; ".join(LABELS[k] for k in KINDS), build_rounds))
    add("")
    add("| | " + " | ".join(p.name for p in payloads) + " |")
    add("|---|" + "---|" * len(payloads))
    row("media (files, MB)", ["%d, %.1f" % (len(p.media()), payload.media_size(p.stage) / 1e6) for p in payloads])
    for kind in KINDS:
        row("installer size, %s (MB)" % LABELS[kind], ["%.2f" % (os.path.getsize(p.installers[kind]) / 1e6)
                                                       for p in payloads])
    for kind in KINDS:
        row("silent install, %s (s)" % LABELS[kind], [spread(installs[p.name][kind]) for p in payloads])
    for kind in [k for k in KINDS if not k.startswith("nsis")]:
        for peer_kind in NSIS_KINDS:
            row("ratio %s / %s" % (LABELS[kind], LABELS[peer_kind]),
                ["%.2f" % (med(installs[p.name][kind]) / med(installs[p.name][peer_kind])) for p in payloads])
    for kind in KINDS:
        row("processor time of the install, %s (s)" % LABELS[kind], [spread(cpu_times[p.name][kind]) for p in payloads])
    for kind in [k for k in KINDS if not k.startswith("nsis")]:
        row("processor time ratio %s / NSIS zlib" % LABELS[kind],
            ["%.2f" % (med(cpu_times[p.name][kind]) / med(cpu_times[p.name]["nsis-zlib"])) for p in payloads])
    for kind in KINDS:
        row("peak memory, %s (resident / private MiB)" % LABELS[kind],
            ["%.1f / %.1f" % memory[p.name][kind][:2] for p in payloads])
    largest = {p.name: max((s for s, _ in p.items), default=0) / MIB for p in payloads}
    row("largest compressed item of ours (MiB)", ["%.2f" % largest[p.name] for p in payloads])
    row("ours: private peak ≤ largest compressed item + 16 MiB",
        ["yes" if memory[p.name]["ours"][1] <= largest[p.name] + 16 else "NO" for p in payloads])
    add("")
    for kind, (_, private, rc, largest) in one_item.items():
        add("Memory with one large compressed item (%s's data file imploded whole, %.1f MiB), %s: "
            "peak private %.1f MiB, limit %.1f MiB: %s"
            % (payloads[-1].name, largest / MIB, LABELS[kind], private, largest / MIB + 16,
               "met" if private <= largest / MIB + 16 and rc == 0 else "NOT met"))
    big = payloads[-1]
    add("Build time for %s (s): sspack %s, makensis zlib %s, makensis lzma solid %s; "
        "ratios sspack / zlib %.2f, sspack / lzma %.2f"
        % (big.name, spread(builds["ours"]), spread(builds["nsis-zlib"]), spread(builds["nsis-lzma"]),
           med(builds["ours"]) / med(builds["nsis-zlib"]), med(builds["ours"]) / med(builds["nsis-lzma"])))
    return "\n".join(lines) + "\n"


def first_line(cmd):
    try:
        return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT).stdout.decode().splitlines()[0]
    except (OSError, IndexError):
        return "?"


def nsis_version():
    return first_line(["makensis", "-VERSION"])


def wine_version():
    return first_line(["wine", "--version"])


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "?"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", required=True, help="work folder (payloads, installers, results)")
    ap.add_argument("--sample", required=True, help="the sample's stage folder (examples/build-sample.sh)")
    ap.add_argument("--sspack", required=True)
    ap.add_argument("--stub", required=True)
    ap.add_argument("--impborl", required=True)
    ap.add_argument("--prefix", required=True, help="the Wine prefix (WINEPREFIX)")
    ap.add_argument("--rounds", type=int, default=7, help="alternated rounds of installs")
    ap.add_argument("--build-rounds", type=int, default=3, help="alternated rounds of builds")
    ap.add_argument("--baseline", help="a folder with another build's ssinstall.exe and impborl.dll, "
                    "measured as a fourth installer in the same rounds")
    ap.add_argument("--cpu", default=os.environ.get("SS_WINE_CPU", "native"))
    args = ap.parse_args()
    if args.baseline:
        KINDS.insert(1, "base")

    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    log("== payloads")
    sample = Payload("sample", args.sample, os.path.join(args.sample, "sample.json"))
    stage30 = os.path.join(out, "saver30", "stage")
    payload.make_saver(stage30, args.sample)
    saver30 = Payload("saver30", stage30, os.path.join(stage30, "saver.json"))
    payloads = [sample, saver30]
    for p in payloads:
        log("  %s: %d media files, %.1f MB" % (p.name, len(p.media()), payload.media_size(p.stage) / 1e6))

    log("== builds")
    builder = Builder(args, out)
    for p in payloads:
        builder.build_all(p)
        log("  %s: %s" % (p.name, ", ".join("%s %.2f MB" % (k, os.path.getsize(v) / 1e6)
                                            for k, v in p.installers.items())))
    builds = builder.time_builds(saver30, args.build_rounds)

    prefix = Prefix(args.prefix)
    log("== installed states")
    for p in payloads:
        compare_states(p, prefix, out)
    log("== silent installs, %d rounds" % args.rounds)
    installs, cpu = {}, {}
    for p in payloads:
        installs[p.name], cpu[p.name] = time_installs(p, prefix, args.rounds)
    log("== peak memory")
    memory = {p.name: measure_memory(p, prefix) for p in payloads}
    one_item = measure_one_item_memory(build_one_big_item(builder, saver30), saver30.title, prefix)

    table = report(payloads, builds, installs, cpu, memory, one_item, args.rounds, args.build_rounds, args.cpu)
    with open(os.path.join(out, "results.md"), "w") as f:
        f.write(table)
    with open(os.path.join(out, "results.json"), "w") as f:
        json.dump({"installs": installs, "install_cpu": cpu, "builds": builds, "memory": memory,
                   "one_item_memory": one_item,
                   "sizes": {p.name: {k: os.path.getsize(v) for k, v in p.installers.items()} for p in payloads}},
                  f, indent=1)
    log("")
    log(table)


if __name__ == "__main__":
    main()
