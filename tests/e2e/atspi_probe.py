#!/usr/bin/python3
"""Reads Brindle's window over the AT-SPI bus, as a screen reader does.

    atspi_probe.py listen <seconds>
        prints "changed <value>" for each value a progress bar announces
    atspi_probe.py read
        waits up to 5 seconds for the application "brindle" on the bus, then
        prints a line for each of its objects that a screen reader would
        speak of:
          progress <name>|<value>  a progress bar, its name and current value
          link <name>|<actions>    a link, its name and actions
          text <role>|<name>       any other object with a name ("button"
                                   for a push button, in every libatspi)
    atspi_probe.py press <window> <x> <y>
        clicks the window at x, y with xdotool, then asks the push button for
        its name until it reads "Pause"; prints "pause <seconds>", the time
        from the click to that answer, or "pause never" after 5 seconds
    atspi_probe.py settext <text>
        sets the address box's text through its editable-text interface, as
        voice control does, also while the box is disabled; prints "set"
    atspi_probe.py button <count>
        asks the push button for its name <count> times, as "where am I"
        does; prints "button <name>|<median seconds of one answer>"

Names are asked afresh every time, never from the library's cache.
"""

import statistics
import subprocess
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# Some of these calls are marked deprecated in newer libatspi; they read the same.
warnings.simplefilter("ignore", DeprecationWarning)


def on_value(event):
    if event.source.get_role() == Atspi.Role.PROGRESS_BAR:
        print("changed", int(Atspi.Value.get_current_value(event.source)), flush=True)


def walk(node, depth=0):
    if depth > 20:
        return
    role = node.get_role()
    name = node.get_name() or ""
    if role == Atspi.Role.PROGRESS_BAR:
        print("progress %s|%d" % (name, int(Atspi.Value.get_current_value(node))))
    elif role == Atspi.Role.LINK:
        names = [Atspi.Action.get_action_name(node, i) for i in range(Atspi.Action.get_n_actions(node))]
        print("link %s|%s" % (name, ",".join(names)))
    elif name:
        # libatspi 2.46 names a push button's role "push button", later ones "button".
        role_name = "button" if role == Atspi.Role.PUSH_BUTTON else node.get_role_name()
        print("text %s|%s" % (role_name, name))
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            walk(child, depth + 1)


def brindle():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == "brindle":
            return app
    return None


def find(node, role, depth=0):
    if node is None or depth > 20:
        return None
    if node.get_role() == role:
        return node
    for i in range(node.get_child_count()):
        found = find(node.get_child_at_index(i), role, depth + 1)
        if found is not None:
            return found
    return None


def fresh_name(node):
    node.clear_cache()
    return node.get_name()


def main():
    if sys.argv[1] in ("press", "button"):
        # A window that has just started may not be on the bus yet.
        button = None
        start = time.monotonic()
        while button is None and time.monotonic() - start < 5:
            button = find(brindle(), Atspi.Role.PUSH_BUTTON)
        if button is None:
            print("no button")
            return 1
        if sys.argv[1] == "press":
            subprocess.run(["xdotool", "mousemove", "--window", sys.argv[2], sys.argv[3], sys.argv[4],
                            "click", "1"], check=True)
            start = time.monotonic()
            while time.monotonic() - start < 5:
                if fresh_name(button) == "Pause":
                    print("pause %.3f" % (time.monotonic() - start))
                    return 0
            print("pause never")
            return 0
        answers = []
        name = ""
        for _ in range(int(sys.argv[2])):
            start = time.monotonic()
            name = fresh_name(button)
            answers.append(time.monotonic() - start)
        print("button %s|%.3f" % (name, statistics.median(answers)))
        return 0
    if sys.argv[1] == "settext":
        entry = find(brindle(), Atspi.Role.TEXT) or find(brindle(), Atspi.Role.ENTRY)
        if entry is None:
            print("no entry")
            return 1
        print("set" if Atspi.EditableText.set_text_contents(entry, sys.argv[2]) else "refused")
        return 0
    if sys.argv[1] == "listen":
        listener = Atspi.EventListener.new(on_value)
        listener.register("object:property-change:accessible-value")
        loop = GLib.MainLoop()
        GLib.timeout_add(int(float(sys.argv[2]) * 1000), loop.quit)
        loop.run()
        listener.deregister("object:property-change:accessible-value")
        return 0
    # The registry starts with the first question; a window already running
    # shows up on the bus a moment later.
    app = None
    start = time.monotonic()
    while app is None and time.monotonic() - start < 5:
        app = brindle()
    if app is not None:
        walk(app)
    return 0


if __name__ == "__main__":
    sys.exit(main())
