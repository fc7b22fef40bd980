"""The one source of truth for commands and errors, as the build and the scripts read it.

resources/commands/*.txt (core.txt first, then the others in name order; descriptions.txt is not
a table) hold one row a line:

    name%number%letters%handler

- name: the statement, value function (ending with "[") or operator as a program writes it; a
  name in parentheses, such as "(call function)", marks an internal row: a command the compiler
  or the runtime writes by itself, which no program can name. Internal rows are left out of the
  compiler's table and of the language reference.
- number: the command number (1 to 9999).
- letters: the parameter letters the compiler reads (for a value function the result first).
- handler: the C++ handler the dispatcher calls; its name less "Cmd" or "Fn" names the command's
  constant (CmdBox gives kCmdBox). "Name=Handler" names the constant kCmdName instead, for a
  handler that serves several rows or whose name says how rather than what; "Name=-" is a row
  that has no handler (a keyword that emits no code).

Lines beginning with ";" are comments. A line "@family name path" starts the rows of a command
family: the handlers defined in the source file `path`, which registers them by including the
generated "generated/commands/<name>.inc" after them. A family may come back later in the table
(with the same path); its rows are all registered by the one file.

resources/errors.txt holds one error a line: number%name%entry%flags, where name gives the
constant kErr<name> (empty: the number is known but nothing names it), entry is the error-text
table entry of the number (or a fixed text in double quotes), and flags is "soft" for the errors
that only warn.
"""

import os
import re

TABLE_DIR = os.path.join("resources", "commands")
ERRORS_FILE = os.path.join("resources", "errors.txt")
DESCRIPTIONS_FILE = os.path.join(TABLE_DIR, "descriptions.txt")
WORDS_FILE = os.path.join("resources", "lang", "english", "WORDS.TXT")
COMMAND_LIMIT = 10000  # operands::kIntTemp of common/variable_layout.h (a build-script test holds them equal)


class TableError(Exception):
    pass


class Row:
    """One command row."""

    def __init__(self, name, number, letters, stem, handler, family, where):
        self.internal = name.startswith("(") and name.endswith(")")
        self.function = not self.internal and name.endswith("[")
        self.name = name[:-1] if self.function else name
        self.number = number
        self.letters = letters
        self.stem = stem
        self.handler = handler  # None when the row has no handler
        self.family = family
        self.where = where
        self.index = 0

    @property
    def constant(self):
        return "kCmd" + self.stem

    def operand_count(self):
        """Operand words a program gives the command: one per letter ("0" none, "e" unknown)."""
        if self.letters in ("0", ""):
            return 0
        if "e" in self.letters:
            return None
        return len(self.letters)


class Family:
    def __init__(self, name, source, where):
        self.name = name
        self.source = source
        self.where = where

    @property
    def function(self):
        return "Register" + "".join(part.capitalize() for part in self.name.split("_")) + "Commands"

    @property
    def include(self):
        return f"generated/commands/{self.name}.inc"


def table_paths(root):
    """The table files in the order the compiler's table joins them: core.txt first."""
    folder = os.path.join(root, TABLE_DIR)
    names = sorted(n for n in os.listdir(folder) if n.endswith(".txt") and n != os.path.basename(DESCRIPTIONS_FILE))
    if "core.txt" not in names:
        raise TableError(f"{TABLE_DIR}/core.txt is missing")
    names.remove("core.txt")
    return [os.path.join(folder, n) for n in ["core.txt"] + names]


def split_lines(text):
    return re.split(r"\r\n|\r|\n", text)


def derive_stem(handler):
    for prefix in ("Cmd", "Fn"):
        if handler.startswith(prefix) and len(handler) > len(prefix) and handler[len(prefix)].isupper():
            return handler[len(prefix):]
    return None


def parse_handler(field, where):
    field = field.strip()
    if "=" in field:
        stem, handler = (part.strip() for part in field.split("=", 1))
    else:
        stem, handler = derive_stem(field), field
        if stem is None:
            raise TableError(f"{where}: the handler {field!r} does not begin with Cmd or Fn; write Name={field}")
    if not re.fullmatch(r"[A-Z][A-Za-z0-9]*", stem or ""):
        raise TableError(f"{where}: {stem!r} is no constant name (letters and digits, a capital first)")
    if handler == "-":
        return stem, None
    if not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", handler):
        raise TableError(f"{where}: {handler!r} is no handler name")
    return stem, handler


def parse_table_text(text, path, root, rows, families, family):
    for line_number, line in enumerate(split_lines(text), start=1):
        where = f"{os.path.relpath(path, root)}:{line_number}"
        line = line.lstrip("".join(chr(c) for c in range(33)))
        if not line or line.startswith(";"):
            continue
        if line.startswith("@family") and "%" not in line:
            fields = line.split()
            if len(fields) != 3 or not re.fullmatch(r"[a-z][a-z0-9_]*", fields[1]):
                raise TableError(f"{where}: a family line is @family name source-file")
            known = families.get(fields[1])
            if known and known.source != fields[2]:
                raise TableError(f"{where}: family {fields[1]} is the file {known.source} ({known.where})")
            if not known and not os.path.isfile(os.path.join(root, fields[2])):
                raise TableError(f"{where}: {fields[2]} does not exist")
            family = known or Family(fields[1], fields[2], where)
            families[family.name] = family
            continue
        fields = line.split("%")
        if len(fields) != 4:
            raise TableError(f"{where}: a row is name%number%letters%handler")
        name, digits, letters, handler_field = fields
        name = name.strip().lower()
        digits = digits.replace(" ", "").replace("\t", "")
        if not re.fullmatch(r"[0-9]+", digits) or not 0 < int(digits) < COMMAND_LIMIT:
            raise TableError(f"{where}: no command number from 1 to {COMMAND_LIMIT - 1} in {line!r}")
        letters = "".join(c for c in letters if ord(c) >= 33).lower()
        if family is None:
            raise TableError(f"{where}: a row before the first @family line")
        stem, handler = parse_handler(handler_field, where)
        rows.append(Row(name, int(digits), letters, stem, handler, family.name, where))
    return family


def check_rows(rows):
    numbers, stems = {}, {}
    for index, row in enumerate(rows):
        row.index = index
        if not row.letters or any(c not in "lfsza0e" for c in row.letters):
            raise TableError(f"{row.where}: unknown parameter letters {row.letters!r}")
        if row.function and (row.letters[0] not in "lfsz" or any(c not in "lfsz" for c in row.letters[1:])):
            raise TableError(f"{row.where}: a value function's letters are its result and value parameters")
        if row.number in numbers:
            raise TableError(f"{row.where}: command {row.number} has a row already at {numbers[row.number].where}")
        numbers[row.number] = row
        if row.stem in stems:
            raise TableError(f"{row.where}: the name {row.constant} is taken by {stems[row.stem].where}")
        stems[row.stem] = row


def read_table(root):
    """All rows in table order, and the families by name."""
    rows, families = [], {}
    for path in table_paths(root):
        with open(path, encoding="utf-8", newline="") as f:
            # A family does not run on into the next file.
            parse_table_text(f.read(), path, root, rows, families, None)
    check_rows(rows)
    return rows, families


def compiler_table_text(rows):
    """The compiler's table resource: name%number%letters of every row a program can name."""
    lines = [f"{r.name}{'[' if r.function else ''}%{r.number}%{r.letters}" for r in rows if not r.internal]
    return "\n".join(lines) + "\n"


def read_descriptions(path):
    descriptions = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, start=1):
            line = line.strip()
            if not line or line.startswith(";"):
                continue
            match = re.fullmatch(r"(\d+)\s+(.+)", line)
            if not match:
                raise TableError(f"{path}:{number}: a line is a command number and its description")
            key = int(match.group(1))
            if key in descriptions:
                raise TableError(f"{path}:{number}: command {key} is described twice")
            descriptions[key] = match.group(2)
    return descriptions


class Error:
    def __init__(self, number, name, entry, text, soft, where):
        self.number = number
        self.name = name
        self.entry = entry  # error-text table entry, or None
        self.text = text  # fixed text, or None
        self.soft = soft
        self.where = where

    @property
    def constant(self):
        return "kErr" + self.name


def read_errors(root):
    path = os.path.join(root, ERRORS_FILE)
    errors, names = [], {}
    with open(path, encoding="utf-8") as f:
        for line_number, line in enumerate(f, start=1):
            where = f"{ERRORS_FILE}:{line_number}"
            line = line.strip()
            if not line or line.startswith(";"):
                continue
            fields = [part.strip() for part in line.split("%")]
            if len(fields) != 4 or not re.fullmatch(r"[0-9]+", fields[0]):
                raise TableError(f"{where}: a line is number%name%entry%flags")
            number, name, entry_field, flags = int(fields[0]), fields[1], fields[2], fields[3]
            if name and not re.fullmatch(r"[A-Z][A-Za-z0-9]*", name):
                raise TableError(f"{where}: {name!r} is no constant name")
            if name in names:
                raise TableError(f"{where}: the name kErr{name} is taken by {names[name].where}")
            entry = text = None
            if re.fullmatch(r'"[^"]*"', entry_field):
                text = entry_field[1:-1]
            elif re.fullmatch(r"[0-9]+", entry_field) and int(entry_field) < 256:
                entry = int(entry_field)
            elif entry_field:
                raise TableError(f"{where}: the entry is a number below 256 or a text in double quotes")
            if flags not in ("", "soft"):
                raise TableError(f"{where}: the only flag is soft")
            if errors and number <= errors[-1].number:
                raise TableError(f"{where}: errors stand in ascending order")
            error = Error(number, name, entry, text, flags == "soft", where)
            errors.append(error)
            if name:
                names[name] = error
    return errors


def read_error_words(root):
    """The English texts of the error-text table by entry, for the constants' comments."""
    words, section = {}, None
    with open(os.path.join(root, WORDS_FILE), encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                section = line
            elif section == "[ERRORS]" and "=" in line and not line.startswith(";"):
                key, text = line.split("=", 1)
                if key.strip().isdigit():
                    words[int(key)] = text.strip()
    return words
