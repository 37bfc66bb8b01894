"""Drives a running program from outside through the accessibility bus.

Import this module only after the desktop's environment (DISPLAY and
DBUS_SESSION_BUS_ADDRESS) is in os.environ: the accessibility library reads
it once, when it first connects.
"""

import time

import pyatspi
from gi.repository import GLib

# Web content is a tree of its own, as big as the page; searches for the
# program's controls never need to go in there.
_OPAQUE_ROLES = {"document web", "document frame", "html container"}


class NotFound(AssertionError):
    pass


def wait_for(predicate, timeout, interval=0.2, what="condition"):
    """Polls until the predicate returns something true; raises on time-out."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = predicate()
        except (NotFound, LookupError, NotImplementedError, GLib.GError):
            value = None  # not there yet, or a widget that went away mid-query
        if value:
            return value
        if time.monotonic() >= deadline:
            raise NotFound("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def application_of(pid):
    """The accessible application of the process, or None."""
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is None:
            continue
        try:
            if app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def role(node):
    return node.getRoleName()


def name(node):
    return node.name or ""


def children(node):
    result = []
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            result.append(child)
    return result


def walk(node, depth=0, max_depth=40, into_web=False):
    """Yields the node and its descendants, depth first."""
    yield node
    if depth >= max_depth:
        return
    if not into_web and depth > 0 and role(node) in _OPAQUE_ROLES:
        return
    for child in children(node):
        yield from walk(child, depth + 1, max_depth, into_web)


def find_all(root, role_name=None, name_is=None, name_has=None, predicate=None, into_web=False):
    found = []
    for node in walk(root, into_web=into_web):
        try:
            if role_name is not None and role(node) != role_name:
                continue
            if name_is is not None and name(node) != name_is:
                continue
            if name_has is not None and name_has not in name(node):
                continue
            if predicate is not None and not predicate(node):
                continue
        except Exception:
            continue
        found.append(node)
    return found


def find(root, role_name=None, name_is=None, name_has=None, predicate=None, into_web=False):
    found = find_all(root, role_name, name_is, name_has, predicate, into_web)
    if not found:
        raise NotFound("no %s named %r under %r" % (role_name or "control", name_is or name_has, name(root)))
    return found[0]


def wait_find(root, timeout, **criteria):
    return wait_for(lambda: find(root, **criteria), timeout, what="%r" % (criteria,))


def states(node):
    state_set = node.getState()
    return {pyatspi.stateToString(s) for s in state_set.getStates()}


def has_state(node, state):
    return node.getState().contains(state)


def is_enabled(node):
    return has_state(node, pyatspi.STATE_ENABLED)


def is_showing(node):
    return has_state(node, pyatspi.STATE_SHOWING)


def is_checked(node):
    return has_state(node, pyatspi.STATE_CHECKED)


def do_action(node, *names):
    """Runs the first of the named actions the control offers."""
    action = node.queryAction()
    offered = [action.getName(i) for i in range(action.nActions)]
    for wanted in names:
        for index, offered_name in enumerate(offered):
            if offered_name.lower() == wanted.lower():
                action.doAction(index)
                return
    raise NotFound("%s %r offers %s, none of %s" % (role(node), name(node), offered, names))


def press(node):
    do_action(node, "Press", "press", "click", "activate", "Toggle")


def click(x, y):
    """A click of the left mouse button at a point of the screen (through the X server)."""
    pyatspi.Registry.generateMouseEvent(x, y, pyatspi.MOUSE_B1C)


def click_on(node):
    """Clicks the middle of a control. Use it for a command that opens a modal
    dialog: an accessibility action would get its answer only after the dialog closed."""
    x, y, width, height = extents(node)
    click(x + width // 2, y + height // 2)


def double_click_on(node):
    x, y, width, height = extents(node)
    pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, pyatspi.MOUSE_B1D)


def set_text(node, text):
    """Types text into an editable control (or the editable child of a combo box)."""
    target = node
    if role(node) == "combo box":
        target = find(node, role_name="text")
    target.queryEditableText().setTextContents(text)


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def extents(node):
    """(x, y, width, height) on the screen."""
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (box.x, box.y, box.width, box.height)


class TableRows:
    """The rows of a list (a table): cell texts and the check box of column 0."""

    def __init__(self, table):
        self.table = table
        self.iface = table.queryTable()

    def row_count(self):
        return self.iface.nRows

    def column_count(self):
        return self.iface.nColumns

    def header(self, column):
        cell = self.iface.getColumnHeader(column)
        if cell is not None and name(cell):
            return name(cell)
        return self.iface.getColumnDescription(column)

    def cell(self, row, column):
        return self.iface.getAccessibleAt(row, column)

    def texts(self, row):
        return [name(self.cell(row, column)) for column in range(self.column_count())]

    def checked(self, row):
        return is_checked(self.cell(row, 0))

    def rows(self):
        """Every row as (texts, checked)."""
        return [(self.texts(row), self.checked(row)) for row in range(self.row_count())]

    def select(self, row):
        """Selects a row the way a click on it does."""
        self.iface.addRowSelection(row)

    def toggle_check(self, row):
        """Clicks the row's check box, which stands at the left of its first cell.

        The cell's own "Toggle" action selects the cell instead, so a click it is."""
        x, y, width, height = extents(self.cell(row, 0))
        click(x + min(12, width // 3), y + height // 2)


def dump(node, depth=0, max_depth=12, out=None, into_web=False):
    """The tree as indented lines: role, name, description, states."""
    lines = [] if out is None else out
    try:
        line = "%s[%s] %r" % ("  " * depth, role(node), name(node))
        if node.description:
            line += " desc=%r" % node.description
        interesting = sorted(states(node) & {"checked", "focused", "selected", "showing", "enabled"})
        line += " " + ",".join(interesting)
        lines.append(line)
    except Exception as error:
        lines.append("%s<gone: %s>" % ("  " * depth, error))
        return lines
    if depth < max_depth and (into_web or depth == 0 or role(node) not in _OPAQUE_ROLES):
        for child in children(node):
            dump(child, depth + 1, max_depth, lines, into_web)
    return lines
