#!/usr/bin/python3
"""Office automation helper of Vidazorov.

The program drives its exports through late-bound automation objects ("Word.Basic",
"Excel.Application"). On Linux LibreOffice stands in for both; this process is the bridge: it
reads one JSON request per line on standard input, carries it out on LibreOffice through UNO and
answers with one JSON line on standard output.

Requests (every one but "release" gets an answer carrying the same "id"):
  {"id", "op": "create" | "active", "progid", "office": {...}}   -> object
  {"id", "op": "call", "obj", "name", "args": [...], "named": [[name, value], ...]}
  {"id", "op": "get",  "obj", "name", "args": [...]}
  {"id", "op": "put",  "obj", "name", "args": [...], "value"}
  {"id", "op": "terminate"}            ends the office this helper started, if it still runs
  {"op": "release", "obj"}             no answer
Values are tagged: null (empty), {"t": "b"|"i"|"d"|"s"|"o", "v": ...}.
Answers: {"id", "ok": true, "result": value, "pid": n} or {"id", "ok": false, "error": text}; a
failure whose text says more than its short "error" (an office error code) carries that text in
"details".
A failure because the office does not answer at all carries "hung": true; the caller is expected
to end that office. A stored document is named in "stored" (its absolute path), so that the
caller can clear what a crashed office leaves beside it. A line that is no JSON object gets an
error answer with "id": null, and the helper goes on.
Every request may carry "cwd": relative file names are taken relative to the caller's folder.
The "office" options may carry "connectTimeout" (seconds): the bound on reaching an office.
"""

import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import threading
import time

try:
    import uno
    from com.sun.star.beans import PropertyValue
    from com.sun.star.connection import NoConnectException
except ImportError as error:  # no python3-uno: every request fails, but the protocol still works
    uno = None
    IMPORT_ERROR = str(error)


class AutomationError(Exception):
    pass


class OfficeHung(AutomationError):
    """The office accepted the connection (or holds the pipe) but does not answer."""


def bounded(function, seconds, what):
    """Runs function with a time bound. A stopped or hung office accepts a connection on its pipe
    and then never answers, and a UNO call cannot be interrupted: the call runs on a thread of
    its own, which is left behind when it does not come back in time."""
    outcome = {}

    def run():
        try:
            outcome["value"] = function()
        except BaseException as error:  # handed to the waiting thread
            outcome["error"] = error

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    thread.join(seconds)
    if thread.is_alive():
        raise OfficeHung("The office did not answer within %g s (%s)" % (seconds, what))
    if "error" in outcome:
        raise outcome["error"]
    return outcome.get("value")


def props(**values):
    result = []
    for name, value in values.items():
        p = PropertyValue()
        p.Name = name
        p.Value = value
        result.append(p)
    return tuple(result)


def file_url(path, cwd):
    if not path:
        raise AutomationError("Empty file name")
    path = os.path.expanduser(path)
    if not os.path.isabs(path):
        path = os.path.join(cwd or os.getcwd(), path)
    return uno.systemPathToFileUrl(os.path.normpath(path))


def as_int(value, name):
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise AutomationError("%s: a number is needed" % name)
    return int(value)


def group_alive(process):
    process.poll()  # reaps the group leader, whose zombie would still count
    try:
        os.killpg(process.pid, 0)
        return True
    except OSError:
        return False


def end_process_group(process, grace):
    """The office runs as a process group of its own: its launcher and the office proper, which
    may outlive the launcher. Waits for the group to end by itself, then kills what is left."""
    deadline = time.monotonic() + grace
    while group_alive(process) and time.monotonic() < deadline:
        time.sleep(0.1)
    if group_alive(process):
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except OSError:
            pass
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            pass


def connect_timeout(options):
    return float(options.get("connectTimeout", 10))


# --- the office process ---------------------------------------------------------------------

class Office:
    """One LibreOffice reached on the program's private pipe; started when asked to."""

    def __init__(self):
        self.ctx = None
        self.desktop = None
        self.started = None  # the office process this helper started (a process group leader)
        self.pipe = None

    def _resolve(self, pipe):
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
        desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        desktop.getFrames()  # answers only while the office is alive
        return ctx, desktop

    def attach(self, pipe, timeout):
        """True when an office answers on the pipe, false when none listens there; OfficeHung
        when one holds the pipe but does not answer within timeout seconds."""
        self.pipe = pipe
        if self.desktop is not None:
            desktop = self.desktop
            try:
                bounded(desktop.getFrames, timeout, "connect")
                return True
            except OfficeHung:
                self.ctx = self.desktop = None
                raise
            except Exception:
                self.ctx = self.desktop = None
        try:
            self.ctx, self.desktop = bounded(lambda: self._resolve(pipe), timeout, "connect")
            return True
        except OfficeHung:
            raise
        except NoConnectException:
            return False
        except Exception:
            return False

    def start(self, options):
        pipe = options["pipe"]
        program = options.get("program") or shutil.which("soffice") or "/usr/bin/soffice"
        args = [program]
        if options.get("headless"):
            args.append("--headless")
        args += ["--nologo", "--nodefault", "--norestore", "--nolockcheck"]
        if options.get("profile"):
            args.append("-env:UserInstallation=" + uno.systemPathToFileUrl(options["profile"]))
        args.append("--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
        env = dict(os.environ)
        # The program's own toolkit settings are not the office's.
        env.pop("QT_QPA_PLATFORM", None)
        try:
            process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL, start_new_session=True, env=env)
        except OSError as error:
            raise AutomationError("Cannot start the office: %s" % error)
        self.started = process
        deadline = time.monotonic() + float(options.get("startTimeout", 60))
        while time.monotonic() < deadline:
            try:
                # A starting office is slow to answer at first: the start's bound applies.
                if self.attach(pipe, max(0.1, deadline - time.monotonic())):
                    return
            except OfficeHung:
                end_process_group(process, 0)
                self.started = None
                raise
            # An office already running under the same profile takes the request over and the
            # started process ends at once; keep waiting for the pipe in that case too.
            code = process.poll()
            if code not in (None, 0, 81):
                end_process_group(process, 0)
                self.started = None
                raise AutomationError("The office ended at start with code %d" % code)
            time.sleep(0.1)
        end_process_group(process, 0)
        self.started = None
        raise AutomationError("The office did not answer in time")

    def terminate(self):
        if self.desktop is not None:
            try:
                self.desktop.terminate()
            except Exception:
                pass
        self.ctx = self.desktop = None
        if self.started is not None:
            end_process_group(self.started, 10)
            self.started = None

    def load(self, url, hidden, **extra):
        doc = self.desktop.loadComponentFromURL(url, "_blank", 0, props(Hidden=hidden, **extra))
        if doc is None:
            raise AutomationError("The office could not open %s" % url)
        return doc

    def close_if_idle(self):
        """Ends the office when no window of it is left, so no invisible office lingers."""
        try:
            if self.desktop.getFrames().getCount() != 0:
                return
            self.desktop.terminate()
        except Exception:
            pass
        self.ctx = self.desktop = None
        # Until it is gone the office may still answer on the pipe, and a caller attaching in
        # that moment would get an office that dies under its hands.
        deadline = time.monotonic() + 15
        if self.started is not None:
            end_process_group(self.started, 15)
            self.started = None
        while time.monotonic() < deadline:
            try:
                self._resolve(self.pipe)
            except Exception:
                return
            time.sleep(0.1)


def container_window(doc):
    try:
        return doc.getCurrentController().getFrame().getContainerWindow()
    except Exception:
        return None


def show_window(doc, maximize):
    """Brings a document's window to the front; on a headless office there is none."""
    window = container_window(doc)
    if window is None:
        return
    try:
        window.setVisible(True)
        if maximize:
            try:
                toolkit = window.getToolkit()
                area = toolkit.getWorkArea()
                window.setPosSize(area.X, area.Y, area.Width, area.Height, 15)
            except Exception:
                pass
            window.IsMaximized = True
        window.toFront()
    except Exception:
        pass


def minimize_window(doc):
    window = container_window(doc)
    if window is None:
        return
    try:
        window.IsMinimized = True
    except Exception:
        pass


# --- automation objects ---------------------------------------------------------------------
# Each class answers the names of its object; names are matched without regard to case, as
# automation does. m_<name> is a method, g_<name> a property read, p_<name> a property write.

class AutomationObject:
    kind = "object"


class WordBasic(AutomationObject):
    """WordBasic's verbs on Writer: one active document and an insertion point/selection."""
    kind = "Word.Basic"

    def __init__(self, session):
        self.session = session
        self.office = session.office
        self.window = None  # "max", "min" or None (not shown, as an automated Word starts)
        self.doc = None
        self.cursor = None

    def _document(self):
        if self.doc is None:
            raise AutomationError("No document is open")
        return self.doc

    def m_appmaximize(self, args, named):
        self.window = "max"
        if self.doc is not None:
            show_window(self.doc, True)

    def m_appminimize(self, args, named):
        self.window = "min"
        if self.doc is not None:
            minimize_window(self.doc)

    def m_appshow(self, args, named):
        self.m_appmaximize(args, named)

    def m_fileopen(self, args, named):
        if not args or not isinstance(args[0], str):
            raise AutomationError("FileOpen: a file name is needed")
        url = file_url(args[0], self.session.cwd)
        if not os.path.isfile(uno.fileUrlToSystemPath(url)):
            raise AutomationError("File not found: %s" % args[0])
        # Opened as a template: the file itself is never changed and never locked, and the
        # document is new and editable even when the file lies in a read-only folder.
        doc = self.office.load(url, self.window != "max", AsTemplate=True)
        if not hasattr(doc, "getText"):
            doc.close(True)
            raise AutomationError("Not a text document: %s" % args[0])
        self.doc = doc
        text = doc.getText()
        self.cursor = text.createTextCursorByRange(text.getStart())
        if self.window == "max":
            show_window(doc, True)

    def m_insert(self, args, named):
        if not args or not isinstance(args[0], str):
            raise AutomationError("Insert: a text is needed")
        doc = self._document()
        # Writer makes a paragraph of every CR in one call; line ends of any kind are paragraphs.
        text = args[0].replace("\r\n", "\r").replace("\n", "\r")
        doc.getText().insertString(self.cursor, text, not self.cursor.isCollapsed())
        self.cursor.collapseToEnd()

    def m_lineup(self, args, named):
        count = as_int(args[0], "LineUp") if args else 1
        extend = bool(as_int(args[1], "LineUp")) if len(args) > 1 else False
        doc = self._document()
        # Lines are paragraphs here. Each step is a round trip to the office, so a count that
        # reaches past the first paragraph goes to the start in one move.
        text = doc.getText()
        before = text.createTextCursorByRange(text.getStart())
        before.gotoRange(self.cursor.getStart(), True)
        if count >= before.getString().count("\n"):
            self.cursor.gotoStart(extend)
            return
        moved = 0
        while moved < count and self.cursor.gotoPreviousParagraph(extend):
            moved += 1
        if moved < count:
            self.cursor.gotoStart(extend)

    def m_linedown(self, args, named):
        count = as_int(args[0], "LineDown") if args else 1
        extend = bool(as_int(args[1], "LineDown")) if len(args) > 1 else False
        self._document()
        moved = 0
        while moved < count and self.cursor.gotoNextParagraph(extend):
            moved += 1
        if moved < count:
            self.cursor.gotoEnd(extend)

    def m_texttotable(self, args, named):
        options = {k.lower(): v for k, v in named}
        convert_from = as_int(options.get("convertfrom", 1), "ConvertFrom")
        columns = options.get("numcolumns")
        columns = as_int(columns, "NumColumns") if columns is not None else None
        separator = {1: "\t", 2: ","}.get(convert_from)
        if separator is None:
            raise AutomationError("TextToTable: ConvertFrom %d is not supported" % convert_from)
        doc = self._document()
        selected = self.cursor.getString().replace("\r\n", "\n").replace("\r", "\n")
        rows = split_records(selected, separator)
        if not rows:
            raise AutomationError("TextToTable: nothing is selected")
        if columns is None:
            columns = max(len(r) for r in rows)
        if columns < 1:
            raise AutomationError("TextToTable: NumColumns must be at least 1")
        cells = []
        for row in rows:
            row = list(row[:columns - 1]) + [separator.join(row[columns - 1:])] \
                if len(row) > columns else list(row) + [""] * (columns - len(row))
            cells.append(tuple(row))
        text = doc.getText()
        self.cursor.setString("")
        table = doc.createInstance("com.sun.star.text.TextTable")
        table.initialize(len(cells), columns)
        text.insertTextContent(self.cursor, table, False)
        table.setDataArray(tuple(cells))

    def m_filesaveas(self, args, named):
        if not args or not isinstance(args[0], str):
            raise AutomationError("FileSaveAs: a file name is needed")
        doc = self._document()
        url = file_url(args[0], self.session.cwd)
        self._close_earlier(doc, url)
        doc.storeAsURL(url, props(FilterName="MS Word 97", Overwrite=True))
        self.session.notes["stored"] = uno.fileUrlToSystemPath(url)

    def _close_earlier(self, doc, url):
        """A document still open under the target's name (an export of the same minute) keeps
        the file, and storing over it fails. When it holds nothing unsaved it is the file as it
        stands on disk, which the save replaces anyway: it is closed first. One with changes of
        the operator's is never thrown away."""
        components = self.office.desktop.getComponents().createEnumeration()
        while components.hasMoreElements():
            other = components.nextElement()
            try:
                if other == doc or not hasattr(other, "getURL") or other.getURL() != url:
                    continue
                modified = other.isModified()
            except Exception:
                continue
            if modified:
                raise AutomationError("The file is open in the office with unsaved changes: %s"
                                      % uno.fileUrlToSystemPath(url))
            other.close(True)

    def m_fileclose(self, args, named):
        if self.doc is not None:
            doc, self.doc, self.cursor = self.doc, None, None
            doc.close(True)

    def m_appclose(self, args, named):
        self.m_fileclose(args, named)
        self.office.close_if_idle()


def split_records(text, separator):
    """Lines into fields; a field in double quotes keeps separators and line ends, and a doubled
    double quote inside stands for one. The inverse of how the program quotes protocol cells."""
    rows, row, field = [], [], []
    i, n = 0, len(text)
    at_field_start = True
    while i < n:
        c = text[i]
        if at_field_start and c == '"':
            i += 1
            while i < n:
                if text[i] == '"':
                    if i + 1 < n and text[i + 1] == '"':
                        field.append('"')
                        i += 2
                        continue
                    i += 1
                    break
                field.append(text[i])
                i += 1
            at_field_start = False
            continue
        if c == separator:
            row.append("".join(field))
            field, at_field_start = [], True
        elif c == "\n":
            row.append("".join(field))
            rows.append(row)
            row, field, at_field_start = [], [], True
        else:
            field.append(c)
            at_field_start = False
        i += 1
    if field or row or not at_field_start:
        row.append("".join(field))
        rows.append(row)
    return rows


class ExcelApplication(AutomationObject):
    """Excel's application object on Calc: workbooks are spreadsheet documents.

    Every call to the office is a round trip that costs milliseconds, so cell values are
    collected and written in blocks: before any other request is carried out, when the caller
    goes quiet, and when the object is released. A write that fails then is reported with the
    next request."""
    kind = "Excel.Application"

    def __init__(self, session):
        self.session = session
        self.office = session.office
        self.visible = False
        self.workbooks = []
        self.active = None
        self.sheet = None      # the active sheet of the active workbook, once asked for
        self.pending = {}      # (row, column) -> value, 0-based, for self.sheet

    def _sheet(self):
        doc = self.active
        if doc is None:
            raise AutomationError("No workbook is open")
        if self.sheet is None:
            try:
                self.sheet = doc.getCurrentController().getActiveSheet()
            except Exception:
                self.sheet = doc.getSheets().getByIndex(0)
        return self.sheet

    def activate(self, doc):
        self.flush()
        self.active = doc
        self.sheet = None

    def flush(self):
        if not self.pending:
            return
        cells, self.pending = self.pending, {}
        for (c1, r1, c2, r2), rows in rectangles(cells):
            self.sheet.getCellRangeByPosition(c1, r1, c2, r2).setDataArray(rows)

    def g_visible(self, args):
        return self.visible

    def p_visible(self, args, value):
        self.visible = bool(value)
        for doc in self.workbooks:
            window = container_window(doc)
            if window is not None:
                try:
                    window.setVisible(self.visible)
                except Exception:
                    pass

    def g_workbooks(self, args):
        return Workbooks(self)

    def g_activeworkbook(self, args):
        if self.active is None:
            raise AutomationError("No workbook is open")
        return Workbook(self, self.active)

    m_workbooks = lambda self, args, named: self.g_workbooks(args)

    def add_workbook(self):
        self.flush()
        doc = self.office.load("private:factory/scalc", not self.visible)
        self.workbooks.append(doc)
        self.activate(doc)
        if self.visible:
            show_window(doc, False)
        return Workbook(self, doc)

    def g_cells(self, args):
        sheet = self._sheet()
        if not args:
            return Range(self, sheet, sheet.getCellRangeByPosition(
                0, 0, sheet.Columns.getCount() - 1, sheet.Rows.getCount() - 1))
        row, column = (as_int(a, "Cells") for a in args[:2])
        return Range(self, sheet, cell_at(sheet, row, column))

    m_cells = lambda self, args, named: self.g_cells(args)

    def p_cells(self, args, value):
        if len(args) < 2:
            raise AutomationError("Cells: a row and a column are needed")
        row, column = (as_int(a, "Cells") for a in args[:2])
        if row < 1 or column < 1:
            raise AutomationError("Cells: row and column count from 1")
        self._sheet()
        self.pending[(row - 1, column - 1)] = cell_data(value)
        self.session.pending_apps.add(self)

    def g_selection(self, args):
        doc = self.active
        if doc is None:
            raise AutomationError("No workbook is open")
        selection = doc.getCurrentController().getSelection()
        return Range(self, self._sheet(), selection)


def cell_data(value):
    """A value as a block write takes it: a text is stored as text, never read as a formula;
    numbers go in as numbers; nothing (or an empty text) leaves the cell empty."""
    if value is None:
        return ""
    if isinstance(value, bool):
        return 1.0 if value else 0.0
    if isinstance(value, (int, float)):
        return float(value)
    if isinstance(value, str):
        return value
    raise AutomationError("Cells: the value cannot be stored in a cell")


def rectangles(cells):
    """Covers the cells {(row, column): value} by rectangles with no gaps: runs of adjacent
    columns in a row, stacked while the rows below have the very same run."""
    by_row = {}
    for (r, c), v in cells.items():
        by_row.setdefault(r, {})[c] = v
    runs = []  # [c1, c2, r1, r2, rows]
    open_runs = {}
    for r in sorted(by_row):
        columns = sorted(by_row[r])
        still_open = {}
        start = 0
        while start < len(columns):
            end = start
            while end + 1 < len(columns) and columns[end + 1] == columns[end] + 1:
                end += 1
            c1, c2 = columns[start], columns[end]
            values = tuple(by_row[r][c] for c in range(c1, c2 + 1))
            run = open_runs.get((c1, c2))
            if run is not None and run[3] == r - 1:
                run[3] = r
                run[4].append(values)
            else:
                run = [c1, c2, r, r, [values]]
                runs.append(run)
            still_open[(c1, c2)] = run
            start = end + 1
        open_runs = still_open
    return [((c1, r1, c2, r2), tuple(rows)) for c1, c2, r1, r2, rows in runs]


def cell_at(sheet, row, column):
    if row < 1 or column < 1:
        raise AutomationError("Cells: row and column count from 1")
    return sheet.getCellByPosition(column - 1, row - 1)


def set_cell(cell, value):
    data = cell_data(value)
    if isinstance(data, float):
        cell.setValue(data)
    else:
        cell.setString(data)  # text as typed, never a formula


class Workbooks(AutomationObject):
    kind = "Workbooks"

    def __init__(self, app):
        self.app = app

    def m_add(self, args, named):
        return self.app.add_workbook()

    def g_count(self, args):
        return len(self.app.workbooks)


class Workbook(AutomationObject):
    kind = "Workbook"

    def __init__(self, app, doc):
        self.app = app
        self.doc = doc

    def m_activate(self, args, named):
        self.app.activate(self.doc)

    def m_saveas(self, args, named):
        if not args or not isinstance(args[0], str):
            raise AutomationError("SaveAs: a file name is needed")
        self.app.flush()
        url = file_url(args[0], self.app.session.cwd)
        filters = {".pdf": "calc_pdf_Export", ".xls": "MS Excel 97", ".xlsx": "Calc MS Excel 2007 XML"}
        name = filters.get(os.path.splitext(args[0])[1].lower(), "calc8")
        self.doc.storeToURL(url, props(FilterName=name, Overwrite=True))

    def m_close(self, args, named):
        self.app.flush()
        if self.doc in self.app.workbooks:
            self.app.workbooks.remove(self.doc)
        if self.app.active is self.doc:
            self.app.activate(self.app.workbooks[-1] if self.app.workbooks else None)
        self.doc.close(True)


class Range(AutomationObject):
    kind = "Range"

    def __init__(self, app, sheet, uno_range):
        self.app = app
        self.sheet = sheet
        self.range = uno_range

    def m_select(self, args, named):
        self.app.active.getCurrentController().select(self.range)

    def g_columns(self, args):
        return Columns(self)

    m_columns = lambda self, args, named: self.g_columns(args)

    def g_value(self, args):
        if hasattr(self.range, "getType"):
            from com.sun.star.table.CellContentType import VALUE, EMPTY
            kind = self.range.getType()
            if kind == EMPTY:
                return None
            if kind == VALUE:
                return self.range.getValue()
            return self.range.getString()
        raise AutomationError("Value: not a single cell")

    def p_value(self, args, value):
        if not hasattr(self.range, "getType"):
            raise AutomationError("Value: not a single cell")
        set_cell(self.range, value)


class Columns(AutomationObject):
    kind = "Columns"

    def __init__(self, owner):
        self.owner = owner

    def m_autofit(self, args, named):
        uno_range = self.owner.range
        # Only the columns that hold something need fitting; fitting every one of a sheet's
        # columns takes long and gives the empty ones their standard width anyway.
        try:
            cursor = self.owner.sheet.createCursor()
            cursor.gotoEndOfUsedArea(False)
            last_used = cursor.getRangeAddress().EndColumn
            address = uno_range.getRangeAddress()
            end = min(address.EndColumn, last_used)
            if end < address.StartColumn:
                return
            columns = self.owner.sheet.getCellRangeByPosition(
                address.StartColumn, 0, end, 0).getColumns()
        except AttributeError:
            columns = uno_range.getColumns()
        columns.OptimalWidth = True


# --- the request loop -----------------------------------------------------------------------

PROGIDS = {"word.basic": WordBasic, "excel.application": ExcelApplication}


class Session:
    def __init__(self):
        self.office = Office()
        self.objects = {}
        self.next_id = 1
        self.cwd = None
        self.pending_apps = set()  # spreadsheet objects holding cell values not yet written
        self.deferred = None       # a failure of a write made while nobody waited for it
        self.notes = {}            # extra facts for the answer of the request in hand

    def flush(self):
        apps, self.pending_apps = self.pending_apps, set()
        for app in apps:
            app.flush()

    def flush_quietly(self):
        try:
            self.flush()
        except Exception as error:
            self.deferred = self.deferred or describe(error)

    def release(self, oid):
        obj = self.objects.pop(oid, None)
        if isinstance(obj, ExcelApplication) and obj in self.pending_apps:
            self.pending_apps.discard(obj)
            try:
                obj.flush()
            except Exception as error:
                self.deferred = self.deferred or describe(error)

    def register(self, obj):
        oid = self.next_id
        self.next_id += 1
        self.objects[oid] = obj
        return oid

    def encode(self, value):
        if value is None:
            return None
        if isinstance(value, AutomationObject):
            return {"t": "o", "v": self.register(value)}
        if isinstance(value, bool):
            return {"t": "b", "v": value}
        if isinstance(value, int):
            return {"t": "i", "v": value}
        if isinstance(value, float):
            return {"t": "d", "v": value}
        if isinstance(value, str):
            return {"t": "s", "v": value}
        raise AutomationError("A result of an unsupported type")

    def decode(self, value):
        if value is None:
            return None
        kind, v = value.get("t"), value.get("v")
        if kind == "o":
            return self.lookup(v)
        if kind == "i":
            return int(v)
        if kind == "d":
            return float(v)
        if kind == "b":
            return bool(v)
        if kind == "s":
            return str(v)
        raise AutomationError("A value of an unknown type")

    def lookup(self, oid):
        try:
            return self.objects[oid]
        except KeyError:
            raise AutomationError("The object was released")

    def member(self, obj, prefix, name):
        if not re.fullmatch(r"[A-Za-z][A-Za-z0-9_]*", name or ""):
            raise AutomationError("Invalid name: %r" % name)
        handler = getattr(obj, prefix + name.lower(), None)
        if handler is None:
            raise AutomationError("Unknown name: %s" % name)
        return handler

    def handle(self, request):
        op = request.get("op")
        self.cwd = request.get("cwd") or self.cwd
        cell_write = (op == "put" and str(request.get("name", "")).lower() == "cells"
                      and isinstance(self.objects.get(request.get("obj")), ExcelApplication))
        if not cell_write:
            self.flush()
        if self.deferred:
            message, self.deferred = self.deferred, None
            raise AutomationError(message)
        if uno is None and op != "terminate":
            raise AutomationError("The office bridge is missing (python3-uno): " + IMPORT_ERROR)
        if op in ("create", "active"):
            factory = PROGIDS.get(str(request.get("progid", "")).lower())
            if factory is None:
                raise AutomationError("Invalid class string: %s" % request.get("progid"))
            options = request.get("office") or {}
            pid = None
            if not self.office.attach(options["pipe"], connect_timeout(options)):
                if op == "active":
                    raise AutomationError("Operation unavailable: no running instance")
                self.office.start(options)
                pid = self.office.started.pid
            return self.encode(factory(self)), pid
        if op == "terminate":
            self.office.terminate()
            return None, None
        obj = self.lookup(request.get("obj"))
        name = request.get("name")
        args = [self.decode(a) for a in request.get("args") or []]
        if op == "call":
            named = [(n, self.decode(v)) for n, v in request.get("named") or []]
            return self.encode(self.member(obj, "m_", name)(args, named)), None
        if op == "get":
            return self.encode(self.member(obj, "g_", name)(args)), None
        if op == "put":
            self.member(obj, "p_", name)(args, self.decode(request.get("value")))
            return None, None
        raise AutomationError("Unknown request: %s" % op)


def describe(error):
    message = getattr(error, "Message", None) or str(error) or type(error).__name__
    return message.strip().splitlines()[0] if message.strip() else type(error).__name__


def full_text(error):
    message = getattr(error, "Message", None) or str(error) or type(error).__name__
    return message.strip() or type(error).__name__


# LibreOffice tells a failed load or store by its error code, which it prints with the class of
# the error in words: "SfxBaseModel::impl_store <file:///...> failed: 0x507(Error Area:Io
# Class:Access Code:7) at ./sfx2/source/doc/sfxbasemodel.cxx:3207". The class is what an
# operator can act on; the rest is for whoever looks into it.
OFFICE_ERROR_CLASSES = {
    "Abort": "the office gave up",
    "General": "input/output error",
    "NotExists": "not found",
    "AlreadyExists": "it exists already",
    "Access": "access denied",
    "Path": "not a valid path",
    "Locking": "the file is locked",
    "Parameter": "not a valid name",
    "Space": "not enough space",
    "NotSupported": "not supported",
    "Read": "read error",
    "Write": "write error",
    "Unknown": "unknown error",
    "Version": "wrong version",
    "Format": "wrong format",
    "Create": "cannot be created",
}


def office_reason(text):
    """The short reason of a LibreOffice error code in text, or None when it holds none."""
    match = re.search(r"\(Error Area:\w+ Class:(\w+)", text)
    return OFFICE_ERROR_CLASSES.get(match.group(1), None) if match else None


def requests(session):
    """The request lines on standard input. While cell values wait to be written, a pause of
    the caller is the moment to write them."""
    fd = sys.stdin.fileno()
    buffer = b""
    while True:
        while b"\n" not in buffer:
            if session.pending_apps:
                ready, _, _ = select.select([fd], [], [], 0.05)
                if not ready:
                    session.flush_quietly()
                    continue
            chunk = os.read(fd, 65536)
            if not chunk:
                if buffer.strip():
                    yield buffer
                return
            buffer += chunk
        line, buffer = buffer.split(b"\n", 1)
        yield line


def main():
    session = Session()
    out = sys.stdout
    out.write(json.dumps({"ready": True, "uno": uno is not None}) + "\n")
    out.flush()
    for raw in requests(session):
        line = raw.decode("utf-8", "replace").strip()
        if not line:
            continue
        try:
            request = json.loads(line)
        except ValueError:
            request = None
            error = "Not a JSON request"
        else:
            error = None if isinstance(request, dict) else "A request must be a JSON object"
        if error:
            out.write(json.dumps({"id": None, "ok": False, "error": error}) + "\n")
            out.flush()
            continue
        if request.get("op") == "release":
            try:
                session.release(request.get("obj"))
            except Exception:
                pass  # a release has no answer, and a bad one changes nothing
            continue
        answer = {"id": request.get("id")}
        session.notes = {}
        try:
            result, pid = session.handle(request)
            answer.update(ok=True, result=result)
            if pid is not None:
                answer["pid"] = pid
            answer.update(session.notes)
        except Exception as error:  # every failure is an answer, never the end of the helper
            text = full_text(error)
            answer.update(ok=False, error=office_reason(text) or describe(error))
            if text != answer["error"]:
                answer["details"] = text
            if isinstance(error, OfficeHung):
                answer["hung"] = True
        out.write(json.dumps(answer) + "\n")
        out.flush()
    session.flush_quietly()
    # Leave without tearing down the UNO bridge, which can crash at interpreter shutdown.
    out.flush()
    os._exit(0)


if __name__ == "__main__":
    main()
