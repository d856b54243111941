#!/usr/bin/env python3
"""README.TXT lists every failure message the program can show, in the program's own words.

Reads the reasons and the lines on the earlier image from the string table in res/korvante2.rc
and looks for each in docs/windows-readme.txt, line breaks and indentation aside. A reason's
name (%s) may be any text that keeps the words on either side together.
"""
import os
import re
import sys
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def string_table():
    """Resource symbol -> text, as the resource compiler reads the quoted string."""
    with open(os.path.join(ROOT, "res", "korvante2.rc"), encoding="ascii") as f:
        script = f.read()
    table = re.search(r"^STRINGTABLE\s*\nBEGIN\n(.*?)^END", script, re.MULTILINE | re.DOTALL).group(1)
    return {symbol: text.replace('""', '"').replace("\\\\", "\\")
            for symbol, text in re.findall(r'^\s*(IDS_\w+)\s+"((?:[^"]|"")*)"\s*$', table, re.MULTILINE)}


def flattened(text):
    return " ".join(text.split())


class ReadmeListsEveryMessage(unittest.TestCase):

    def test_every_reason_and_earlier_image_line_is_in_readme_txt(self):
        with open(os.path.join(ROOT, "docs", "windows-readme.txt"), encoding="ascii") as f:
            readme = flattened(f.read())
        messages = {symbol: text for symbol, text in string_table().items()
                    if symbol.startswith(("IDS_WHY_", "IDS_EARLIER_"))}
        self.assertGreaterEqual(len(messages), 20, f"reasons found in the string table: {sorted(messages)}")
        for symbol, text in messages.items():
            with self.subTest(symbol):
                pattern = r"[^\"]{1,60}?".join(re.escape(flattened(part)) for part in text.split("%s"))
                self.assertRegex(readme, pattern, f"README.TXT lacks the message {symbol}: \"{text}\"")


if __name__ == "__main__":
    sys.exit(unittest.main(verbosity=2))
