#!/usr/bin/env python3
"""Checks the shipped language files against the program's list of translatable texts.

The list is read from the string literals of settings/texts.cpp. Each text is turned into the key
the program looks up (LF CR -> "$$", then CR LF -> "$$", then "=" -> "##") and every
*.quarvel.lang file beside this script must hold exactly one entry for it in its [Locale]
section. Keys compare without regard to ASCII case; the first "=" of a line ends the key. The key
is taken as written (not trimmed), so that it is found whether or not a reader trims keys.

For each entry the translation (trimmed, one pair of surrounding quotes dropped, "$$" and "##"
decoded) must keep the English text's printf placeholders, its leading and trailing blanks, its
"&" accelerator mark (one, or none) and its number of line breaks.

Usage: check_lang.py [REPOSITORY]     (default: the folder above this script)
Exit code 0 when everything is in order, 1 otherwise.
"""

import pathlib
import re
import sys

PLACEHOLDER = re.compile(r"%%|%[-+ #0]*(?:\d+|\*)?(?:\.(?:\d+|\*))?[diouxXeEfFgGcsp]")


def ascii_lower(text):
    return "".join(chr(ord(c) + 32) if "A" <= c <= "Z" else c for c in text)


def encode(text):
    return text.replace("\n\r", "$$").replace("\r\n", "$$").replace("=", "##")


def decode(value):
    return value.replace("$$", "\n\r").replace("##", "=")


def placeholders(text):
    return [p for p in PLACEHOLDER.findall(text) if p != "%%"]


def accelerators(text):
    return len(re.findall(r"&[^&]", text.replace("&&", "")))


def line_breaks(text):
    return len(re.findall(r"\n\r|\r\n", text))


def edge_blanks(text):
    return (len(text) - len(text.lstrip(" ")), len(text) - len(text.rstrip(" ")))


# --- texts.cpp -------------------------------------------------------------------------------

SIMPLE_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "'": "'", "\\": "\\", "?": "?",
                  "a": "\a", "b": "\b", "f": "\f", "v": "\v"}


def read_literal(src, i):
    """Reads the string literal whose opening quote is at src[i]; returns (text, index after)."""
    out = []
    i += 1
    while True:
        if i >= len(src) or src[i] == "\n":
            raise ValueError("unterminated string literal")
        c = src[i]
        if c == '"':
            return "".join(out), i + 1
        if c != "\\":
            out.append(c)
            i += 1
            continue
        e = src[i + 1]
        if e in SIMPLE_ESCAPES:
            out.append(SIMPLE_ESCAPES[e])
            i += 2
        elif e == "x":
            m = re.match(r"[0-9A-Fa-f]+", src[i + 2:])
            out.append(chr(int(m.group(0), 16)))
            i += 2 + len(m.group(0))
        elif e in "01234567":
            m = re.match(r"[0-7]{1,3}", src[i + 1:])
            out.append(chr(int(m.group(0), 8)))
            i += 1 + len(m.group(0))
        else:
            raise ValueError("unknown escape \\" + e)


def texts_from_cpp(path):
    """The string literals of the file, outside comments and preprocessor lines; literals that
    follow each other with only blanks or comments between them are joined, as the compiler
    does."""
    src = path.read_text(encoding="utf-8")
    texts = []
    joining = False  # the last token was a literal
    i = 0
    at_line_start = True
    while i < len(src):
        c = src[i]
        if at_line_start and c == "#":
            i = src.find("\n", i)
            i = len(src) if i < 0 else i
            continue
        if src.startswith("//", i):
            i = src.find("\n", i)
            i = len(src) if i < 0 else i
            continue
        if src.startswith("/*", i):
            i = src.index("*/", i) + 2
            continue
        if c == "\n":
            at_line_start = True
            i += 1
            continue
        if c in " \t\r":
            i += 1
            continue
        at_line_start = False
        if c == "'":
            m = re.match(r"'(?:\\.|[^'\\])*'", src[i:])
            i += len(m.group(0))
            joining = False
            continue
        if c == '"':
            text, i = read_literal(src, i)
            if joining:
                texts[-1] += text
            else:
                texts.append(text)
            joining = True
            continue
        joining = False
        i += 1
    return texts


# --- language files --------------------------------------------------------------------------

def read_lang(path, problems):
    """The entries of the [Locale] section as (line number, raw key, raw value)."""
    data = path.read_bytes()
    try:
        content = data.decode("utf-8")
    except UnicodeDecodeError as e:
        problems.append(f"{path.name}: not UTF-8 ({e})")
        return []
    if "\r" in content:
        problems.append(f"{path.name}: carriage returns in the file; lines must end in LF only")
    lines = content.split("\n")
    if not lines or not lines[0].startswith(";"):
        problems.append(f"{path.name}: the first line should be a ';' comment naming the file")
    entries = []
    section = None
    seen_locale = False
    for number, line in enumerate(lines, 1):
        stripped = line.strip()
        if not stripped or stripped.startswith(";"):
            continue
        if stripped.startswith("[") and stripped.endswith("]"):
            section = ascii_lower(stripped[1:-1].strip())
            if section == "locale":
                if seen_locale:
                    problems.append(f"{path.name}:{number}: a second [Locale] section")
                seen_locale = True
            continue
        if section != "locale":
            problems.append(f"{path.name}:{number}: entry outside the [Locale] section")
            continue
        if "=" not in line:
            problems.append(f"{path.name}:{number}: line without '='")
            continue
        key, value = line.split("=", 1)
        entries.append((number, key, value))
    if not seen_locale:
        problems.append(f"{path.name}: no [Locale] section")
    return entries


def shown_value(raw):
    """The value as the settings reader gives it: trimmed, one pair of quotes dropped."""
    value = raw.strip(" \t")
    if len(value) >= 2 and value[0] == value[-1] and value[0] in "\"'":
        value = value[1:-1]
    return decode(value)


def check_file(path, texts, problems, notes):
    entries = read_lang(path, problems)
    by_key = {}
    for number, key, value in entries:
        folded = ascii_lower(key)
        if folded in by_key:
            problems.append(f"{path.name}:{number}: key {key!r} appears twice "
                            f"(first on line {by_key[folded][0]})")
            continue
        by_key[folded] = (number, key, value)

    wanted = {}
    for text in texts:
        wanted.setdefault(ascii_lower(encode(text)), []).append(text)

    for folded, group in wanted.items():
        if folded not in by_key:
            for text in group:
                problems.append(f"{path.name}: no entry for {text!r}")
            continue
        number, key, raw = by_key[folded]
        if len(group) > 1:
            notes.append(f"{path.name}:{number}: one entry serves {group!r} (keys ignore case)")
        value = shown_value(raw)
        where = f"{path.name}:{number}"
        if not value.strip():
            problems.append(f"{where}: empty translation for {key!r}")
            continue
        for text in group:
            if sorted(placeholders(value)) != sorted(placeholders(text)):
                problems.append(f"{where}: placeholders {placeholders(value)} in the translation "
                                f"of {text!r}, expected {placeholders(text)}")
            if edge_blanks(value) != edge_blanks(text):
                problems.append(f"{where}: leading/trailing blanks of {text!r} not kept "
                                f"(write the value in double quotes)")
            if accelerators(value) != accelerators(text):
                problems.append(f"{where}: {accelerators(value)} '&' marks in the translation "
                                f"of {text!r}, expected {accelerators(text)}")
            if line_breaks(value) != line_breaks(text):
                problems.append(f"{where}: {line_breaks(value)} line breaks in the translation "
                                f"of {text!r}, expected {line_breaks(text)}")

    for folded, (number, key, _) in by_key.items():
        if folded not in wanted:
            problems.append(f"{path.name}:{number}: entry {key!r} is not a text of the program")
    return len(entries)


def main(argv):
    root = pathlib.Path(argv[1]) if len(argv) > 1 else pathlib.Path(__file__).resolve().parent.parent
    problems, notes = [], []
    texts = texts_from_cpp(root / "settings" / "texts.cpp")
    if not texts:
        problems.append("settings/texts.cpp: no texts found")
    seen = set()
    for text in texts:
        if text in seen:
            problems.append(f"settings/texts.cpp: {text!r} is listed twice")
        seen.add(text)

    files = sorted((root / "lang").glob("*.quarvel.lang"))
    if not files:
        problems.append("lang/: no language files")
    for path in files:
        count = check_file(path, texts, problems, notes)
        print(f"{path.name}: {count} entries")

    for note in notes:
        print("note:", note)
    for problem in problems:
        print("error:", problem, file=sys.stderr)
    print(f"{len(texts)} texts, {len(files)} language files, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
