#!/usr/bin/python3
"""Every catalogue is whole against today's sources.

    catalogues_test.py <source dir> <lupdate>

Brings a copy of every catalogue up to date with the sources, as the
update_translations target does but keeping what it would drop, and fails on
any entry that is untranslated, unfinished (fuzzy) or obsolete, and on any
placeholder in a translation that its source text does not have.
"""

import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from pathlib import Path

PLACEHOLDER = re.compile(r"%L?\d+|%n|%[sd]|@[A-Z_]+@")


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def window_faults(ts_file):
    for message in ElementTree.parse(ts_file).iter("message"):
        source = message.findtext("source")
        translation = message.find("translation")
        state = translation.get("type")
        if state or not translation.text:
            yield "%s: %r" % (state or "untranslated", source)
        elif not set(PLACEHOLDER.findall(translation.text)) <= set(PLACEHOLDER.findall(source)):
            yield "placeholder not in the source: %r" % translation.text


def gettext_faults(po_file):
    for option, fault in (("--untranslated", "untranslated"), ("--only-fuzzy", "fuzzy"),
                          ("--only-obsolete", "obsolete")):
        found = subprocess.run(["msgattrib", option, "--no-wrap", po_file],
                               check=True, capture_output=True, text=True).stdout
        # An entry's text may span lines (an empty first line, as a no-wrap
        # entry has); only the header's is empty throughout.
        for lines in re.findall(r'^(?:#~ )?msgid ((?:(?:#~ )?".*"\n)+)', found, re.MULTILINE):
            msgid = "".join(re.findall(r'"(.*)"', lines))
            if msgid:
                yield "%s: %s" % (fault, msgid[:60])
    entries = subprocess.run(["msgcat", "--no-wrap", po_file], check=True, capture_output=True, text=True).stdout
    for source, translation in re.findall(r'^msgid "(.*)"\nmsgstr "(.*)"$', entries, re.MULTILINE):
        if not set(PLACEHOLDER.findall(translation)) <= set(PLACEHOLDER.findall(source)):
            yield "placeholder not in the source: %s" % translation[:60]


def main(source, lupdate):
    catalogues = source / "translations"
    lines = (catalogues / "LINGUAS").read_text().splitlines()
    languages = [line.strip() for line in lines if line.strip() and not line.startswith("#")]
    faults = []
    with tempfile.TemporaryDirectory() as scratch:
        scratch = Path(scratch)
        (scratch / "manual").mkdir()
        run("xgettext", "--from-code=UTF-8", "-o", str(scratch / "brindle.pot"),
            str(source / "data/org.example.Brindle.desktop.in"), str(source / "data/org.example.Brindle.metainfo.xml"))
        config = scratch / "manual.cfg"
        config.write_text("[po4a_langs] %s\n[po4a_paths] %s $lang:%s/$lang.po\n"
                          "[type: text] %s $lang:%s/$lang.md opt:\"--option markdown\"\n"
                          % (" ".join(languages), scratch / "manual/brindle.1.pot", scratch / "manual",
                             source / "docs/brindle.md", scratch / "manual"))
        for language in languages:
            ts = scratch / ("brindle_%s.ts" % language)
            shutil.copy(catalogues / ts.name, ts)
            run(lupdate, "-silent", "-locations", "none", "-I", str(source / "src"), str(source / "src/app"), "-ts", str(ts))
            faults += ["%s: %s" % (ts.name, fault) for fault in window_faults(ts)]
            run("msgmerge", "--quiet", "-o", str(scratch / ("%s.po" % language)),
                str(catalogues / ("%s.po" % language)), str(scratch / "brindle.pot"))
            shutil.copy(catalogues / "manual" / ("%s.po" % language), scratch / "manual")
        run("po4a", "--quiet", "--no-translations", "--master-charset", "UTF-8", str(config))
        for language in languages:
            for po in ("%s.po" % language, "manual/%s.po" % language):
                faults += ["%s: %s" % (po, fault) for fault in gettext_faults(str(scratch / po))]
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(Path(sys.argv[1]), sys.argv[2]))
