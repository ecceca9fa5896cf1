#!/usr/bin/env python3
"""Every relative link in README.md and docs/*.md must point at a file that
exists, and a link into a Markdown file's heading (file.md#heading) at a
heading that file has. Links to web addresses are not followed.

    check_links.py [SOURCE_DIR]
"""
import os
import re
import sys

# [text](target) and ![alt](target); the target ends at whitespace or ')'.
LINK = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
FENCE = re.compile(r"^\s*(```|~~~)")


def prose(text):
    """The text outside fenced code blocks, where links are links."""
    out, fenced = [], False
    for line in text.split("\n"):
        if FENCE.match(line):
            fenced = not fenced
            continue
        if not fenced:
            out.append(line)
    return "\n".join(out)


def anchors(path):
    """The anchors a Markdown renderer gives the file's headings: lower case,
    punctuation dropped, spaces turned into hyphens."""
    found = set()
    with open(path, encoding="utf-8") as f:
        for line in prose(f.read()).split("\n"):
            m = re.match(r"#{1,6}\s+(.*?)\s*#*\s*$", line)
            if m:
                slug = re.sub(r"[^\w\- ]", "", m.group(1).lower()).replace(" ", "-")
                found.add(slug)
    return found


def check(source):
    pages = [os.path.join(source, "README.md")]
    docs = os.path.join(source, "docs")
    pages += sorted(os.path.join(docs, n) for n in os.listdir(docs) if n.endswith(".md"))
    broken = []
    for page in pages:
        with open(page, encoding="utf-8") as f:
            text = prose(f.read())
        for target in LINK.findall(text):
            if re.match(r"[a-z][a-z0-9+.-]*:", target, re.I):
                continue  # http:, https:, mailto:
            path, _, fragment = target.partition("#")
            resolved = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
            where = os.path.relpath(page, source)
            if not os.path.exists(resolved):
                broken.append("%s: %s: no such file" % (where, target))
            elif fragment and resolved.endswith(".md") and fragment not in anchors(resolved):
                broken.append("%s: %s: no such heading" % (where, target))
    return pages, broken


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    pages, broken = check(os.path.abspath(source))
    for b in broken:
        print("check_links: " + b, file=sys.stderr)
    if broken:
        return 1
    print("check_links: every relative link in %d pages points at a file that exists" % len(pages))
    return 0


if __name__ == "__main__":
    sys.exit(main())
