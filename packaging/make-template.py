#!/usr/bin/python3
"""Makes the default Word template vidazorov.doc with LibreOffice.

Usage: packaging/make-template.py [output.doc]   (default: vidazorov.doc beside this script)

The exports insert the protocol table at the start of the document body, so the heading lives in
the page header, where it stays above the table on every page. The page is A4 portrait with
2 cm margins; the footer carries the page number.
"""

import os
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "vidazorov.doc"))
    profile = tempfile.mkdtemp(prefix="vz-template-")
    pipe = "vz_template_%d" % os.getpid()
    office = subprocess.Popen(
        ["soffice", "--headless", "--nologo", "--nodefault", "--norestore",
         "-env:UserInstallation=" + uno.systemPathToFileUrl(profile),
         "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % pipe],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    try:
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + 120
        while True:
            try:
                ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except Exception:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.2)
        desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        doc = desktop.loadComponentFromURL("private:factory/swriter", "_blank", 0,
                                           (prop("Hidden", True),))
        build(doc)
        doc.storeToURL(uno.systemPathToFileUrl(target), (prop("FilterName", "MS Word 97"),))
        doc.close(True)
        try:
            desktop.terminate()
        except Exception:
            pass
    finally:
        # The office may outlive its launcher: wait for its whole process group, then kill it.
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            office.poll()
            try:
                os.killpg(office.pid, 0)
            except OSError:
                break
            time.sleep(0.2)
        else:
            os.killpg(office.pid, 9)
        subprocess.call(["rm", "-rf", profile])
    print(target)


def build(doc):
    from com.sun.star.style.ParagraphAdjust import CENTER
    from com.sun.star.awt.FontWeight import BOLD

    doc.getDocumentProperties().Title = "Vidazorov protocol"
    styles = doc.getStyleFamilies()
    page = styles.getByName("PageStyles").getByName("Standard")
    page.Width, page.Height = 21000, 29700  # A4 portrait, 1/100 mm
    page.LeftMargin = page.RightMargin = 2000
    page.TopMargin = page.BottomMargin = 1500
    page.HeaderIsOn = True
    page.HeaderBodyDistance = 500
    page.FooterIsOn = True

    default = styles.getByName("ParagraphStyles").getByName("Standard")
    default.CharFontName = "Liberation Sans"
    default.CharHeight = 11

    header = page.HeaderText
    cursor = header.createTextCursor()
    cursor.ParaAdjust = CENTER
    cursor.CharFontName = "Liberation Sans"
    cursor.CharHeight = 18
    cursor.CharWeight = BOLD
    header.insertString(cursor, "Vidazorov \u2013 Protocol", False)
    line = uno.createUnoStruct("com.sun.star.table.BorderLine2")
    line.OuterLineWidth = 35
    cursor.BottomBorder = line
    cursor.BottomBorderDistance = 100

    footer = page.FooterText
    cursor = footer.createTextCursor()
    cursor.ParaAdjust = CENTER
    cursor.CharHeight = 9
    footer.insertString(cursor, "Seite ", False)
    field = doc.createInstance("com.sun.star.text.TextField.PageNumber")
    field.NumberingType = 4  # arabic
    field.SubType = uno.Enum("com.sun.star.text.PageNumberType", "CURRENT")
    footer.insertTextContent(cursor, field, False)


if __name__ == "__main__":
    main()
