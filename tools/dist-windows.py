#!/usr/bin/env python3
"""Writes the release zip of the Windows build:

    dist-windows.py --readme README.md --output Vardel-VERSION-win64.zip PROGRAM.exe...

The zip holds the programs named, each at its top level under its own name,
and README.txt: the README's Windows section as Notepad reads it (UTF-8 with a
byte order mark, CR LF line ends), without the pictures, which the zip does not
carry. The build's `dist` target calls it with the list of programs.
"""
import argparse
import os
import re
import sys
import zipfile

SECTION = "## Windows: Vardel.exe"


def windows_section(readme_path):
    """The section's lines, from its heading up to the next one of its level."""
    with open(readme_path, encoding="utf-8") as readme:
        lines = readme.read().split("\n")
    try:
        start = lines.index(SECTION)
    except ValueError:
        sys.exit(f"dist-windows: no '{SECTION}' heading in {readme_path}")
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("## ")), len(lines))
    section = [line for line in lines[start:end] if not re.match(r"^!\[.*\]\(.*\)$", line)]
    section[0] = section[0].removeprefix("## ")
    # One blank line where a picture stood between two paragraphs, none at the end.
    text = re.sub(r"\n{3,}", "\n\n", "\n".join(section)).strip("\n")
    return text + "\n"


def notepad_text(text):
    return b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--readme", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()

    partial = args.output + ".part"
    with zipfile.ZipFile(partial, "w", compression=zipfile.ZIP_DEFLATED) as release:
        for program in args.programs:
            release.write(program, arcname=os.path.basename(program))
        release.writestr("README.txt", notepad_text(windows_section(args.readme)))
    # A zip is either whole or not there: a reader never sees half of one.
    os.replace(partial, args.output)


if __name__ == "__main__":
    main()
