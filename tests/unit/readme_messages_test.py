#!/usr/bin/env python3
"""README.TXT lists every failure message the program can show, in the program's own words.

Reads the reasons and the lines on the earlier image from the string table in res/korvante2.rc
and looks for each in docs/windows-readme.txt, line breaks and indentation aside, and the other
way round: each message quoted in README.TXT's list is one of the string table's. A reason's
name (%s) may be any text that keeps the words on either side together. Every cause of
build/build_result.h has a reason of its own in the string table.
"""
import os
import re
import sys
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def read(*path):
    with open(os.path.join(ROOT, *path), encoding="ascii") as f:
        return f.read()


def string_table():
    """Resource symbol -> text, as the resource compiler reads the quoted string."""
    table = re.search(r"^STRINGTABLE\s*\nBEGIN\n(.*?)^END", read("res", "korvante2.rc"), re.MULTILINE | re.DOTALL).group(1)
    return {symbol: text.replace('""', '"').replace("\\\\", "\\")
            for symbol, text in re.findall(r'^\s*(IDS_\w+)\s+"((?:[^"]|"")*)"\s*$', table, re.MULTILINE)}


def flattened(text):
    return " ".join(text.split())


def messages():
    return {symbol: text for symbol, text in string_table().items() if symbol.startswith(("IDS_WHY_", "IDS_EARLIER_"))}


def pattern(text):
    return r"[^\"]{1,60}?".join(re.escape(flattened(part)) for part in text.split("%s"))


class ReadmeListsEveryMessage(unittest.TestCase):

    def test_every_reason_and_earlier_image_line_is_in_readme_txt(self):
        readme = flattened(read("docs", "windows-readme.txt"))
        self.assertGreaterEqual(len(messages()), 20, f"reasons found in the string table: {sorted(messages())}")
        for symbol, text in messages().items():
            with self.subTest(symbol):
                self.assertTrue(re.search(pattern(text), readme), f"README.TXT lacks the message {symbol}: \"{text}\"")

    def test_every_message_quoted_in_readme_txt_is_the_programs(self):
        readme = read("docs", "windows-readme.txt")
        listed = readme[readme.index("These are the messages"):readme.index("To see why the image tool failed")]
        quoted = [flattened(item) for item in re.findall(r'^- "(.*?)(?=^- |^\S|\Z)', listed, re.MULTILINE | re.DOTALL)]
        self.assertGreaterEqual(len(quoted), 20, "messages quoted in README.TXT's list")
        for item in quoted:
            with self.subTest(item[:50]):
                self.assertTrue(any(re.match(pattern(text), item) for text in messages().values()),
                                f"README.TXT quotes a message the string table lacks: \"{item[:120]}\"")

    def test_every_cause_has_a_reason_without_a_placeholder_left_over(self):
        causes = re.search(r"enum class FailureCause \{(.*?)\};", read("build", "build_result.h"), re.DOTALL).group(1)
        causes = set(re.findall(r"^\s*(\w+),", causes, re.MULTILINE)) - {"None"}
        reasons = dict(re.findall(r"case FailureCause::(\w+):\s*return (IDS_\w+);", read("ui", "failure_message.cpp")))
        table = string_table()
        for cause in sorted(causes):
            with self.subTest(cause):
                self.assertIn(cause, reasons, f"FailureCause::{cause} has no reason in ui/failure_message.cpp")
                text = table.get(reasons[cause], "")
                self.assertTrue(text.strip(), f"{reasons[cause]} for {cause}: no text in the string table")
                self.assertIsNone(re.search(r"%[^s]", text), f"{reasons[cause]}: a placeholder other than %s: \"{text}\"")


if __name__ == "__main__":
    sys.exit(unittest.main(verbosity=2))
