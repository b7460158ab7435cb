#!/usr/bin/env python3
"""Checks the readme page against the program: well-formed HTML that needs no
network, and every label, menu item and message the program can show named in
it, taken from the program's own tables so that the page cannot fall behind.
With --cli, runs the page's regex examples through tavvel-cli instead."""
import argparse
import html.parser
import os
import re
import subprocess
import sys
import tempfile

LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
# A definition such as  const char kName[] = "..." "...";  with its literals.
DEFINITION = re.compile(r'\b(k\w+)\[\]\s*=\s*((?:"(?:[^"\\\n]|\\.)*"\s*)+);')
# What the program fills in when it shows a text.
PLACEHOLDER = re.compile(r"%l?[dus]|%1|\n")


def unescape(literal):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), literal)


def definitions(path):
    """Every named text of a source file, adjacent literals joined."""
    with open(path, encoding="utf-8") as source:
        text = source.read()
    return {name: "".join(unescape(s) for s in LITERAL.findall(body)) for name, body in DEFINITION.findall(text)}


def shown_fragments(text):
    """The pieces of a message box text that stand as written: a file filter
    shows its descriptions; elsewhere paths, numbers and line breaks are
    filled in between the pieces."""
    if "|" in text:
        return [part for part in text.split("|")[0::2] if part]
    return [piece.strip() for piece in PLACEHOLDER.split(text) if piece.strip()]


def template_labels(path):
    """Captions, control texts, combo items, menu items and strings of the
    dialog templates, as the user reads them: no '&', a TAB between a menu
    item and its key. The dialogs' font is not a label."""
    with open(path, encoding="utf-8") as source:
        text = re.sub(r"(?m)^\s*#.*$", "", source.read())
    fonts = set(re.findall(r'"([^"]*)",\s*9\s*,', text))
    labels = []
    for literal in LITERAL.findall(text):
        value = unescape(literal)
        if value in fonts:
            continue
        labels.extend(part for part in value.replace("&", "").split("\t") if part)
    return labels


class TextAndLinks(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.text = []
        self.problems = []
        self.charset = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "meta" and "charset" in attrs:
            self.charset = attrs["charset"].lower()
        for name in ("src", "href"):
            value = attrs.get(name)
            if value is not None and not value.startswith("#"):
                self.problems.append(f"<{tag} {name}=\"{value}\"> reaches outside the page")
        if tag == "link":
            self.problems.append("<link> reaches outside the page")

    def handle_data(self, data):
        self.text.append(data)


class ExampleRows(html.parser.HTMLParser):
    """The rows of an examples table: table line, text, result. A <var> stands
    for a control character: TAB, or 改行 for a line feed."""

    def __init__(self, table_class):
        super().__init__(convert_charrefs=True)
        self.table_class = table_class
        self.rows = []
        self.in_table = self.in_var = False
        self.cells = None

    def handle_starttag(self, tag, attrs):
        if tag == "table" and ("class", self.table_class) in attrs:
            self.in_table = True
        elif self.in_table and tag == "tr":
            self.cells = []
        elif self.in_table and tag == "td" and self.cells is not None:
            self.cells.append("")
        elif tag == "var":
            self.in_var = True

    def handle_endtag(self, tag):
        if tag == "table":
            self.in_table = False
        elif tag == "tr" and self.cells:
            self.rows.append(self.cells)
            self.cells = None
        elif tag == "var":
            self.in_var = False

    def handle_data(self, data):
        if self.cells:
            self.cells[-1] += {"TAB": "\t", "改行": "\n"}[data] if self.in_var else data


def check_examples(source, cli, table_class, mode, least):
    """Each example as a one-line table (mode -r or -p) over the text; a
    result may end in (メッセージ「…」 …): the command fails with that message
    and the text stays as the commands before it left it."""
    rows = ExampleRows(table_class)
    rows.feed(source)
    problems = []
    if len(rows.rows) < least:
        problems.append(f"only {len(rows.rows)} rows in the table {table_class}")
    with tempfile.TemporaryDirectory() as work:
        table, text = os.path.join(work, "table.txt"), os.path.join(work, "text.txt")
        for command, subject, result in rows.rows:
            message = re.search(r" \(メッセージ「(.*?)」.*\)$", result)
            if message:
                result = result[: message.start()]
            with open(table, "wb") as out:
                out.write(command.encode("cp932") + b"\n")
            with open(text, "wb") as out:
                out.write(subject.encode("cp932"))
            run = subprocess.run([cli, "-q", "-n", "lf", mode, table, "-o", "-", text], capture_output=True)
            got = run.stdout.decode("cp932", errors="replace")
            shown = run.stderr.decode("utf-8", errors="replace")
            if got != result:
                problems.append(f"example {command!r} over {subject!r}: page says {result!r}, tavvel-cli gives {got!r}")
            if message and message.group(1) not in shown:
                problems.append(f"example {command!r}: no message {message.group(1)!r} (shown: {shown.strip()!r})")
            if not message and (run.returncode != 0 or shown):
                problems.append(f"example {command!r}: exit status {run.returncode}, {shown.strip()!r}")
    return problems


def normalise(text):
    return re.sub(r"\s+", " ", text.replace("\xa0", " "))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--page", required=True)
    parser.add_argument("--messages", help="the program's message table")
    parser.add_argument("--templates", help="the dialog templates, menu and strings")
    parser.add_argument("--engine-messages", help="the regex engine's messages")
    parser.add_argument("--cli", help="tavvel-cli, to run the examples with")
    parser.add_argument("--version", help="the version the page must name")
    args = parser.parse_args()
    if args.cli:
        with open(args.page, encoding="utf-8") as page_file:
            source = page_file.read()
        problems = check_examples(source, args.cli, "examples", "-r", 20)
        problems += check_examples(source, args.cli, "plain-examples", "-p", 5)
        for problem in problems:
            print(problem)
        return 1 if problems else 0
    if not (args.messages and args.templates and args.engine_messages):
        parser.error("--messages, --templates and --engine-messages are needed without --cli")

    problems = []
    lint = subprocess.run(["xmllint", "--html", "--noout", args.page], capture_output=True, text=True)
    if lint.returncode != 0 or lint.stdout or lint.stderr:
        problems.append("xmllint: " + (lint.stdout + lint.stderr).strip())

    with open(args.page, encoding="utf-8") as page_file:
        source = page_file.read()
    if not source.startswith("<!DOCTYPE html>"):
        problems.append("the page does not start with <!DOCTYPE html>")
    page = TextAndLinks()
    page.feed(source)
    problems.extend(page.problems)
    if page.charset != "utf-8":
        problems.append(f'<meta charset="utf-8"> missing (found {page.charset})')
    text = normalise("".join(page.text))
    if args.version and f"Tavvel {args.version}" not in text:
        problems.append(f"the page does not name Tavvel {args.version}")

    expected = {}
    for name, value in definitions(args.messages).items():
        for fragment in shown_fragments(value):
            expected.setdefault(normalise(fragment), f"message {name}")
    for name, value in definitions(args.engine_messages).items():
        expected.setdefault(normalise(value), f"engine message {name}")
    for label in template_labels(args.templates):
        expected.setdefault(normalise(label), "dialog template")
    if len(expected) < 50:
        problems.append(f"only {len(expected)} texts found in the program's tables: has their format changed?")
    for wanted, origin in sorted(expected.items()):
        if wanted not in text:
            problems.append(f"not in the page: {wanted!r} ({origin})")

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
