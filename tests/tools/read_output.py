"""Reads what brindle-sql wrote in one format with a parser of that format and prints the rows as JSON:
a list of lists of strings (csv, tsv, markdown: the header first) or of objects (json).

usage: read_output.py csv|tsv|json|markdown FILE
"""
import csv
import json
import sys

TSV_ESCAPES = {"t": "\t", "n": "\n", "r": "\r", "0": "\0", "\\": "\\"}


def tsv_value(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\":
            out.append(TSV_ESCAPES[text[i + 1]])  # any other escape is a fault: KeyError
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def markdown_cells(line):
    """The cells of a GitHub table line: split on | not escaped by a backslash, escapes undone."""
    if not (line.startswith("|") and line.endswith("|")):
        raise ValueError("not a table line: %r" % line)
    cells, cell, i = [], [], 1
    while i < len(line):
        c = line[i]
        if c == "\\":
            cell.append(line[i + 1])
            i += 2
            continue
        if c == "|":
            cells.append("".join(cell).strip())
            cell = []
        else:
            cell.append(c)
        i += 1
    return cells


def main():
    kind, path = sys.argv[1], sys.argv[2]
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    if kind == "csv":
        rows = list(csv.reader(text.splitlines(keepends=True), strict=True))
    elif kind == "tsv":
        # Fields hold no quoting: tabs and line breaks inside them are escaped.
        lines = text.split("\n")
        if lines[-1] != "":
            raise ValueError("the last line has no line end")
        rows = [[tsv_value(v) for v in line.split("\t")] for line in lines[:-1]]
    elif kind == "json":
        rows = [json.loads(line) for line in text.split("\n") if line]
    elif kind == "markdown":
        lines = text.split("\n")[:-1]
        rows = [markdown_cells(line) for line in lines]
        if len(rows) >= 2 and all(set(c) == {"-"} for c in rows[1]):
            del rows[1]  # the rule under the header
    else:
        raise SystemExit("unknown format " + kind)
    print(json.dumps(rows, ensure_ascii=False))


main()
