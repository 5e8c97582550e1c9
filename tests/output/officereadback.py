#!/usr/bin/python3
"""Reads back what the exports left in LibreOffice, for the integration tests.

  officereadback.py PIPE calc          the spreadsheets open in the office
  officereadback.py PIPE doc FILE      the tables, first body element and page header of FILE
  officereadback.py PIPE components    the URLs and titles of all open documents
  officereadback.py PIPE closeall      closes every open document

Prints one JSON document on standard output.
"""

import json
import os
import sys

import uno
from com.sun.star.beans import PropertyValue


def connect(pipe):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
    return ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)


def components(desktop):
    result = []
    e = desktop.getComponents().createEnumeration()
    while e.hasMoreElements():
        result.append(e.nextElement())
    return result


def cell_info(cell):
    kind = cell.getType().value
    info = {"type": kind, "string": cell.getString()}
    if kind == "VALUE":
        info["value"] = cell.getValue()
    return info


def calc(desktop):
    docs = []
    for doc in components(desktop):
        if not doc.supportsService("com.sun.star.sheet.SpreadsheetDocument"):
            continue
        controller = doc.getCurrentController()
        sheet = controller.getActiveSheet()
        cursor = sheet.createCursor()
        cursor.gotoEndOfUsedArea(False)
        end = cursor.getRangeAddress()
        rows = [[cell_info(sheet.getCellByPosition(c, r)) for c in range(end.EndColumn + 1)]
                for r in range(end.EndRow + 1)]
        columns = sheet.getColumns()
        selection = controller.getSelection()
        address = selection.getRangeAddress() if hasattr(selection, "getRangeAddress") else None
        docs.append({
            "title": doc.getTitle(),
            "rows": rows,
            "optimalWidth": [bool(columns.getByIndex(c).OptimalWidth)
                             for c in range(end.EndColumn + 1)],
            "widths": [columns.getByIndex(c).Width for c in range(end.EndColumn + 1)],
            "selection": None if address is None else [address.StartColumn, address.StartRow,
                                                       address.EndColumn, address.EndRow],
            "sheetSize": [columns.getCount(), sheet.getRows().getCount()],
        })
    return docs


def doc_tables(desktop, path):
    hidden = PropertyValue()
    hidden.Name, hidden.Value = "Hidden", True
    doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(path), "_blank", 0, (hidden,))
    try:
        tables = []
        for i in range(doc.getTextTables().getCount()):
            table = doc.getTextTables().getByIndex(i)
            tables.append({"rows": table.getRows().getCount(),
                           "columns": table.getColumns().getCount(),
                           "cells": [list(r) for r in table.getDataArray()]})
        first = doc.getText().createEnumeration().nextElement()
        pages = doc.getStyleFamilies().getByName("PageStyles")
        headers = []
        for name in pages.getElementNames():
            page = pages.getByName(name)
            if page.isInUse() and page.HeaderIsOn:
                headers.append(page.HeaderText.getString())
        header = "\n".join(headers)
        return {"tables": tables,
                "firstIsTable": first.supportsService("com.sun.star.text.TextTable"),
                "header": header}
    finally:
        doc.close(True)


def main():
    desktop = connect(sys.argv[1])
    command = sys.argv[2]
    if command == "calc":
        result = calc(desktop)
    elif command == "doc":
        result = doc_tables(desktop, sys.argv[3])
    elif command == "components":
        result = [{"url": d.getURL(), "title": d.getTitle()} for d in components(desktop)]
    elif command == "closeall":
        for d in components(desktop):
            d.close(True)
        result = True
    else:
        raise SystemExit("unknown command " + command)
    print(json.dumps(result), flush=True)
    # The UNO bridge can crash while the interpreter tears it down (seen as SIGSEGV after a
    # complete answer); what was asked for is out, so leave without the teardown.
    os._exit(0)


if __name__ == "__main__":
    main()
