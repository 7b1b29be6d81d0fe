"""Holds the library's sources to its list of texts, both ways.

    check_texts.py SOURCE_ROOT            checks; prints each difference and exits 1
    check_texts.py SOURCE_ROOT --update   rewrites the list from the sources, keeping its kinds

Every string literal of the library's own sources (Common/ and InventoryAgents/, .cpp and .h)
stands in Common/ContractualTexts.txt under the file that holds it, and every text there is still
in that file. Adjacent literals, with the string macros among them, are one text, as the compiler
joins them. A text that a logging call takes as its format (LOG_AT, LogMessage, WriteLogRecord)
is listed as `log`, a condition of an assertion record as `assert`; the kind of every other text
is a person's call (see the list's head). Left out: #include names, extern "C" and the messages
of static_assert, which the compiler alone reads.

--update writes the list in the sources' order, keeps the kind of every text still written, gives
a new text its kind where the call shows it and `?` otherwise (which the check refuses until a
person chooses), and drops the texts no longer written: read its diff before committing it.
"""
import os
import re
import sys

LIST = os.path.join("Common", "ContractualTexts.txt")
ROOTS = ("Common", "InventoryAgents")
# The argument that is a record's message format, or an assertion's condition, by position.
FORMAT_ARGUMENT = {"LOG_AT": 2, "LogMessage": 4, "WriteLogRecord": 0}
CONDITION_ARGUMENT = {"LOG_ASSERT_FAILED": 1, "LogAssertFailure": 3}
MECHANICAL_KINDS = ("log", "assert")
KINDS = MECHANICAL_KINDS + ("record", "piece", "result", "name")
UNDECIDED = "?"

TOKEN = re.compile(r"""
    (?P<space>\s+|\\\n)
  | (?P<comment>//[^\n]*|/\*.*?\*/)
  | (?P<string>"(?:\\.|[^"\\\n])*")
  | (?P<char>'(?:\\.|[^'\\\n])*')
  | (?P<name>[A-Za-z_]\w*)
  | (?P<number>\.?\d(?:[\w.]|[eEpP][-+])*)
  | (?P<punct>.)
""", re.S | re.M | re.X)

SIMPLE_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "a": "\a", "b": "\b", "f": "\f", "v": "\v",
                  "\\": "\\", '"': '"', "'": "'", "?": "?"}


def decode_literal(literal):
    """The characters a C string literal stands for (its quotes included in literal)."""
    body, out, i = literal[1:-1], [], 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        e = body[i + 1]
        if e in SIMPLE_ESCAPES:
            out.append(SIMPLE_ESCAPES[e])
            i += 2
        elif e == "x":
            digits = re.match(r"[0-9A-Fa-f]+", body[i + 2:]).group(0)
            out.append(chr(int(digits, 16)))
            i += 2 + len(digits)
        else:
            digits = re.match(r"[0-7]{1,3}", body[i + 1:]).group(0)
            out.append(chr(int(digits, 8)))
            i += 1 + len(digits)
    return "".join(out)


def quote(text):
    """The list's spelling of a text: one line, every blank and control character visible."""
    out = []
    for c in text:
        if c in '\\"':
            out.append("\\" + c)
        elif c in "\n\t\r":
            out.append({"\n": "\\n", "\t": "\\t", "\r": "\\r"}[c])
        elif " " <= c <= "~":
            out.append(c)
        else:
            out.append("\\x%02X" % ord(c))
    return '"' + "".join(out) + '"'


def unquote(quoted):
    """The text a quoted entry of the list stands for: the inverse of quote."""
    escapes = {"\\": "\\", '"': '"', "t": "\t", "n": "\n", "r": "\r"}
    match = re.fullmatch(r'"((?:[ !#-\[\]-~]|\\[\\"tnr]|\\x[0-9A-F]{2})*)"', quoted)
    if match is None:
        raise ValueError("not a text in the list's quoting: " + quoted)
    return re.sub(r"\\(x[0-9A-F]{2}|.)",
                  lambda m: chr(int(m.group(1)[1:], 16)) if len(m.group(1)) == 3
                  else escapes[m.group(1)], match.group(1))


def tokenize(source):
    """(kind, value, line) of each token; a directive other than #define is left out whole, and
    #define becomes one token of kind 'define'."""
    tokens, line, skipping = [], 1, None
    for m in TOKEN.finditer(source):
        kind, value = m.lastgroup, m.group(0)
        at = line
        line += value.count("\n")
        if kind in ("space", "comment", "char") or at == skipping:
            continue
        if kind == "name" and tokens and tokens[-1][:2] == ("punct", "#") \
                and tokens[-1][2] == at and (len(tokens) == 1 or tokens[-2][2] != at):
            tokens.pop()
            if value != "define":
                skipping = at
                continue
            kind = "define"
        tokens.append((kind, value, at))
    return tokens


def string_macros(tokens):
    """#define NAME followed by string literals only: the text the name stands for."""
    macros = {}
    for i, (kind, _, line) in enumerate(tokens):
        if kind != "define" or i + 2 >= len(tokens) or tokens[i + 1][0] != "name":
            continue
        parts = []
        j = i + 2
        while j < len(tokens) and tokens[j][0] == "string" and tokens[j][2] == line:
            parts.append(decode_literal(tokens[j][1]))
            j += 1
        if parts and (j == len(tokens) or tokens[j][2] != line):
            macros[tokens[i + 1][1]] = "".join(parts)
    return macros


def skipped_spans(tokens):
    """Token indices whose literals the compiler alone reads: extern "C", static_assert."""
    skipped = set()
    for i, (kind, value, _) in enumerate(tokens):
        if kind == "name" and value == "extern" and i + 1 < len(tokens):
            skipped.add(i + 1)
        elif kind == "name" and value in ("static_assert", "_Static_assert"):
            end = closing_parenthesis(tokens, i + 1)
            skipped.update(range(i + 1, end + 1))
    return skipped


def closing_parenthesis(tokens, opening):
    depth = 0
    for j in range(opening, len(tokens)):
        if tokens[j][1] in "([{" and tokens[j][0] == "punct":
            depth += 1
        elif tokens[j][1] in ")]}" and tokens[j][0] == "punct":
            depth -= 1
            if depth == 0:
                return j
    return len(tokens) - 1


def arguments(tokens, opening):
    """The token index ranges of the arguments of the call whose '(' is at opening."""
    ranges, start, depth = [], opening + 1, 0
    for j in range(opening, len(tokens)):
        kind, value, _ = tokens[j]
        if kind != "punct":
            continue
        if value in "([{":
            depth += 1
        elif value in ")]}":
            depth -= 1
            if depth == 0:
                ranges.append((start, j))
                return ranges
        elif value == "," and depth == 1:
            ranges.append((start, j))
            start = j + 1
    return ranges


def file_texts(source, macros):
    """{text: role} of one source file; role is 'log', 'assert' or None (anything else)."""
    tokens = tokenize(source)
    local = dict(macros)
    local.update(string_macros(tokens))
    skipped = skipped_spans(tokens)

    def is_text_token(j):
        kind, value, _ = tokens[j]
        if j in skipped or (j > 0 and tokens[j - 1][0] == "define"):
            return False
        return kind == "string" or (kind == "name" and value in local)

    def text_of(start, end):
        return "".join(decode_literal(tokens[j][1]) if tokens[j][0] == "string"
                       else local[tokens[j][1]] for j in range(start, end))

    texts = {}
    j = 0
    while j < len(tokens):
        if not is_text_token(j):
            j += 1
            continue
        start = j
        while j < len(tokens) and is_text_token(j):
            j += 1
        # A macro standing alone is a use of a text listed where it is defined.
        if any(tokens[k][0] == "string" for k in range(start, j)):
            texts.setdefault(text_of(start, j), None)
    for i, (kind, value, _) in enumerate(tokens):
        role = "log" if value in FORMAT_ARGUMENT else "assert" if value in CONDITION_ARGUMENT \
            else None
        if kind != "name" or role is None or i + 1 >= len(tokens) or tokens[i + 1][1] != "(":
            continue
        position = FORMAT_ARGUMENT.get(value, CONDITION_ARGUMENT.get(value))
        spans = arguments(tokens, i + 1)
        if position < len(spans):
            start, end = spans[position]
            if end > start and all(is_text_token(k) for k in range(start, end)):
                texts[text_of(start, end)] = role
    return texts


def library_sources(root):
    for top in ROOTS:
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if name.endswith((".cpp", ".h")):
                    path = os.path.join(folder, name)
                    yield os.path.relpath(path, root).replace(os.sep, "/")


def scan(root):
    """{file: {text: role}} in the sources' order of first appearance."""
    sources = {}
    for path in library_sources(root):
        with open(os.path.join(root, path), encoding="utf-8") as f:
            sources[path] = f.read()
    # A string macro of a header serves every file, unless two headers define it differently.
    shared, clashing = {}, set()
    for source in sources.values():
        for name, text in string_macros(tokenize(source)).items():
            if shared.get(name, text) != text:
                clashing.add(name)
            shared[name] = text
    for name in clashing:
        del shared[name]
    found = {path: file_texts(source, shared) for path, source in sorted(sources.items())}
    return {path: texts for path, texts in found.items() if texts}


def read_list(path):
    """(head lines, {file: {text: kind}}, problems)."""
    head, listed, problems, section = [], {}, [], None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            where = "%s:%d" % (LIST, number)
            if section is None and (line.startswith("#") or not line.strip()):
                head.append(line)
                continue
            if not line.strip() or line.startswith("#"):
                continue
            header = re.fullmatch(r"\[(\S+)\]", line)
            if header:
                section = header.group(1)
                if section in listed:
                    problems.append("%s: %s is listed twice" % (where, section))
                listed.setdefault(section, {})
                continue
            entry = re.fullmatch(r"(\S+) +(\".*\")", line)
            if section is None or not entry:
                problems.append("%s: not a [file] line nor a kind and a quoted text" % where)
                continue
            kind, quoted = entry.groups()
            try:
                text = unquote(quoted)
            except ValueError:
                problems.append("%s: %s is not a text in the list's quoting (\\\\ \\\" \\t \\n "
                                "\\r \\xNN)" % (where, quoted))
                continue
            if text in listed[section]:
                problems.append("%s: %s is listed twice under %s" % (where, quoted, section))
            listed[section][text] = kind
    return head, listed, problems


def check(found, listed):
    problems = []
    for path in sorted(set(found) | set(listed)):
        texts, entries = found.get(path, {}), listed.get(path, {})
        if path not in found:
            problems.append("[%s] lists texts of a file that has none, or no longer exists"
                            % path)
        for text, role in texts.items():
            kind = entries.get(text)
            if kind is None:
                problems.append("[%s] not on the list: %s %s"
                                % (path, role or UNDECIDED, quote(text)))
            elif role is not None and kind != role:
                problems.append("[%s] listed as %s, written as %s: %s"
                                % (path, kind, role, quote(text)))
            elif role is None and kind in MECHANICAL_KINDS:
                problems.append("[%s] listed as %s, no longer written as one: %s"
                                % (path, kind, quote(text)))
            elif kind not in KINDS:
                problems.append("[%s] kind %s is none of %s: %s"
                                % (path, kind, ", ".join(KINDS), quote(text)))
        for text in entries:
            if path in found and text not in texts:
                problems.append("[%s] no longer written: %s" % (path, quote(text)))
    return problems


def write_list(path, head, found, listed):
    with open(path, "w", encoding="utf-8") as f:
        for line in head:
            f.write(line + "\n")
        for number, source in enumerate(sorted(found)):
            f.write("\n" if number > 0 else "")
            f.write("[%s]\n" % source)
            for text, role in found[source].items():
                kind = role or listed.get(source, {}).get(text, UNDECIDED)
                if role is None and kind in MECHANICAL_KINDS:
                    kind = UNDECIDED
                f.write("%s %s\n" % (kind, quote(text)))


def differences(root):
    """Every difference between the sources below root and their list, as lines to print."""
    found = scan(root)
    _, listed, problems = read_list(os.path.join(root, LIST))
    return problems + check(found, listed)


def update(root):
    list_path = os.path.join(root, LIST)
    head, listed, _ = read_list(list_path)
    write_list(list_path, head, scan(root), listed)


def main(argv):
    if len(argv) not in (2, 3) or argv[2:] not in ([], ["--update"]):
        sys.stderr.write(__doc__)
        return 2
    if argv[2:] == ["--update"]:
        update(argv[1])
        return 0
    problems = differences(argv[1])
    for problem in problems:
        print(problem)
    if problems:
        print("%d difference(s) between the sources and %s: see its head" % (len(problems), LIST))
        return 1
    print("the sources write every text of %s, and no other" % LIST)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
