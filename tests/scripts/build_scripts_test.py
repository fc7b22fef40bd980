#!/usr/bin/env python3
"""The build's own scripts on small trees of their own: scripts/check-layers refuses an include that
runs up a layer and lets the rest through, a link that differs from the includes, two source files
of one name and more extern declarations in headers than allowed; scripts/gen-commands refuses a
table that would let the constants, the registration and the compiler's table drift apart, leaves
internal rows out of the compiler's table, and its command limit is the first operand number of the
variable layout; scripts/check-format refuses an unformatted file and formats it with --fix."""

import os
import re
import subprocess
import sys
import tempfile
import unittest

SCRIPTS = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "scripts")
LAYERS = "platform,common,display,engine3d,runtime"


def write(root, path, text):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w", encoding="utf-8") as f:
        f.write(text)


def run(script, *args):
    return subprocess.run([sys.executable, os.path.join(SCRIPTS, script), *args], capture_output=True, text=True)


class CheckLayersTest(unittest.TestCase):
    def check(self, files):
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                write(root, path, text)
            return run("check-layers", "--layers", LAYERS, "--root", root)

    def test_includes_of_the_same_and_lower_layers_pass(self):
        result = self.check({
            "common/a.h": '#include "platform/p.h"\n',
            "display/d.cpp": '#include "display/d.h"\n#include "common/a.h"\n#include "generated/x.h"\n',
            "engine3d/e.cpp": '#include "display/d.h"\n',
            "runtime/r.cpp": '#include "display/d.h"\n',
        })
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_an_include_up_a_layer_fails_with_its_place(self):
        result = self.check({"display/d.cpp": '#include "common/a.h"\n\n#include "runtime/r.h"\n',
                             "display/d.h": '#include "engine3d/e.h"\n'})
        self.assertEqual(result.returncode, 1)
        self.assertIn('display/d.cpp:3: includes "runtime/r.h"', result.stderr)
        self.assertIn('display/d.h:1: includes "engine3d/e.h": engine3d stands above display', result.stderr)

    def check_links(self, files, links, *more):
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                write(root, path, text)
            write(root, "links.txt", links)
            return run("check-layers", "--layers", LAYERS, "--root", root, "--links",
                       os.path.join(root, "links.txt"), *more)

    def test_links_must_be_the_folders_a_library_includes(self):
        files = {
            "common/a.h": '#include "platform/p.h"\n',
            "runtime/r.cpp": '#include "common/a.h"\n#include "runtime/r.h"\n',
        }
        result = self.check_links(files, "platform:\ncommon: platform\nruntime: common\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        result = self.check_links(files, "platform:\ncommon:\nruntime: common display\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn("common: includes headers of platform but does not link it", result.stderr)
        self.assertIn("runtime: links display but includes none of its headers", result.stderr)

    def test_two_source_files_of_one_name_fail(self):
        files = {"common/state.h": "", "runtime/state.h": "", "runtime/state.cpp": "", "tests/runtime/a_test.cpp": ""}
        result = self.check(files)
        self.assertEqual(result.returncode, 1)
        self.assertIn("state.h: common/state.h, runtime/state.h share the name", result.stderr)
        self.assertNotIn("state.cpp", result.stderr)
        files["tests/common/a_test.cpp"] = ""
        result = self.check_links(files, "", "--names-also", "tests")
        self.assertIn("a_test.cpp: tests/common/a_test.cpp, tests/runtime/a_test.cpp share the name", result.stderr)

    def test_extern_declarations_in_headers_are_capped(self):
        files = {"common/a.h": 'extern int gOne;\nextern "C" int c_call();\n', "runtime/r.h": "  extern int gTwo;\n",
                 "runtime/r.cpp": "extern int gThree;\n"}
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                write(root, path, text)
            self.assertEqual(run("check-layers", "--layers", LAYERS, "--root", root, "--max-externs", "2").returncode, 0)
            result = run("check-layers", "--layers", LAYERS, "--root", root, "--max-externs", "1")
        self.assertEqual(result.returncode, 1)
        self.assertIn("common/a.h:1\nruntime/r.h:1", result.stderr)
        self.assertIn("the headers declare 2 extern variables, 1 at most", result.stderr)


class CheckFormatTest(unittest.TestCase):
    def test_an_unformatted_file_fails_and_fix_formats_it(self):
        with tempfile.TemporaryDirectory() as root:
            write(root, ".clang-format", "BasedOnStyle: Google\n")
            write(root, "a.cpp", "int f() { return 1; }\n")
            write(root, "b.cpp", "int g() {\n  int x =   2;\n  return x;\n}\n")
            result = run("check-format", "--root", root, "a.cpp", "b.cpp")
            if result.returncode == 77:
                self.skipTest("clang-format 14 is not installed")
            self.assertEqual(result.returncode, 1)
            self.assertIn("b.cpp:2: not formatted", result.stderr)
            self.assertNotIn("a.cpp", result.stderr)
            self.assertEqual(run("check-format", "--root", root, "--fix", "b.cpp").returncode, 0)
            self.assertEqual(run("check-format", "--root", root, "a.cpp", "b.cpp").returncode, 0, result.stderr)


TABLE_HEAD = "; a table\n@family flow runtime/flow.cpp\n"


class GenCommandsTest(unittest.TestCase):
    def generate(self, rows, descriptions="1 One.\n2 Two.\n"):
        root = tempfile.mkdtemp()
        self.addCleanup(lambda: subprocess.run(["rm", "-rf", root]))
        write(root, "runtime/flow.cpp", "")
        write(root, "resources/commands/core.txt", TABLE_HEAD + rows)
        write(root, "resources/commands/descriptions.txt", descriptions)
        write(root, "resources/errors.txt", "1%Bad%2%soft\n")
        write(root, "resources/lang/english/WORDS.TXT", "[ERRORS]\n2=Bad thing\n")
        result = run("gen-commands", "--root", root, "--out", os.path.join(root, "out"))
        return result, root

    def read(self, root, name):
        with open(os.path.join(root, "out", name), encoding="utf-8") as f:
            return f.read()

    def test_rows_give_constants_registration_and_the_compiler_table(self):
        result, root = self.generate("go%1%l%CmdGo\n(inside)%2%0%Inside=CmdInside\nnothing%3%0%Nothing=-\n",
                                     "1 One.\n2 Two.\n3 Three.\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("kCmdGo = 1,  // go integer: One.", self.read(root, "generated/command_numbers.h"))
        self.assertIn("kErrBad = 1,  // Bad thing (soft", self.read(root, "generated/error_numbers.h"))
        registration = self.read(root, "generated/commands/flow.inc")
        self.assertIn("RegisterCommand(kCmdGo, CmdGo);", registration)
        self.assertIn("RegisterCommand(kCmdInside, CmdInside);", registration)
        self.assertNotIn("kCmdNothing", registration)
        self.assertEqual(self.read(root, "command_table.txt"), "go%1%l\nnothing%3%0\n")

    def test_tables_that_would_drift_are_refused(self):
        for rows, message in [
            ("a%1%l%CmdA\nb%1%l%CmdB\n", "command 1 has a row already"),
            ("a%1%l%CmdA\nb%2%l%CmdA\n", "the name kCmdA is taken"),
            ("a%1%l%Handler\n", "does not begin with Cmd or Fn"),
            ("a%1%l\n", "a row is name%number%letters%handler"),
            ("a%1%q%CmdA\n", "unknown parameter letters"),
        ]:
            result, _ = self.generate(rows)
            self.assertEqual(result.returncode, 1, rows)
            self.assertIn(message, result.stderr, rows)
        result, _ = self.generate("a%1%l%CmdA\n", "1 One.\n9 Nine.\n")
        self.assertIn("descriptions of commands the table does not have: 9", result.stderr)

    def test_the_command_limit_is_the_first_operand_number(self):
        sys.path.insert(0, SCRIPTS)
        import command_table
        with open(os.path.join(os.path.dirname(SCRIPTS), "common", "variable_layout.h"), encoding="utf-8") as f:
            first = re.search(r"constexpr int32_t kIntTemp = (\d+);", f.read())
        self.assertIsNotNone(first)
        self.assertEqual(command_table.COMMAND_LIMIT, int(first.group(1)))


if __name__ == "__main__":
    unittest.main()
