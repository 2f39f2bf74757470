#!/usr/bin/env python3
"""`make test-usb`: whole updates through Linux's own USB HID stack.

Boots Debian's stock kernel under qemu (software emulation, no KVM needed)
with a small initramfs: busybox, the modules and `init`. The guest runs on
this machine's own root, shared read-only under a RAM layer, so this build's
programs and their libraries are at the same paths as here. Inside, guest.sh
runs tarvane_usbvm_tests, which plugs simulated boards in as USB gadgets on a
dummy host controller and drives tarvane-update through hidapi and
/dev/hidrawN; then the Windows builds under Wine. Prints one line per
scenario and a summary.

    scripts/usb-vm/test-usb.py [BUILD]          (default: build)

Read from the environment: USB_TEST_FILTER (scenarios, ':' between them),
USB_TEST_REPEAT, USB_TEST_TIMEOUT (seconds, default 1800), TARVANE_USB_WINDOWS
and TARVANE_USB_X86 (`no` leaves those builds out), TARVANE_CACHE, JOBS.

Everything it fetches for the guest stays in BUILD/usb-vm: the kernel package
is downloaded and unpacked there, never installed. What the Windows half
makes once is kept in the cache (~/.cache/tarvane), outside the clone.
"""
import ctypes
import io
import json
import lzma
import os
import re
import shutil
import signal
import subprocess
import sys
import tarfile
import time
from collections import defaultdict, deque
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
HERE = REPO / "scripts" / "usb-vm"
WINE_PREFIX = REPO / "scripts" / "windows" / "wine-prefix.sh"
# The USB stack and the gadget framework, then what the guest needs to run
# on the host's root: virtio's shared folders and an overlay.
MODULES = ["usb-common", "usbcore", "hid", "hid-generic", "usbhid", "udc-core", "dummy_hcd", "configfs",
           "libcomposite", "usb_f_hid", "virtio_pci", "9pnet_virtio", "9p", "overlay"]
# Each stage of guest.sh, the updater its scenarios drive, and the gtest
# filter it runs for one scenario pattern of USB_TEST_FILTER.
STAGES = {
    "linux": ("Linux", "*.{}"),
    "windows-x64": ("Windows x64", "Tools/EachTool.{0}/Windows_x64:WineWindow.{0}"),
    "windows-x86": ("Windows x86", "Tools/EachTool.{}/Windows_x86"),
}
WINE32_DLLS = "usr/lib/i386-linux-gnu/wine/i386-windows"


def say(text):
    print(f"test-usb: {text}", flush=True)


def fail(text):
    print(f"test-usb: {text}", file=sys.stderr, flush=True)
    sys.exit(1)


def die_with_parent(sig):
    """This process gets `sig` when its parent ends, even by SIGKILL."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, sig)


def run(*args, quiet=False, **options):
    """Runs a command that must succeed; it ends when this program ends."""
    if quiet:
        options.update(stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    result = subprocess.run([str(a) for a in args], preexec_fn=lambda: die_with_parent(signal.SIGTERM), **options)
    if result.returncode != 0:
        quiet and print(result.stdout[-2000:], file=sys.stderr)
        fail(f"{Path(str(args[0])).name} failed")
    return result


def output(*args):
    return run(*args, quiet=True).stdout.strip()


def apt_download(folder, *packages):
    """The first of `packages` apt can download, unpacked into `folder`."""
    debs = folder / "deb"
    shutil.rmtree(folder, ignore_errors=True)
    debs.mkdir(parents=True)
    for package in packages:
        if subprocess.run(["apt-get", "download", package], cwd=debs, capture_output=True).returncode == 0:
            break
    deb = next(debs.glob("*.deb"), None) or fail(f"could not download {packages[0]}")
    run("dpkg-deb", "-x", deb, folder)
    shutil.rmtree(debs)


def kernel(work):
    """The package linux-image-amd64 depends on, unpacked once: the kernel as
    an ELF file and the modules, each after what it depends on."""
    depends = output("apt-cache", "depends", "linux-image-amd64")
    package = next((m[1] for m in re.finditer(r"Depends: (linux-image-\d\S*)", depends)), None)
    package or fail("apt knows no linux-image-amd64")
    folder = work / package
    if (folder / "ready-9p").exists():
        return package, folder
    say(f"fetching {package}")
    tree = folder / "tree"
    apt_download(tree, package)
    # The uncompressed ELF kernel boots through qemu's PVH entry, seconds
    # faster than the compressed image under emulation.
    vmlinuz = next((tree / "boot").glob("vmlinuz-*")).read_bytes()
    elf = lzma.LZMADecompressor().decompress(vmlinuz[vmlinuz.find(b"\xfd7zXZ\x00"):])
    elf.startswith(b"\x7fELF") or fail(f"no ELF kernel inside {package}")
    (folder / "vmlinux").write_bytes(elf)

    # Module names differ from file names only by - against _.
    files = {ko.stem.replace("-", "_"): ko for ko in tree.glob("lib/modules/*/**/*.ko")}
    builtin = {Path(line).stem.replace("-", "_") for f in tree.glob("lib/modules/*/modules.builtin")
               for line in f.read_text().split()}
    (folder / "modules").mkdir()
    order = []

    def add(name):
        name = name.replace("-", "_")
        if name in order or (name not in files and name in builtin):
            return
        ko = files.get(name) or fail(f"{package} has no {name}.ko")
        depends = re.search(rb"(?:^|\0)depends=([\w,-]*)\0", ko.read_bytes())
        for dependency in filter(None, depends[1].decode().split(",") if depends else []):
            add(dependency)
        shutil.copy(ko, folder / "modules")
        order.append(name)
        loaded.append(ko.stem)

    loaded = []
    for module in MODULES:
        add(module)
    (folder / "modules" / "order").write_text("".join(f"{stem}\n" for stem in loaded))
    shutil.rmtree(tree)
    (folder / "ready-9p").touch()
    return package, folder


def initramfs(work, kernel_folder):
    """The guest's initramfs: busybox, init and the modules."""
    guest = work / "root"
    shutil.rmtree(guest, ignore_errors=True)
    for folder in ["bin", "dev", "proc", "sys"]:
        (guest / folder).mkdir(parents=True)
    shutil.copy("/bin/busybox", guest / "bin")
    shutil.copy(HERE / "init", guest / "init")
    shutil.copytree(kernel_folder / "modules", guest / "modules")
    files = subprocess.run(["find", "."], cwd=guest, capture_output=True, check=True).stdout
    cpio = work / "initramfs.cpio"
    with cpio.open("wb") as out:
        subprocess.run(["busybox", "cpio", "-o", "-H", "newc"], input=files, cwd=guest, stdout=out,
                       stderr=subprocess.DEVNULL, check=True)
    return cpio


def windows_settings(work, cache, filters):
    """Readies the Windows builds and what Wine needs for guest.sh; returns its settings."""
    run(REPO / "scripts/deps/install-windows-deps.sh")
    log = work / "windows-build.log"
    with log.open("w") as out:
        built = subprocess.run([REPO / "scripts/windows/build.sh", "--no-zip"], stdout=out,
                               stderr=subprocess.STDOUT, env={**os.environ, "JOBS": os.environ.get("JOBS", "2")})
    if built.returncode != 0:
        print("".join(log.read_text().splitlines(True)[-20:]), file=sys.stderr)
        fail(f"the Windows build failed ({log})")

    wine_version = output("dpkg-query", "-W", "-f=${Version}", "wine64")
    settings_id = output(WINE_PREFIX, "id")
    prefix64 = cache / f"wine64-{wine_version}-{settings_id}"
    run(WINE_PREFIX, "make", "/usr/lib/wine/wine64", prefix64)
    # udevd tells Wine of boards plugged in after it started. Only its binary
    # is taken, from the udev package of this system's version, never installed.
    udev_version = output("dpkg-query", "-W", "-f=${Version}", "systemd")
    udev = cache / f"udev-{udev_version}"
    if not (udev / "bin/udevadm").exists():
        apt_download(udev, f"udev={udev_version}", "udev")
    settings = {"WIN64_FILTER": filters["windows-x64"], "WIN64_BIN": REPO / "build-win64/bin",
                "WINE64_PREFIX": prefix64, "UDEVADM": udev / "bin/udevadm"}

    # The 32-bit build, the one users run, in Debian's 32-bit Wine: this
    # machine cannot run it, the guest's kernel can, in a tree of i386
    # packages made here without running any of them.
    if os.environ.get("TARVANE_USB_X86", "yes") != "no":
        tree = run(HERE / "wine32-tree.sh", cache, stdout=subprocess.PIPE, text=True).stdout.splitlines()[-1]
        settings.update(WIN32_FILTER=filters["windows-x86"], WIN32_BIN=REPO / "build-win32/bin", WINE32_TREE=tree,
                        WINE32_PREFIX_TAR=cache / f"wine32-prefix-{wine_version}-{settings_id}.tar")
    return settings


def keep_prefix32(made, keep, tree):
    """Keeps the 32-bit prefix the guest made, its copies of Wine's own files
    as links into the tree, which shrinks it from about 590 MB to a few."""
    partial = keep.with_suffix(".partial")
    with tarfile.open(made) as source, tarfile.open(partial, "w") as kept:
        for member in source:
            data = source.extractfile(member).read() if member.isfile() else None
            original = Path(tree) / WINE32_DLLS / Path(member.name).name
            if data is not None and "." in Path(member.name).name and original.is_file() \
                    and original.read_bytes() == data:
                member.type, member.linkname, member.size = tarfile.SYMTYPE, f"/{WINE32_DLLS}/{original.name}", 0
                data = None
            kept.addfile(member, io.BytesIO(data) if data is not None else None)
    partial.rename(keep)
    made.unlink()
    say(f"kept the 32-bit Wine prefix ({keep.stat().st_size // 1024} KB)")


def boot(work, package, kernel_folder, cpio, settings, results, limit):
    """Runs the guest to its end; qemu's status, and the console as lines."""
    env_file = work / "guest.env"
    env_file.write_text("".join(f"{name}='{value}'\n" for name, value in settings.items()))
    console = work / "console.log"
    say(f"booting {package} under qemu ({cpio.stat().st_size // 1024} KB initramfs, the host's root shared)")
    append = (f"console=ttyS0 quiet panic=-1 tarvane_guest={HERE / 'guest.sh'} tarvane_settings={env_file}"
              f" tarvane_results={results}")
    # -smap off: with it, every Wine process in the guest dies under TCG.
    qemu_args = [
        "qemu-system-x86_64", "-accel", "tcg", "-cpu", "max,-smap", "-smp", "2", "-m", "3072",
        "-nographic", "-no-reboot", "-nodefaults", "-serial", "stdio",
        "-device", "isa-debug-exit,iobase=0xf4,iosize=0x04",
        "-fsdev", "local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap",
        "-device", "virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot",
        "-fsdev", f"local,id=results,path={results},security_model=none,multidevs=remap",
        "-device", "virtio-9p-pci,fsdev=results,mount_tag=results",
        "-kernel", kernel_folder / "vmlinux", "-initrd", cpio, "-append", append]
    with console.open("wb") as out:
        # qemu stays in this process group, so Ctrl-C and a time limit that
        # kills the group reach it, and ends with this program in any case.
        qemu = subprocess.Popen([str(a) for a in qemu_args], stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.STDOUT, preexec_fn=lambda: die_with_parent(signal.SIGKILL))
        try:
            status = qemu.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            status = None
        finally:
            if qemu.poll() is None:
                qemu.kill()
                qemu.wait()
    return status, console.read_bytes().decode(errors="replace").replace("\r", "").splitlines()


def verdicts(results, stages, repeat, console):
    """Each scenario's line and figures, in the order they ran, from the
    stages' reports; the figures from the console, where each test printed
    them between its RUN and OK lines. Returns passed, failed, missing reports."""
    figures = defaultdict(deque)
    current = None
    for line in console:
        if line.startswith("[ RUN      ] "):
            current = line.split("] ", 1)[1]
            figures[current].append([])
        elif line.startswith("[ figure ] ") and current:
            figures[current][-1].append(line.split("] ", 1)[1])
    passed, failed, missing = 0, 0, []
    for stage in stages:
        tool = STAGES[stage][0]
        for i in range(1, repeat + 1):
            report = results / f"{stage}-{i}.json"
            if not report.exists():
                missing.append(report.name)
                continue
            for suite in json.loads(report.read_text())["testsuites"]:
                for test in suite["testsuite"]:
                    if test["status"] != "RUN" or test["result"] != "COMPLETED":
                        continue
                    full = f"{suite['name']}.{test['name']}"
                    for text in (figures[full].popleft() if figures[full] else []):
                        print(f"      {text}")
                    # "Tools/EachTool" scenarios carry their updater as "/Windows_x64".
                    ms = round(float(test["time"].rstrip("s")) * 1000)
                    verdict = "FAIL" if test.get("failures") else "PASS"
                    print(f"{verdict}  {tool}: {test['name'].split('/')[0]} ({ms} ms)")
                    passed, failed = (passed + 1, failed) if verdict == "PASS" else (passed, failed + 1)
    return passed, failed, missing


def main():
    parent = os.getppid()
    die_with_parent(signal.SIGTERM)
    if os.getppid() != parent:
        sys.exit(1)
    # A signal ends the run as an error does: through the clean-up below.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda number, _: sys.exit(128 + number))
    started = time.monotonic()
    build = REPO / (sys.argv[1] if len(sys.argv) > 1 else "build")
    work = build / "usb-vm"
    work.mkdir(parents=True, exist_ok=True)
    cache = Path(os.environ.get("TARVANE_CACHE") or Path(os.environ.get("XDG_CACHE_HOME", Path.home() / ".cache"))
                 / "tarvane")
    repeat = int(os.environ.get("USB_TEST_REPEAT") or 1)
    patterns = os.environ.get("USB_TEST_FILTER", "*").split(":")
    filters = {stage: ":".join(form.format(p) for p in patterns) for stage, (_, form) in STAGES.items()}
    filters["linux"] += "-WineWindow.*"

    run(REPO / "scripts/deps/install-usb-deps.sh")
    for program in ["tarvane-update", "tarvane-sim", "tarvane_usbvm_tests"]:
        (build / "bin" / program).exists() or fail(f"{build}/bin/{program} is missing; build first (make build)")
    package, kernel_folder = kernel(work)
    cpio = initramfs(work, kernel_folder)
    results = work / "results"
    shutil.rmtree(results, ignore_errors=True)
    results.mkdir()
    settings = {"REPO": REPO, "RESULTS": results, "TESTS": build / "bin/tarvane_usbvm_tests",
                "REPEAT": repeat, "LINUX_FILTER": filters["linux"]}
    if os.environ.get("TARVANE_USB_WINDOWS", "yes") != "no":
        cache.mkdir(parents=True, exist_ok=True)
        settings.update(windows_settings(work, cache, filters))
    "'" in "".join(map(str, settings.values())) and fail("a setting holds a ' (guest.env quotes with it)")

    qemu_status, console = boot(work, package, kernel_folder, cpio, settings, results,
                                int(os.environ.get("USB_TEST_TIMEOUT") or 1800))
    if (results / "prefix32.tar").exists() and "WINE32_PREFIX_TAR" in settings:
        keep_prefix32(results / "prefix32.tar", settings["WINE32_PREFIX_TAR"], settings["WINE32_TREE"])

    stages = [s for s, key in [("linux", "LINUX_FILTER"), ("windows-x64", "WIN64_FILTER"),
                               ("windows-x86", "WIN32_FILTER")] if key in settings]
    passed, failed, missing = verdicts(results, stages, repeat, console)
    guest_status = next((m[1] for m in map(re.compile(r"^tarvane-usb: exit (\d+)$").match, reversed(console))
                         if m), None)
    elapsed = round(time.monotonic() - started)
    # qemu's debug-exit status is (guest status << 1) | 1; its own failures
    # are 1 too, so the guest's own line must agree.
    if guest_status == "0" and qemu_status == 1 and failed == 0 and passed > 0 and not missing:
        say(f"{passed} scenarios passed through the kernel's USB HID stack in {elapsed} s")
        return 0
    print(f"test-usb: FAILED: {passed} passed, {failed} failed, guest status '{guest_status or 'none'}', "
          f"qemu status {qemu_status if qemu_status is not None else 'none (time limit)'} after {elapsed} s"
          + (f", no report {', '.join(missing)}" if missing else ""), file=sys.stderr)
    print(f"test-usb: the guest's console follows ({work / 'console.log'})", file=sys.stderr)
    print("\n".join([line for line in console if line.strip()][-80:]), file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
