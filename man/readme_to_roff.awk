# Fills a manual page template with parts of the README, so that the options, the result
# codes and the parameter file are written down once. Plain POSIX awk (mawk on a bare Debian).
#
#   awk -v readme=README.md -v version=1.0.0 -v out=page.1 -f readme_to_roff.awk page.1.in
#
# Template lines copied as they are, except @VERSION@, and these lines of their own:
#   @intro@            the README's text between its title and its first section
#   @synopsis TITLE@   the first code block of the section "## TITLE"
#   @section TITLE@    the section "## TITLE", less a code block already shown as a synopsis
# Handled markdown: paragraphs, "- " lists, two-column tables (rows become tagged
# paragraphs, the header row is dropped), fenced code blocks, `code`, **bold**. Anything the
# page could not show in plain ASCII stops the build rather than reaching the reader garbled.

BEGIN {
  if (readme == "" || out == "") fail("readme and out must be given")
  while ((getline line < readme) > 0) md[++lines] = line
  if (lines == 0) fail("cannot read " readme)
  close(readme)
  codeWidth = 64  # longer code lines are folded after a comma to fit an 80-column terminal
}

/^@intro@$/ { intro(); next }
/^@synopsis .*@$/ { title = argument($0); synopsis(title); shownAsSynopsis[title] = 1; next }
/^@section .*@$/ { title = argument($0); section(title, shownAsSynopsis[title]); next }
{ print replaceAll($0, "@VERSION@", version) > out }

function fail(message) {
  print "readme_to_roff.awk: " message > "/dev/stderr"
  exit 1
}

function argument(directive) {
  return substr(directive, index(directive, " ") + 1, length(directive) - index(directive, " ") - 1)
}

function replaceAll(text, from, to,    result, at) {
  result = ""
  while ((at = index(text, from)) > 0) {
    result = result substr(text, 1, at - 1) to
    text = substr(text, at + length(from))
  }
  return result text
}

function trim(text) {
  sub(/^[ \t]+/, "", text)
  sub(/[ \t]+$/, "", text)
  return text
}

# Glyphs the README uses, as roff names that every output device can render.
function glyphs(text) {
  text = replaceAll(text, "…", "...")
  text = replaceAll(text, "−", "\\-")
  text = replaceAll(text, "×", "\\(mu")
  text = replaceAll(text, "°", "\\(de")
  text = replaceAll(text, "·", "\\[pc]")
  text = replaceAll(text, "–", "\\(en")
  text = replaceAll(text, "≤", "\\(<=")
  text = replaceAll(text, "≥", "\\(>=")
  text = replaceAll(text, "σ", "\\(*s")
  if (text ~ /[\200-\377]/) fail("no roff glyph for a character in: " text)
  return text
}

# Literal text: backslashes and hyphens as roff prints them.
function literal(text) {
  return glyphs(replaceAll(replaceAll(text, "\\", "\\e"), "-", "\\-"))
}

# One line of running text: `code` in bold with minus signs, **bold**, the glyphs.
function inline(text,    result, start, end) {
  text = replaceAll(trim(text), "\\", "\\e")
  result = ""
  while (match(text, /`[^`]*`/)) {
    result = result substr(text, 1, RSTART - 1) "\\fB" replaceAll(substr(text, RSTART + 1, RLENGTH - 2), "-", "\\-") "\\fR"
    text = substr(text, RSTART + RLENGTH)
  }
  text = result text
  while ((start = index(text, "**")) > 0 && (end = index(substr(text, start + 2), "**")) > 0) {
    text = substr(text, 1, start - 1) "\\fB" substr(text, start + 2, end - 1) "\\fR" substr(text, start + end + 3)
  }
  return lineStart(glyphs(text))
}

# A text line must not start with a control character.
function lineStart(text) {
  return text ~ /^[.']/ ? "\\&" text : text
}

function emit(text) { print text > out }

# The README lines of "## title" (or of the intro), without the heading.
function findSection(title,    i, fenced) {
  first = 0
  last = lines
  for (i = 1; i <= lines; i++) {
    if (md[i] ~ /^```/) fenced = !fenced
    if (fenced) continue
    if (first == 0 && (title == "" ? md[i] ~ /^# / : md[i] == "## " title)) first = i + 1
    else if (first > 0 && md[i] ~ /^##? /) { last = i - 1; break }
  }
  if (first == 0) fail("the README has no section \"" title "\"")
}

function intro() {
  findSection("")
  convert(first, last, 0)
}

function synopsis(title,    i) {
  findSection(title)
  for (i = first; i <= last && md[i] !~ /^```/; i++) {}
  if (i > last) fail("section \"" title "\" has no code block for the synopsis")
  for (i++; i <= last && md[i] !~ /^```/; i++) synopsisLine(md[i])
}

# The command, its options in bold and <placeholders> in italics, wrapped with a hanging
# indent between the bracketed items, never inside one.
function synopsisLine(text,    result, token, depth, c, i) {
  match(text, /^[^ ]+/)
  emit(".SY " literal(substr(text, 1, RLENGTH)))
  text = substr(text, RLENGTH + 2)
  for (i = 1; i <= length(text); i++) {
    c = substr(text, i, 1)
    depth += (c == "[" || c == "<") - (c == "]" || c == ">")
    result = result (c == " " && depth > 0 ? "\001" : c)
  }
  text = result
  result = ""
  while (match(text, /<[^>]*>|-[-a-zA-Z]+/)) {
    token = substr(text, RSTART, RLENGTH)
    result = result literal(substr(text, 1, RSTART - 1)) (token ~ /^</ ? "\\fI" : "\\fB") literal(token) "\\fR"
    text = substr(text, RSTART + RLENGTH)
  }
  emit(lineStart(replaceAll(result literal(text), "\001", "\\ ")))
  emit(".YS")
}

function section(title, skipFirstCode) {
  findSection(title)
  convert(first, last, skipFirstCode)
}

# README lines [from, to] as roff; the section heading has started a paragraph already.
function convert(from, to, skipFirstCode,    i, line, fenced, skipping, newParagraph, tableRow) {
  for (i = from; i <= to; i++) {
    line = md[i]
    if (fenced) {
      if (line ~ /^```/) {
        fenced = 0
        if (!skipping) { emit(".fi"); emit(".RE") }
        newParagraph = 1
      } else if (!skipping) {
        codeLine(line)
      }
    } else if (line ~ /^```/) {
      fenced = 1
      skipping = skipFirstCode
      skipFirstCode = 0
      if (!skipping) { emit(".PP"); emit(".RS 4"); emit(".nf") }
    } else if (line ~ /^[ \t]*$/) {
      newParagraph = 1
      tableRow = 0
    } else if (line ~ /^!\[/) {
      # A picture cannot show in a terminal.
    } else if (line ~ /^\|/) {
      if (++tableRow > 2) tableLine(line)  # the header row and its rule are dropped
    } else if (line ~ /^- /) {
      emit(".IP \\(bu 2")
      emit(inline(substr(line, 3)))
      newParagraph = 0
    } else {
      if (newParagraph) emit(".PP")
      newParagraph = 0
      emit(inline(line))
    }
  }
}

# Long lines are folded after a comma; the README's code blocks are JSON and commands.
function codeLine(text,    cut, i) {
  while (length(text) > codeWidth) {
    cut = 0
    for (i = codeWidth; i > 1 && !cut; i--) if (substr(text, i, 1) == ",") cut = i
    if (!cut) break
    emit(lineStart(literal(substr(text, 1, cut))))
    text = substr(text, cut + 1)
  }
  emit(lineStart(literal(text)))
}

# "| tag | text |" as a tagged paragraph; \| in a cell is a literal bar.
function tableLine(text,    cells, count) {
  text = replaceAll(text, "\\|", "\001")
  count = split(text, cells, "|")
  if (count != 4) fail("a table row must have two columns: " text)
  emit(".TP")
  emit(inline(replaceAll(cells[2], "\001", "|")))
  emit(inline(replaceAll(cells[3], "\001", "|")))
}
