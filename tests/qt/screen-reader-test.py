#!/usr/bin/python3
"""The window as a screen reader meets it: its accessible tree read through
AT-SPI, then a whole update against the simulated board driven through the
controls' actions, while the log's text-inserted events are collected.

Usage: screen-reader-test.py TARVANE-UPDATER EXAMPLES-DIR
Starts its own Xvfb and D-Bus session bus; all of them, and the window, end
with it, also when it is interrupted or killed."""

import ctypes
import os
import signal
import subprocess
import sys
import time

PR_SET_PDEATHSIG = 1
children = []


def die_with_parent():
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def start(args, **kwargs):
    child = subprocess.Popen(args, preexec_fn=die_with_parent, **kwargs)
    children.append(child)
    return child


def stop_children(*_):
    for child in reversed(children):
        if child.poll() is None:
            child.terminate()
            try:
                child.wait(5)
            except subprocess.TimeoutExpired:
                child.kill()
    children.clear()


def fail(message):
    print("FAIL:", message)
    stop_children()
    sys.exit(1)


def start_display_and_bus():
    read_end, write_end = os.pipe()
    start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
          pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        display = pipe.readline().strip()
    if not display:
        fail("Xvfb did not start")
    os.environ["DISPLAY"] = ":" + display
    bus = start(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE,
                text=True, stderr=subprocess.DEVNULL)
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
    os.environ.pop("AT_SPI_BUS_ADDRESS", None)


def main():
    updater, examples = os.path.abspath(sys.argv[1]), sys.argv[2]
    # Interrupted, it ends at once, even inside a call on the bus; its
    # children then end with it (die_with_parent).
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.SIG_DFL)
    start_display_and_bus()

    # Imported once the private bus is in the environment.
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib

    events = []

    def on_event(event):
        try:
            events.append((event.type, event.source.get_name(), event.any_data))
        except Exception:  # a source gone meanwhile tells nothing
            pass

    listener = Atspi.EventListener.new(on_event)
    for kind in ("object:text-changed:insert", "object:property-change:accessible-name",
                 "object:state-changed:focused"):
        listener.register(kind)

    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", TARVANE_DEVICE="sim")
    start([updater], cwd=examples, env=env, stderr=subprocess.DEVNULL)

    def pump(seconds, until=lambda: False):
        deadline = time.monotonic() + seconds
        context = GLib.MainContext.default()
        while time.monotonic() < deadline:
            while context.pending():
                context.iteration(False)
            if until():
                return True
            time.sleep(0.02)
        return until()

    def find_window():
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app and app.get_name() == "tarvane-updater" and app.get_child_count() > 0:
                return app.get_child_at_index(0)
        return None

    if not pump(30, lambda: find_window() is not None):
        fail("the window did not appear on the accessibility bus")
    window = find_window()

    def children_of(node):
        return [node.get_child_at_index(i) for i in range(node.get_child_count())]

    controls = children_of(window)
    names = [c.get_name() for c in controls]
    print("The window's children, in order:")
    for c in controls:
        print("  %-14s %r  %r" % (c.get_role_name(), c.get_name(), c.get_description()))

    # Every control has a name; STEP 1 to 6, then file field, Browse, log, Update.
    unnamed = [c.get_role_name() for c in controls if not c.get_name()]
    if unnamed:
        fail("controls without a name: %s" % unnamed)
    steps = [i for i, n in enumerate(names) if n.startswith("STEP ")]
    if [names[i][:6] for i in steps] != ["STEP %d" % k for k in range(1, 7)]:
        fail("the steps are read out of order: %s" % [names[i][:6] for i in steps])
    tail = [names.index(n) for n in ("No file loaded", "&Browse" if "&Browse" in names else "Browse", "Log")]
    update = next(i for i, n in enumerate(names) if n.replace("&", "") == "Update")
    if not steps[-1] < tail[0] < tail[1] < tail[2] < update:
        fail("the file field, Browse, the log and Update do not follow STEP 6 in that order")

    def control(name):
        return next((c for c in children_of(window) if c.get_name().replace("&", "") == name), None)

    def press(node):
        if not Atspi.Action.do_action(node, 0):
            fail("%s did not take its action" % node.get_name())

    # The step texts label what they introduce.
    for relation in control("Update").get_relation_set():
        if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY:
            if relation.get_target(0).get_name().startswith("STEP 6)"):
                break
    else:
        fail("STEP 6 does not label Update")

    press(control("Display Board"))
    def log_text():
        log = control("Log")
        return Atspi.Text.get_text(log, 0, Atspi.Text.get_character_count(log))

    if not pump(5, lambda: log_text() == "Display board selected"):
        fail("choosing the Display board did not reach the log: %r" % log_text())
    picture_names = [c.get_name() for c in children_of(window) if c.get_role_name() in ("label", "image")
                     and "marked" in c.get_name()]
    if len(picture_names) != 2:
        fail("the pictures do not say what they mark: %s" % picture_names)

    def find_app():
        desktop = Atspi.get_desktop(0)
        return next(a for a in children_of(desktop) if a and a.get_name() == "tarvane-updater")

    def file_dialog():
        return next((w for w in children_of(find_app()) if w.get_name() == "Open"), None)

    def walk(node):
        yield node
        for child in children_of(node):
            yield from walk(child)

    # The file dialog, as a screen reader user fills it: the name typed into
    # its file name field, then its Open button.
    press(control("Browse"))
    if not pump(10, lambda: file_dialog() is not None):
        fail("the file dialog did not open")
    dialog = file_dialog()
    field = next((n for n in walk(dialog) if n.get_role_name() == "text" and
                  n.get_state_set().contains(Atspi.StateType.EDITABLE)), None)
    if field is None:
        fail("the file dialog has no file name field")
    Atspi.EditableText.set_text_contents(field, "Tarvane_Display_Board_2064.hex")
    open_button = next(n for n in walk(dialog) if n.get_role_name() == "push button" and
                       n.get_name().replace("&", "") == "Open")
    press(open_button)
    if not pump(10, lambda: control("Tarvane_Display_Board_2064.hex") is not None):
        fail("the file field does not name the chosen file")

    events.clear()
    press(control("Update"))
    if not pump(60, lambda: "=== UPGRADE COMPLETE ===" in log_text() and control("Update").get_state_set().contains(
            Atspi.StateType.ENABLED)):
        fail("the update did not end: %r" % log_text())
    pump(1)

    inserted = [data for kind, name, data in events if kind.startswith("object:text-changed:insert") and name == "Log"]
    print("Inserted into the log during the update:")
    for text in inserted:
        print("  %r" % text)
    said = "".join(inserted)
    for line in ("Update started", "Connecting...", "Programming flash...", "Verification successful",
                 "=== UPGRADE COMPLETE ===", "c) Push the POWER button to power up the Tarvane"):
        if line not in said:
            fail("no event told %r" % line)
    if any(len(text) > 200 for text in inserted):
        fail("a log event repeats the whole log")
    bar_names = [name for kind, name, _ in events if kind == "object:property-change:accessible-name"]
    print("The progress bar's names:", bar_names)
    if bar_names[-1:] != ["Update complete"]:
        fail("the progress bar does not end named for the outcome")
    focused = [n for k, n, d in events if k == "object:state-changed:focused" and d]
    if focused:
        fail("the update moved the focus to %s" % focused)
    print("PASS")


if __name__ == "__main__":
    try:
        main()
    finally:
        stop_children()
