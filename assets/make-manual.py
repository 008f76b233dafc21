"""Builds the installed manual, one HTML page, from the README's sections for
users: its opening paragraphs and the sections named.

    python3 make-manual.py README OUTPUT VERSION HELP_ADDRESS SECTION...

Python-Markdown (Debian's python3-markdown) turns the text into HTML. The page
stands alone: no script, style sheet or picture is loaded from anywhere, so it
reads the same offline; the help pages on the web are a link on it.
"""
import html
import re
import sys

import markdown

# The README speaks to someone in the source tree; the manual to someone who
# installed the programs, which are then on the PATH.
TREE_TO_INSTALLED = [
    ("man assets/tembrio-convert.1", "man tembrio-convert"),
    ("build/tembrio", "tembrio"),
]

STYLE = """
body { font-family: sans-serif; line-height: 1.45; max-width: 46em; margin: 2em auto; padding: 0 1em;
       color: #1b1b1b; background: #fff; }
h1 { font-size: 1.7em; margin-bottom: 0.2em; }
h2 { font-size: 1.3em; margin-top: 2em; border-bottom: 1px solid #ccd; }
code, pre { font-family: monospace; background: #f3f4f7; }
pre { padding: 0.6em 0.8em; overflow-x: auto; }
table { border-collapse: collapse; }
td, th { border: 1px solid #ccd; padding: 0.25em 0.5em; vertical-align: top; }
nav ul { padding-left: 1.2em; }
.web { color: #555; }
"""


def split_sections(text):
    """The text before the first "## " heading, and {title: body} of the
    headings. A "#" at the start of a line inside a fenced code block is the
    code's, not a heading."""
    intro, sections, title, lines = None, {}, None, []
    fenced = False
    for line in text.splitlines():
        if line.startswith("```"):
            fenced = not fenced
        if not fenced and line.startswith("## "):
            if title is None:
                intro = lines
            else:
                sections[title] = lines
            title, lines = line[3:].strip(), []
            continue
        lines.append(line)
    if title is None:
        intro = lines
    else:
        sections[title] = lines
    # The opening paragraphs follow the document's own "# " title.
    intro = [line for line in intro if not line.startswith("# ")]
    return "\n".join(intro), {t: "\n".join(body) for t, body in sections.items()}


def anchor(title):
    return re.sub(r"[^a-z0-9]+", "-", title.lower()).strip("-")


def to_html(text):
    for tree, installed in TREE_TO_INSTALLED:
        text = text.replace(tree, installed)
    return markdown.markdown(text, extensions=["tables", "fenced_code"], output_format="html")


def main(argv):
    if len(argv) < 6:
        sys.exit("usage: make-manual.py README OUTPUT VERSION HELP_ADDRESS SECTION...")
    readme, output, version, help_address, wanted = argv[1], argv[2], argv[3], argv[4], argv[5:]
    with open(readme, encoding="utf-8") as f:
        intro, sections = split_sections(f.read())
    missing = [t for t in wanted if t not in sections]
    if missing:
        sys.exit("make-manual.py: %s has no section %s" % (readme, ", ".join('"%s"' % t for t in missing)))

    title = "Tembrio Audio Converter %s" % version
    address = html.escape(help_address, quote=True)
    parts = [
        "<!DOCTYPE html>",
        '<html lang="en">',
        "<head>",
        '<meta charset="utf-8">',
        '<meta name="viewport" content="width=device-width, initial-scale=1">',
        "<title>%s — Manual</title>" % html.escape(title),
        "<style>%s</style>" % STYLE,
        "</head>",
        "<body>",
        "<h1>%s</h1>" % html.escape(title),
        '<p class="web">The manual installed with the program. The help pages on the web: '
        '<a href="%s">%s</a></p>' % (address, address),
        to_html(intro),
        "<nav><ul>",
    ]
    parts += ['<li><a href="#%s">%s</a></li>' % (anchor(t), html.escape(t)) for t in wanted]
    parts.append("</ul></nav>")
    for t in wanted:
        parts.append('<h2 id="%s">%s</h2>' % (anchor(t), html.escape(t)))
        parts.append(to_html(sections[t]))
    parts += ["</body>", "</html>", ""]
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(parts))


if __name__ == "__main__":
    main(sys.argv)
