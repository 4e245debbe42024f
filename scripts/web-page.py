#!/usr/bin/env python3
"""Makes the one-file page of the browser build: the template with the program's title, the
README's keys and mouse table, freeglut's font notice, the page's script and the program (its
WebAssembly inside its JavaScript)."""

import argparse
import html
import re
import sys


def keys_table(readme):
    """The table under "## Keys and mouse" as HTML, its inline code kept."""
    lines = readme.split("\n")
    start = lines.index("## Keys and mouse")
    rows = []
    for line in lines[start + 1:]:
        if line.startswith("|"):
            rows.append([cell.strip() for cell in line.strip().strip("|").split("|")])
        elif rows:
            break
    def cell(text):
        parts = re.split(r"`([^`]*)`", text)
        return "".join(html.escape(p) if i % 2 == 0 else "<code>" + html.escape(p) + "</code>"
                       for i, p in enumerate(parts))
    out = ["    <table>",
           "      <tr>" + "".join("<th>%s</th>" % cell(c) for c in rows[0]) + "</tr>"]
    for row in rows[2:]:
        out.append("      <tr>" + "".join("<td>%s</td>" % cell(c) for c in row) + "</tr>")
    out.append("    </table>")
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser()
    for name in ("template", "page-script", "program", "readme", "title-source", "font-data",
                 "version", "output"):
        parser.add_argument("--" + name, required=True)
    a = parser.parse_args()
    read = lambda path: open(path, encoding="utf-8").read()

    title = re.search(r'kWindowTitle\[\] = u8"([^"]*)"', read(a.title_source)).group(1)
    font = read(a.font_data)
    notice = font[font.index("/*", 2):font.index("*/", font.index("Olszta")) + 2]
    copyright_line = re.search(r"Copyright \(c\) [^\n]*", notice).group(0)
    program = read(a.program)
    # Nothing in a script may close its element early.
    program = program.replace("</script", "<\\/script")

    page = read(a.template)
    for key, value in (("@TITLE@", html.escape(title)), ("@KEYS@", keys_table(read(a.readme))),
                       ("@VERSION@", html.escape(a.version)),
                       ("@FONT_COPYRIGHT@", html.escape(copyright_line)),
                       ("@FONT_NOTICE@", notice.replace("--", "- -")),
                       ("@PAGE_SCRIPT@", read(a.page_script).replace("</script", "<\\/script")),
                       ("@PROGRAM@", program)):
        if key not in page:
            sys.exit("web-page: %s missing from the template" % key)
        page = page.replace(key, value, 1) if key == "@PROGRAM@" else page.replace(key, value)
    with open(a.output + ".tmp", "w", encoding="utf-8") as f:
        f.write(page)
    import os
    os.replace(a.output + ".tmp", a.output)


if __name__ == "__main__":
    main()
