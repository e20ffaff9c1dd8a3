"""Reads a spreadsheet invrender wrote and checks it against the report file
it came from, using only the report file's own records:

  listing: every detail line (group and totals lines in the grouped reports)
    is one sheet row below the frozen row of column names.  The row's cells,
    left to right, are found in the line left to right: a number cell shown
    with its format's decimals reads exactly as printed; a text cell reads as
    printed.  No digit of the line is left outside a cell, and no decimal
    figure is a text cell unless a comment says why.  Totals are bold.
  export: the values between the commas every record has in the same place
    are the row's cells, in order; a column holding numbers holds them as
    number cells equal to the printed values.

usage: check_sheet.py REPORT_FILE XLSX_FILE [--chart]
Prints "ok N" (N number cells checked), or the differences and exits 1.
"""
import re
import sys

import openpyxl

BANNER = "K O R V A N E     I N V E N T O R Y"
FIGURE = re.compile(r"^-?(\d+\.?\d*|\.\d+)$")
problems = []


def decimals_of(cell):
    fmt = cell.number_format
    return len(fmt.split(".")[1]) if "." in fmt else 0


def shown(cell):
    """The ways a cell's value can stand in a report line."""
    if isinstance(cell.value, (int, float)) and not isinstance(cell.value, bool):
        text = f"{cell.value:.{decimals_of(cell)}f}"
        forms = [text]
        if text.startswith("0."):
            forms.append(text[1:])
        if text.startswith("-0."):
            forms.append("-" + text[2:])
        if float(text) == 0:  # the report may print a rounded-off loss as -.00
            forms += ["-" + text, "-" + text[1:]]
        return forms
    return [str(cell.value)]


def first_data_row(ws):
    """The row below the frozen column names."""
    return ws[ws.freeze_panes].row if ws.freeze_panes else 1


def data_rows(ws):
    for row in ws.iter_rows(min_row=first_data_row(ws)):
        cells = [c for c in row if c.value is not None]
        if cells:
            yield cells


def listing_lines(records):
    lines, first_title, skip, total = [], None, 0, False
    for text in records:
        if text[0] == "1" and text[49:84] == BANNER:
            skip, total = 8, False
        if skip:
            if skip == 7:
                title = text[49:86]
                first_title = first_title or title
                if title != first_title:
                    break  # pages left over from an earlier run
            skip -= 1
            continue
        if text[1:].strip("-") == "" and len(text) == 132 and text[1] == "-":
            total = True
        elif text.strip():
            lines.append((text, total))
    return lines


def check_listing(records, ws):
    lines = listing_lines(records)
    rows = list(data_rows(ws))
    if len(rows) != len(lines):
        problems.append(f"{len(rows)} sheet rows for {len(lines)} detail lines")
    numbers = 0
    for (line, total), cells in zip(lines, rows):
        at, taken = 0, [False] * len(line)
        for cell in cells:
            if total and cell.value == "Totals":
                continue
            for form in shown(cell):
                found = line.find(form, at)
                # A figure begins after a blank or where the cell before
                # it ended (full fields touch), never inside another figure.
                while found > at and line[found - 1] not in " ,":
                    found = line.find(form, found + 1)
                if found >= 0:
                    break
            if found < 0:
                problems.append(f"{cell.coordinate} {cell.value!r} is not in {line.rstrip()!r} after column {at + 1}")
                continue
            for i in range(found, found + len(form)):
                taken[i] = True
            at = found + len(form)
            if cell.data_type == "n":
                numbers += 1
            elif FIGURE.match(str(cell.value)) and "." in str(cell.value) and cell.comment is None:
                problems.append(f"{cell.coordinate} {cell.value!r} is a figure held as text")
            if total and not cell.font.b:
                problems.append(f"{cell.coordinate} is in a totals row but not bold")
        left = "".join(ch for ch, t in zip(line, taken) if not t and ch.isdigit())
        if left:
            problems.append(f"digits {left!r} of {line.rstrip()!r} are in no cell")
    return numbers


def check_export(records, ws):
    data = records[1:]
    commas = set(i for i, ch in enumerate(data[0]) if ch == ",") if data else set()
    for text in data:
        commas &= set(i for i, ch in enumerate(text) if ch == ",")
    rows = list(ws.iter_rows(min_row=first_data_row(ws)))
    if len(rows) != len(data):
        problems.append(f"{len(rows)} sheet rows for {len(data)} records")
    numeric = set()
    for row in rows:
        numeric |= {i for i, c in enumerate(row) if c.data_type == "n" and c.value is not None}
    numbers = 0
    for text, row in zip(data, rows):
        bounds = [-1] + sorted(commas) + [len(text)]
        values = [text[a + 1 : b].strip() for a, b in zip(bounds, bounds[1:])]
        if any(values[len(row) :]):
            problems.append(f"record {text!r} holds more values than the sheet's {len(row)} columns")
        for i, cell in enumerate(row):
            value = values[i] if i < len(values) else ""
            if value == "":
                if cell.value is not None:
                    problems.append(f"{cell.coordinate} holds {cell.value!r} for a blank value")
            elif i in numeric and cell.data_type != "n" and cell.value == value and cell.comment is not None:
                pass  # kept as printed, with the reason
            elif i in numeric:
                if cell.data_type != "n" or abs(cell.value - float(value)) > 1e-9 or decimals_of(cell) != (
                    len(value) - value.index(".") - 1 if "." in value else 0
                ):
                    problems.append(f"{cell.coordinate} {cell.value!r} ({cell.number_format}) for {value!r}")
                numbers += 1
            elif cell.value != value or (FIGURE.match(value) and "." in value):
                problems.append(f"{cell.coordinate} {cell.value!r} for {value!r}")
    return numbers


def main():
    report, xlsx = sys.argv[1], sys.argv[2]
    data = open(report, "rb").read()
    length = 134 if data[132:134] == b"\r\n" else 128
    records = [data[i : i + length - 2].decode("latin-1") for i in range(0, len(data), length)]
    book = openpyxl.load_workbook(xlsx)
    ws = book.worksheets[0]
    numbers = check_listing(records, ws) if length == 134 else check_export(records, ws)
    charts = [c for sheet in book.chartsheets for c in sheet._charts]
    if "--chart" in sys.argv:
        if len(charts) != 1 or charts[0].tagname != "barChart" or len(charts[0].series) != 2:
            problems.append(f"no bar chart of two series on a sheet of its own: {charts}")
    elif charts:
        problems.append("a chart in a report without groups")
    for p in problems[:20]:
        print(p)
    if problems:
        sys.exit(1)
    print("ok", numbers)


main()
