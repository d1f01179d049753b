#!/usr/bin/env python3
"""Turns the readable setup script into the bytes that the installer carries.

usage: encode_script.py SOURCE.txt OUTPUT.bin

The source is UTF-8 with any line ends. The output is Shift-JIS (code page 932)
with CR LF after every line, the last one included, and ends with the byte 0x1A,
the end-of-file mark that the installer's reader stops at. A character that
code page 932 cannot hold is an error, not a question mark.
"""
import sys


def encode(text):
    lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()  # the source's own final line break
    body = "".join(line + "\r\n" for line in lines)
    return body.encode("cp932", errors="strict") + b"\x1a"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8-sig") as source:
        data = encode(source.read())
    with open(sys.argv[2], "wb") as output:
        output.write(data)


if __name__ == "__main__":
    main()
