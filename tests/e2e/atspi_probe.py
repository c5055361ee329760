#!/usr/bin/python3
"""Reads Brindle's window over the AT-SPI bus, as a screen reader does.

    atspi_probe.py listen <seconds>
        prints "changed <value>" for each value a progress bar announces
    atspi_probe.py read
        prints a line for each object of the application "brindle" that a
        screen reader would speak of:
          progress <name>|<value>  a progress bar, its name and current value
          link <name>|<actions>    a link, its name and actions
          text <role>|<name>       any other object with a name

While a download runs, Brindle answers the bus about twice a second, so a
whole read is for a window at rest.
"""

import sys
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
        print("text %s|%s" % (node.get_role_name(), name))
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            walk(child, depth + 1)


def main():
    if sys.argv[1] == "listen":
        listener = Atspi.EventListener.new(on_value)
        listener.register("object:property-change:accessible-value")
        loop = GLib.MainLoop()
        GLib.timeout_add(int(float(sys.argv[2]) * 1000), loop.quit)
        loop.run()
        listener.deregister("object:property-change:accessible-value")
        return 0
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == "brindle":
            walk(app)
    return 0


if __name__ == "__main__":
    sys.exit(main())
