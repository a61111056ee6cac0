#!/usr/bin/python3
"""Tavro as a screen reader meets it, through AT-SPI: its accessible tree printed and checked, and
its buttons pressed through their actions.

  accessible_tree.py check PID MARKER   prints the tree of the program with that process id; fails
                                        unless its title bar is named after the window's caption
                                        (which holds MARKER), its two buttons are named push
                                        buttons that can be clicked, and nothing unnamed takes
                                        the keyboard focus
  accessible_tree.py press PID NAME     the action of the push button of that name
Waits up to 30 s for the program to appear on the accessibility bus. The page content (the web
processes' part of the tree) is summarised, not walked.
"""
import sys
import time

import pyatspi

PAGE_ROLES = {"document web", "document frame"}
BUTTONS = ("关闭", "最小化")


def find_app(pid, timeout=30.0):
    deadline = time.monotonic() + timeout
    while True:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == pid and app.childCount > 0:
                return app
        if time.monotonic() > deadline:
            return None
        time.sleep(0.2)


def actions(acc):
    try:
        action = acc.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def states(acc):
    shown = []
    state = acc.getState()
    for name, value in (("focusable", pyatspi.STATE_FOCUSABLE), ("focused", pyatspi.STATE_FOCUSED),
                        ("showing", pyatspi.STATE_SHOWING), ("visible", pyatspi.STATE_VISIBLE)):
        if state.contains(value):
            shown.append(name)
    return shown


def walk(acc, pid, depth, nodes, lines):
    """Every object of the program's own process, depth first; page content is only counted."""
    node = {"acc": acc, "role": acc.getRoleName(), "name": acc.name or "", "states": states(acc),
            "actions": actions(acc), "depth": depth}
    nodes.append(node)
    line = "%s[%s] \"%s\"" % ("  " * depth, node["role"], node["name"])
    if node["states"]:
        line += " {" + ", ".join(node["states"]) + "}"
    if node["actions"]:
        line += " actions: " + ", ".join(node["actions"])
    if node["role"] in PAGE_ROLES:
        line += " (page content: %d children)" % acc.childCount
        lines.append(line)
        return
    lines.append(line)
    for child in acc:
        if child is None:
            continue
        if child.get_process_id() != pid:
            # A web process's part, embedded: asking it anything may wait on a busy page.
            lines.append("%s(embedded from process %d)" % ("  " * (depth + 1), child.get_process_id()))
            continue
        walk(child, pid, depth + 1, nodes, lines)


def tree(pid):
    app = find_app(pid)
    if app is None:
        sys.exit("process %d never appeared on the accessibility bus" % pid)
    nodes, lines = [], []
    walk(app, pid, 0, nodes, lines)
    return nodes, lines


def check(pid, marker):
    nodes, lines = tree(pid)
    print("The accessible tree of process %d:" % pid)
    print("\n".join(lines))
    faults = []
    frames = [n for n in nodes if n["role"] == "frame" and "showing" in n["states"]]
    bars = [n for n in nodes if n["role"] == "title bar"]
    if len(bars) != 1:
        faults.append("%d title bars, not one" % len(bars))
    elif marker not in bars[0]["name"]:
        faults.append("the title bar is named %r, without the caption's %r" % (bars[0]["name"], marker))
    elif bars[0]["name"] not in [f["name"] for f in frames]:
        faults.append("the title bar's name %r is no window's caption %r" %
                      (bars[0]["name"], [f["name"] for f in frames]))
    for name in BUTTONS:
        found = [n for n in nodes if n["name"] == name]
        if len(found) != 1:
            faults.append("%d objects named %s, not one" % (len(found), name))
            continue
        button = found[0]
        if button["role"] != "push button":
            faults.append("%s is a %s, not a push button" % (name, button["role"]))
        if button["actions"] != ["click"]:
            faults.append("%s has the actions %r, not click" % (name, button["actions"]))
        if "showing" not in button["states"]:
            faults.append("%s is not showing" % name)
    for n in nodes:
        if "focusable" in n["states"] and not n["name"].strip():
            faults.append("an unnamed %s takes the keyboard focus" % n["role"])
    for fault in faults:
        print("FAULT: " + fault)
    sys.exit(1 if faults else 0)


def press(pid, name):
    nodes, _ = tree(pid)
    found = [n for n in nodes if n["role"] == "push button" and n["name"] == name]
    if len(found) != 1:
        sys.exit("%d push buttons named %s, not one" % (len(found), name))
    done = found[0]["acc"].queryAction().doAction(0)
    print("pressed %s: %s" % (name, done))
    sys.exit(0 if done else 1)


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in ("check", "press"):
        sys.exit(__doc__)
    (check if sys.argv[1] == "check" else press)(int(sys.argv[2]), sys.argv[3])
