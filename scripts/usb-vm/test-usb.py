#!/usr/bin/env python3
"""`make test-usb` (test-usb.py [BUILD]): whole updates through Linux's own USB HID stack. Boots
Debian's stock kernel under qemu (software emulation, no KVM needed) with an initramfs of busybox,
the modules and `init`, which runs guest.sh on this machine's own root, shared read-only under a RAM
layer: this build's programs and libraries are at the same paths as here. Prints one line per
scenario and a summary. Settings: USB_TEST_FILTER (scenarios, ':' between them), USB_TEST_REPEAT,
USB_TEST_TIMEOUT (s), TARVANE_USB_WINDOWS and TARVANE_USB_X86 (`no` leaves those builds out),
TARVANE_CACHE (~/.cache/tarvane), JOBS. The kernel package is unpacked into BUILD/usb-vm."""
import ctypes, io, json, lzma, os, re, shutil, signal, subprocess, sys, tarfile, time
from collections import defaultdict, deque
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
HERE = REPO / "scripts/usb-vm"
WINE_PREFIX = REPO / "scripts/windows/wine-prefix.sh"
# The USB stack and the gadget framework, then what the guest needs to run
# on the host's root: virtio's shared folders and an overlay.
MODULES = ["usb-common", "usbcore", "hid", "hid-generic", "usbhid", "udc-core", "dummy_hcd", "configfs",
           "libcomposite", "usb_f_hid", "virtio_pci", "9pnet_virtio", "9p", "overlay"]
# guest.sh's stages: the updater its scenarios drive, the setting that names
# them, and its gtest filter for each pattern of USB_TEST_FILTER.
STAGES = {"linux": ("Linux", "LINUX_FILTER", "*.{}"),
          "windows-x64": ("Windows x64", "WIN64_FILTER", "Tools/EachTool.{0}/Windows_x64:WineWindow.{0}"),
          "windows-x86": ("Windows x86", "WIN32_FILTER", "Tools/EachTool.{}/Windows_x86")}
WINE32_DLLS = "usr/lib/i386-linux-gnu/wine/i386-windows"

def say(text, out=sys.stdout):
    print(f"test-usb: {text}", file=out, flush=True)

def fail(text):
    say(text, sys.stderr)
    sys.exit(1)

def die_with_parent(sig):
    """The calling process gets `sig` when its parent ends, even by SIGKILL."""
    ctypes.CDLL(None).prctl(1, sig)  # PR_SET_PDEATHSIG

def run(*args, capture=False, **options):
    """Runs a command that must succeed; returns its output if captured. It ends with this program,
    with time to end its own children (a Wine server)."""
    with subprocess.Popen([str(a) for a in args], preexec_fn=lambda: die_with_parent(signal.SIGTERM), text=True,
                          stdout=subprocess.PIPE if capture else None, **options) as command:
        try:
            out = command.communicate()[0]
        except BaseException:
            command.terminate()
            command.wait(30)
            raise
    command.returncode == 0 or fail(f"{args[0]} {args[1] if len(args) > 1 else ''} failed")
    return out.strip() if capture else None

def apt_download(folder, *packages):
    """The first of `packages` apt can download, unpacked into `folder`."""
    debs = folder / "deb"
    shutil.rmtree(folder, ignore_errors=True)
    debs.mkdir(parents=True)
    for package in packages:
        if subprocess.run(["apt-get", "download", package], cwd=debs, capture_output=True).returncode == 0:
            break
    run("dpkg-deb", "-x", next(debs.glob("*.deb"), None) or fail(f"could not download {packages[0]}"), folder)
    shutil.rmtree(debs)

def kernel(work):
    """The package linux-image-amd64 depends on, unpacked once: the kernel as
    an ELF file and the modules, each after those it depends on."""
    depends = re.search(r"Depends: (linux-image-\d\S*)", run("apt-cache", "depends", "linux-image-amd64",
                                                                capture=True))
    package = depends[1] if depends else fail("apt knows no linux-image-amd64")
    folder, tree = work / package, work / package / "tree"
    if (folder / "ready-9p").exists():
        return package, folder
    say(f"fetching {package}")
    shutil.rmtree(folder, ignore_errors=True)
    apt_download(tree, package)
    # The uncompressed ELF kernel boots through qemu's PVH entry, seconds
    # faster than the compressed image under emulation.
    vmlinuz = next(tree.glob("boot/vmlinuz-*")).read_bytes()
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

    for module in MODULES:
        add(module)
    (folder / "modules/order").write_text("".join(files[name].stem + "\n" for name in order))
    shutil.rmtree(tree)
    (folder / "ready-9p").touch()
    return package, folder

def initramfs(work, kernel_folder):
    guest, cpio = work / "root", work / "initramfs.cpio"
    shutil.rmtree(guest, ignore_errors=True)
    for folder in ["bin", "dev", "proc", "sys"]:
        (guest / folder).mkdir(parents=True)
    shutil.copy("/bin/busybox", guest / "bin")
    shutil.copy(HERE / "init", guest)
    shutil.copytree(kernel_folder / "modules", guest / "modules")
    files = subprocess.run(["find", "."], cwd=guest, capture_output=True, check=True).stdout
    with cpio.open("wb") as out:
        subprocess.run(["busybox", "cpio", "-o", "-H", "newc"], input=files, cwd=guest, stdout=out,
                       stderr=subprocess.DEVNULL, check=True)
    return cpio

def windows_settings(work, cache):
    """Readies the Windows builds and Wine for guest.sh; returns its settings
    for them. What is made once is kept in `cache`, outside the clone."""
    run(REPO / "scripts/deps/install-windows-deps.sh")
    log = work / "windows-build.log"
    with log.open("w") as out:
        if subprocess.run([REPO / "scripts/windows/build.sh", "--no-zip"], stdout=out, stderr=out,
                          env={"JOBS": "2", **os.environ}).returncode != 0:
            print("".join(log.read_text().splitlines(True)[-20:]), file=sys.stderr)
            fail(f"the Windows build failed ({log})")
    wine_version = run("dpkg-query", "-W", "-f=${Version}", "wine64", capture=True)
    made_as = f"{wine_version}-{run(WINE_PREFIX, 'id', capture=True)}"
    run(WINE_PREFIX, "make", "/usr/lib/wine/wine64", cache / f"wine64-{made_as}")
    # udevd tells Wine of boards plugged in after it started. Only its binary
    # is taken, from the udev package of this system's version.
    udev_version = run("dpkg-query", "-W", "-f=${Version}", "systemd", capture=True)
    udev = cache / f"udev-{udev_version}"
    if not (udev / "bin/udevadm").exists():
        apt_download(udev, f"udev={udev_version}", "udev")
    settings = {"WIN64_BIN": REPO / "build-win64/bin", "WINE64_PREFIX": cache / f"wine64-{made_as}",
                "UDEVADM": udev / "bin/udevadm"}
    # The 32-bit build, the one users run, in Debian's 32-bit Wine: this
    # machine cannot run it, the guest's kernel can, chrooted into a tree of
    # i386 packages made here without running any of them.
    if os.environ.get("TARVANE_USB_X86") != "no":
        settings.update(WIN32_BIN=REPO / "build-win32/bin",
                        WINE32_TREE=run(HERE / "wine32-tree.sh", cache, capture=True).splitlines()[-1],
                        WINE32_PREFIX_TAR=cache / f"wine32-prefix-{made_as}.tar")
    return settings

def keep_prefix32(made, keep, tree):
    """Keeps the 32-bit prefix the guest made, its copies of Wine's own files
    as links into the tree, which shrinks it from about 590 MB to a few."""
    with tarfile.open(made) as source, tarfile.open(f"{keep}.partial", "w") as kept:
        for member in source:
            data = source.extractfile(member).read() if member.isfile() else None
            original = Path(tree, WINE32_DLLS, Path(member.name).name)
            if data and "." in original.name and original.is_file() and original.read_bytes() == data:
                member.type, member.linkname, member.size = tarfile.SYMTYPE, f"/{WINE32_DLLS}/{original.name}", 0
                data = None
            kept.addfile(member, io.BytesIO(data) if data is not None else None)
    os.rename(f"{keep}.partial", keep)
    made.unlink()
    say(f"kept the 32-bit Wine prefix ({keep.stat().st_size // 1024} KB)")

def boot(kernel_file, cpio, results, settings_file, console, limit):
    """Runs the guest to its end; returns qemu's status, None after `limit` s."""
    append = (f"console=ttyS0 quiet panic=-1 tarvane_guest={HERE}/guest.sh tarvane_settings={settings_file}"
              f" tarvane_results={results}")
    share = "security_model=none,multidevs=remap"
    # -smap off: with it, every Wine process in the guest dies under TCG.
    qemu = ["qemu-system-x86_64", "-accel", "tcg", "-cpu", "max,-smap", "-smp", "2", "-m", "3072", "-nographic",
            "-no-reboot", "-nodefaults", "-serial", "stdio", "-device", "isa-debug-exit,iobase=0xf4,iosize=0x04",
            "-fsdev", f"local,id=hostroot,path=/,readonly=on,{share}",
            "-device", "virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot",
            "-fsdev", f"local,id=results,path={results},{share}",
            "-device", "virtio-9p-pci,fsdev=results,mount_tag=results",
            "-kernel", str(kernel_file), "-initrd", str(cpio), "-append", append]
    # qemu stays in this process group, which Ctrl-C and a time limit on
    # make reach, and dies with this program.
    with console.open("wb") as out, subprocess.Popen(qemu, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                                     preexec_fn=lambda: die_with_parent(signal.SIGKILL)) as vm:
        try:
            return vm.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            return None
        finally:
            vm.kill()

def report(results, stages, repeat, console):
    """Prints each scenario's figures and verdict from the stages' JSON
    reports, in the order they ran; the figures are what a test printed
    between its RUN line and its end. Returns passed, failed, missing reports."""
    figures, test = defaultdict(deque), None
    for line in console:
        if line.startswith("[ RUN      ] "):
            test = line[13:]
            figures[test].append([])
        elif line.startswith("[ figure ] ") and test:
            figures[test][-1].append(line[11:])
    passed, failed, missing = 0, 0, []
    for stage, i in [(stage, i) for stage in stages for i in range(1, repeat + 1)]:
        path = results / f"{stage}-{i}.json"
        if not path.exists():
            missing.append(path.name)
            continue
        for suite in json.loads(path.read_text())["testsuites"]:
            for case in suite["testsuite"]:
                if case["result"] != "COMPLETED":
                    continue
                printed = figures[f"{suite['name']}.{case['name']}"]
                for text in printed.popleft() if printed else []:
                    print(f"      {text}")
                verdict = "FAIL" if "failures" in case else "PASS"
                passed, failed = (passed + 1, failed) if verdict == "PASS" else (passed, failed + 1)
                # "Tools/EachTool" scenarios end in their updater ("/Linux").
                ms = round(float(case["time"].rstrip("s")) * 1000)
                print(f"{verdict}  {STAGES[stage][0]}: {case['name'].split('/')[0]} ({ms} ms)")
    return passed, failed, missing

def main():
    parent = os.getppid()
    die_with_parent(signal.SIGTERM)
    os.getppid() == parent or sys.exit(1)
    # A signal ends the run as an error does: through every clean-up.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda number, _: sys.exit(128 + number))
    started = time.monotonic()
    build = REPO / (sys.argv[1] if len(sys.argv) > 1 else "build")
    work, results = build / "usb-vm", build / "usb-vm/results"
    cache = Path(os.environ.get("TARVANE_CACHE") or Path(os.environ.get("XDG_CACHE_HOME") or Path.home() / ".cache",
                                                         "tarvane"))
    repeat = int(os.environ.get("USB_TEST_REPEAT") or 1)
    patterns = os.environ.get("USB_TEST_FILTER", "*").split(":")
    stages = ["linux"] + (["windows-x64", "windows-x86"] if os.environ.get("TARVANE_USB_WINDOWS") != "no" else [])

    run(REPO / "scripts/deps/install-usb-deps.sh")
    for program in ["tarvane-update", "tarvane-sim", "tarvane_usbvm_tests"]:
        (build / "bin" / program).exists() or fail(f"{build}/bin/{program} is missing; build first (make build)")
    work.mkdir(parents=True, exist_ok=True)
    package, kernel_folder = kernel(work)
    cpio = initramfs(work, kernel_folder)
    shutil.rmtree(results, ignore_errors=True)
    results.mkdir()
    settings = {"REPO": REPO, "RESULTS": results, "TESTS": build / "bin/tarvane_usbvm_tests", "REPEAT": repeat}
    if "windows-x64" in stages:
        cache.mkdir(parents=True, exist_ok=True)
        settings.update(windows_settings(work, cache))
        stages = [s for s in stages if s != "windows-x86" or "WINE32_TREE" in settings]
    for stage in stages:
        settings[STAGES[stage][1]] = ":".join(STAGES[stage][2].format(p) for p in patterns)
    settings["LINUX_FILTER"] += "-WineWindow.*"
    "'" in "".join(map(str, settings.values())) and fail("a setting holds a ', which guest.env quotes with")
    settings_file = work / "guest.env"
    settings_file.write_text("".join(f"{name}='{value}'\n" for name, value in settings.items()))

    say(f"booting {package} under qemu ({cpio.stat().st_size // 1024} KB initramfs, the host's root shared)")
    console_file = work / "console.log"
    qemu_status = boot(kernel_folder / "vmlinux", cpio, results, settings_file, console_file,
                       int(os.environ.get("USB_TEST_TIMEOUT") or 1800))
    console = console_file.read_bytes().decode(errors="replace").replace("\r", "").splitlines()
    if (results / "prefix32.tar").exists():
        keep_prefix32(results / "prefix32.tar", settings["WINE32_PREFIX_TAR"], settings["WINE32_TREE"])
    passed, failed, missing = report(results, stages, repeat, console)
    guest_status = next((m[1] for m in map(re.compile(r"tarvane-usb: exit (\d+)$").match, console) if m), None)
    elapsed = round(time.monotonic() - started)
    # qemu's debug-exit status is (guest status << 1) | 1; its own failures
    # are 1 too, so the guest's own line must agree.
    if guest_status == "0" and qemu_status == 1 and failed == 0 and passed > 0 and not missing:
        say(f"{passed} scenarios passed through the kernel's USB HID stack in {elapsed} s")
        return 0
    say(f"FAILED: {passed} passed, {failed} failed, guest status '{guest_status or 'none'}', qemu status "
        f"{'none (time limit)' if qemu_status is None else qemu_status} after {elapsed} s"
        + "".join(f", no {name}" for name in missing), sys.stderr)
    say(f"the guest's console follows ({console_file})", sys.stderr)
    print("\n".join([line for line in console if line.strip()][-80:]), file=sys.stderr)
    return 1

if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(130)
