// The author's commands run as processes from another folder than the program's: where compile
// and run failures are reported (the file and line that hold them, an included file's own), that
// sources which could block or never end are refused with a message, and that a build from a
// bare file name ships the media beside the program and writes nothing but the game.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/app/tool_processes.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::Outcome;
using AuthorToolTest = test::ToolProcessTest;

TEST_F(AuthorToolTest, RuntimeErrorsNameTheLineInTheFileThatHoldsIt) {
  dir.Write("project/lib/util.vxa", "rem helpers\nfunction fill(n)\n  dim b(1)\n  b(n) = 1\nendfunction\n");
  const struct {
    const char* source;
    const char* where;
  } kCases[] = {
      {"dim a(2)\na(1) = 1\na(5) = 1\nend\n", "project/game.vxa:3: Runtime Error : "},
      {"#include \"lib/util.vxa\"\nfill(0)\nfill(7)\nend\n", "project/lib/util.vxa:4: Runtime Error : "},
  };
  for (const auto& c : kCases) {
    dir.Write("project/game.vxa", c.source);
    const Outcome run = Vorlix("run project/game.vxa");
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_EQ(run.errors.find(c.where), 0u) << run.errors;
    // The box names the place too, and no message ends in a blank.
    EXPECT_NE(run.errors.find(std::string("Error In Program: ") + c.where), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find(" \n"), std::string::npos) << run.errors;
  }
}

// Each message names what it is about after the message the table gives: the unknown word, the
// missing thing, the negative size, the damaged byte.
TEST_F(AuthorToolTest, MessagesNameWhatIsWrong) {
  const struct {
    const char* source;
    const char* message;
  } kCases[] = {
      {"prnt \"hello\"\n", "game.vxa:1: Unknown command: prnt\n"},
      {"x = 1\nsprit 1\n", "game.vxa:2: Unknown command: sprit\n"},
      {"x = rgbb(1, 2, 3)\n", "game.vxa:1: No array or function of that name (an array is made with dim): rgbb\n"},
      {"make objct cube 1, 2\n", "game.vxa:1: Unknown command: make objct cube\n"},
      {"x = scoreboard(1, 2)\nend\nfunction scoreboard(a)\nendfunction a\n",
       "game.vxa:1: The values given do not match the function's parameters: scoreboard takes 1 value (integer), "
       "given 2 values (integer, integer)\n"},
      {"x = f(2)\nend\nfunction f(a#)\nendfunction a#\n",
       "game.vxa:1: The values given do not match the function's parameters: f takes 1 value (float), given 1 value "
       "(integer)\n"},
      {"for i = 1 to 3\n  endif\nnext i\n", "game.vxa:2: Block keyword out of place: endif (a for block is open)\n"},
      {"x = foo()\n", "game.vxa:1: No array or function of that name (an array is made with dim): foo\n"},
      {"if leftky() then print 1\n",
       "game.vxa:1: No array or function of that name (an array is made with dim): leftky\n"},
      {"x = 5\nif x == 5\n  print x\nendif\n",
       "game.vxa:2: Unknown comparison (this language compares with = and <>): ==\n"},
      {"x = 5\nif x != 4 then print x\n",
       "game.vxa:2: Unknown comparison (this language compares with = and <>): !=\n"},
      {"for f# = 1 to 3\n  print f#\nnext f#\n",
       "game.vxa:1: Wrong for statement (for variable = start to end step amount): f# is a float variable; the for "
       "variable must be an integer variable\n"},
      {"a = 2\nselect a\n  case 1\n    print 1\n  case 2\n    print 2\n  endcase\nendselect\n",
       "game.vxa:5: A case has no endcase: case 1 at line 3\n"},
      {"a = 2\nselect a\n  case 2\n    print 2\nendselect\n", "game.vxa:5: A case has no endcase: case 2 at line 3\n"},
      {"a = 2\nselect a\n  case 2\n    print 2\n", "game.vxa:3: A case has no endcase: case 2\n"},
      {"a$ = \"abc\n",
       "game.vxa:1: A value is missing or is not a number, string, variable or function call: \"abc (no closing \")\n"},
      {"dim a(0 - 5)\n", "game.vxa:1: Runtime Error : Out of memory. dim size -5 is below 0\n"},
      {"load object \"cut.3ds\", 1\n",
       "game.vxa:1: Runtime Error : Could not read the model file. Failed to load model cut.3ds: the chunk at byte 0 "
       "is 1000 bytes long, but 20 are left\n"},
  };
  // A .3ds file cut short: its main chunk (id 0x4D4D) says 1000 bytes.
  dir.Write("cut.3ds", std::string("\x4D\x4D\xE8\x03\0\0", 6) + std::string(14, '\0'));
  for (const auto& c : kCases) {
    dir.Write("game.vxa", c.source);
    const Outcome run = Vorlix("run game.vxa");
    EXPECT_EQ(run.errors.find(c.message), 0u) << run.errors;
  }
  const Outcome unknown = Vorlix("frobnicate");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.errors.find("vorlix: unknown command 'frobnicate'\n"), 0u) << unknown.errors;
  EXPECT_NE(unknown.errors.find("usage:"), std::string::npos) << unknown.errors;
}

// A file that is not there is named as the program gave it, with the folder where the run looked;
// a built game names it without the folder, which is the author's machine's.
TEST_F(AuthorToolTest, AMissingFileIsNamedWithTheFolderItWasLookedFor) {
  const std::string folder = std::filesystem::canonical(dir.path()).string();
  const struct {
    const char* source;
    std::string message;
  } kCases[] = {
      {"load image \"media/ship.png\", 1\n",
       "Runtime Error : File not found. \"media/ship.png\" (looked for in " + folder + "/project/media)\n"},
      {"load bitmap \"title.bmp\", 1\n",
       "Runtime Error : File not found. \"title.bmp\" (looked for in " + folder + "/project)\n"},
      {"load object \"models\\ship.x\", 1\n",
       "Runtime Error : File not found. \"models\\ship.x\" (looked for in " + folder + "/project/models)\n"},
      {"load object \"rock.3ds\", 1\n",
       "Runtime Error : File not found. \"rock.3ds\" (looked for in " + folder + "/project)\n"},
      {"load animation \"intro.avi\", 1\n",
       "Runtime Warning : Could not load the animation. \"intro.avi\" (looked for in " + folder + "/project)\n"},
  };
  for (const auto& c : kCases) {
    dir.Write("project/game.vxa", c.source);
    const Outcome run = Vorlix("run project/game.vxa");
    EXPECT_EQ(run.errors.find(std::string("project/game.vxa:1: ") + c.message), 0u) << run.errors;
  }
  dir.Write("project/game.vxa", "load image \"media/ship.png\", 1\n");
  ASSERT_EQ(Vorlix("build project/game.vxa -o game").status, 0);
  const Outcome game = Shell("", "./game");
  EXPECT_NE(game.errors.find("Error In Program: Runtime Error : File not found. \"media/ship.png\"\n"),
            std::string::npos)
      << game.errors;
}

// The file a missing-file error names is the one its own command asked for: a game that went on
// past a film it could not load names no film at a later error of another command.
TEST_F(AuthorToolTest, AMissingFileIsNamedOnlyByTheErrorOfTheCommandThatAskedForIt) {
  dir.Write("project/game.vxa",
            "load animation \"gone.avi\", 1\nmake object cube 1, 1\nappend object \"walk.x\", 1, 5\nend\n");
  ASSERT_EQ(Vorlix("build project/game.vxa -o game").status, 0);
  const Outcome game = Shell("", "./game");
  EXPECT_NE(game.errors.find("Error In Program: Runtime Error : Could not load the animation file.\n"),
            std::string::npos)
      << game.errors;
  EXPECT_EQ(game.errors.find("gone.avi"), std::string::npos) << game.errors;
}

// `vorlix run` of a compiled program runs it beside its files, as it runs a source; a damaged
// image, one cut short or one of another format version, ends with the loader's error, while a
// source named .vxa that holds a zero byte is still compiled, and refused for it.
TEST_F(AuthorToolTest, ACompiledProgramRunsBesideItsFiles) {
  std::filesystem::create_directories(dir.path() + "project/media");
  std::filesystem::copy_file(std::string(VX_SOURCE_DIR) + "/examples/media/ball.png",
                             dir.path() + "project/media/ball.png");
  dir.Write("project/game.vxa",
            "load bitmap \"media/ball.png\", 1\nexit prompt \"width \" + str$(bitmap width(1)), \"game\"\nend\n");
  ASSERT_EQ(Vorlix("compile project/game.vxa -o project/game.dat").status, 0);
  const Outcome run = Vorlix("run project/game.dat");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors, "game: width 64\n");

  const std::string image = dir.Read("project/game.dat");
  dir.Write("project/cut.dat", image.substr(0, image.size() / 2));
  const Outcome cut = Vorlix("run project/cut.dat");
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.errors.find("System Error : The program could not be loaded: its file is damaged."), std::string::npos)
      << cut.errors;

  for (const uint8_t version : {0, 2}) {
    std::string other = image;
    other[0] = char(version);
    dir.Write("project/img.dat", other);
    const Outcome damaged = Vorlix("run project/img.dat");
    EXPECT_EQ(damaged.status, 1) << damaged.errors;
    EXPECT_EQ(damaged.errors,
              "Error In Program: System Error : The program could not be loaded: its file is damaged.\n");
  }
  dir.Write("project/zero.vxa", std::string("a = 1\0\nend\n", 11));
  const Outcome source = Vorlix("run project/zero.vxa");
  EXPECT_EQ(source.status, 2);
  EXPECT_EQ(source.errors, "project/zero.vxa:1: The line holds a zero byte (a source file is text)\n");
}

TEST_F(AuthorToolTest, CompileFailuresNameTheirLineOnce) {
  const struct {
    const char* source;
    const char* errors;
  } kCases[] = {
      {"a = 1\ngoto nowhere\n", "project/game.vxa:2: Label used but never defined: nowhere\n"},
      {"a = 1\n#include \"lib/nosuch.vxa\"\nb = f()\n",
       "project/game.vxa:2: Could not read the include file lib/nosuch.vxa: it does not exist or may not be read\n"},
      {"do\n", "project/game.vxa:1: Block not closed (an if, do, for, while or repeat has no end): do\n"},
  };
  for (const auto& c : kCases) {
    dir.Write("project/game.vxa", c.source);
    const Outcome compile = Vorlix("compile project/game.vxa -o game.dat");
    EXPECT_EQ(compile.status, 2);
    EXPECT_EQ(compile.errors, c.errors);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "game.dat"));
  }
}

// A fault in an included file is named in that file, at its own line, whatever found it: the
// statement's compile, the end checks, run, compile or build.
TEST_F(AuthorToolTest, CompileFailuresInAnIncludedFileNameThatFileAndItsLine) {
  const std::string main = "a = 1\nb = 2\n#include \"lib.vxa\"\nc = twice(a)\nend\n";
  const struct {
    const char* line4;  // line 4 of lib.vxa, inside its function
    const char* errors;
  } kCases[] = {
      {"  if n > 1", "project/lib.vxa:4: Block not closed (an if, do, for, while or repeat has no end): if\n"},
      {"  goto nowhere", "project/lib.vxa:4: Label used but never defined: nowhere\n"},
      {"  m = nothere(n)",
       "project/lib.vxa:4: No array or function of that name (an array is made with dim): nothere\n"},
      {"  prnt n", "project/lib.vxa:4: Unknown command: prnt n\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.line4);
    dir.Write("project/game.vxa", main);
    dir.Write("project/lib.vxa",
              std::string("rem helpers\nfunction twice(n)\n  m = n\n") + c.line4 + "\nendfunction m * 2\n");
    for (const std::string command :
         {"run project/game.vxa", "compile project/game.vxa -o game.dat", "build project/game.vxa -o game"}) {
      const Outcome outcome = Vorlix(command);
      EXPECT_EQ(outcome.status, 2) << command;
      EXPECT_EQ(outcome.errors, c.errors) << command;
    }
  }
}

TEST_F(AuthorToolTest, SourcesThatCouldBlockOrNeverEndAreRefused) {
  ASSERT_EQ(mkfifo((dir.path() + "fifo.vxa").c_str(), 0600), 0);
  std::filesystem::resize_file(dir.Write("huge.vxa", ""), 100 << 20);
  dir.Write("includes-fifo.vxa", "#include fifo.vxa\n");
  dir.Write("includes-huge.vxa", "a = 1\n#include \"huge.vxa\"\n");
  const struct {
    const char* arguments;
    const char* errors;
  } kCases[] = {
      {"run fifo.vxa", "fifo.vxa: Could not read the source file fifo.vxa: it is not a regular file\n"},
      {"compile /dev/zero -o zero.dat",
       "/dev/zero: Could not read the source file /dev/zero: it is not a regular file\n"},
      {"compile huge.vxa -o huge.dat",
       "huge.vxa: Could not read the source file huge.vxa: the program's text would pass 64 MB\n"},
      {"run includes-fifo.vxa",
       "includes-fifo.vxa:1: Could not read the include file fifo.vxa: it is not a regular file\n"},
      {"compile includes-huge.vxa -o huge.dat",
       "includes-huge.vxa:2: Could not read the include file huge.vxa: the program's text would pass 64 MB\n"},
      {"build fifo.vxa -o game", "fifo.vxa: Could not read the program fifo.vxa\n"},
  };
  for (const auto& c : kCases) {
    const Outcome outcome = Vorlix(c.arguments);
    EXPECT_EQ(outcome.status, 2) << c.arguments;
    EXPECT_EQ(outcome.errors, c.errors);
  }
}

// A quit is never lost: SIGTERM ends the run whether it comes while the program starts or while it
// computes in manual refresh, where no slice ever ends by itself. Should the signal be lost, the
// program is killed 5 seconds after it (status 137).
TEST_F(AuthorToolTest, ASignalEndsTheRunWhileItStartsAndWhileItComputes) {
  // The picture is saved at the end of the frame after which the loop starts.
  dir.Write("project/spin.vxa", "manual refresh\nsave bitmap \"ready.bmp\"\nrefresh screen\ndo\n  inc a\nloop\n");
  const char* kMoments[] = {"sleep 0.05", "sleep 0.2", "sleep 0.5",
                            "until [ -f project/ready.bmp ]; do sleep 0.05; done"};
  for (const char* moment : kMoments) {
    std::filesystem::remove(dir.path() + "project/ready.bmp");
    const Outcome run = Shell("", std::string("sh -c 'timeout -k 5 30 \"$0\" run project/spin.vxa & game=$!; ") +
                                      moment + "; kill -TERM $game; wait $game' '" + VX_VORLIX_PATH + "'");
    // Ended by the signal, whether it came before the process took signals over, when it had made
    // nothing yet, or after, through the clean-up.
    EXPECT_EQ(run.status, 143) << moment << "\n" << run.errors;
    EXPECT_EQ(WorkFoldersLeft(), 0) << moment;
  }
}

// The earliest signal that finds something to clean up comes right after the work folder is made:
// running, compiling and building end by the signal, and none leaves its folder behind.
TEST_F(AuthorToolTest, ASignalRightAfterTheWorkFolderIsMadeLeavesNoFolder) {
  dir.Write("project/game.vxa", "wait key\nend\n");
  const struct {
    const char* arguments;
    int status;
  } kCases[] = {{"run project/game.vxa", 143},
                {"compile project/game.vxa -o game.dat", 143},
                {"build project/game.vxa -o game", 143}};
  for (const auto& c : kCases) {
    const Outcome outcome =
        Shell("", std::string("env VX_TEST_TERM_AFTER_TEMP_FOLDER=1 '") + VX_VORLIX_PATH + "' " + c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.arguments << "\n" << outcome.errors;
    EXPECT_EQ(WorkFoldersLeft(), 0) << c.arguments;
  }
}

// A program that computes in manual refresh, once it has saved ready.bmp; the script that runs the
// program given as its arguments from the project folder, waits for ready.bmp and sends the signal
// in $SIGNAL. A program that never gets ready is killed (status 99).
constexpr const char* kSpin = "manual refresh\nsave bitmap \"ready.bmp\"\nrefresh screen\ndo\n  inc a\nloop\n";
constexpr const char* kSignalWhenReady =
    "rm -f ready.bmp\n"
    "env --default-signal=INT \"$@\" & game=$!\n"
    "tries=0\n"
    "until [ -f ready.bmp ]; do\n"
    "  tries=$((tries + 1)); [ $tries -gt 1200 ] && { kill -KILL $game; exit 99; }; sleep 0.05\n"
    "done\n"
    "kill -$SIGNAL $game; wait $game\n";

// Stopped by SIGTERM or SIGINT (Ctrl-C), a run and a built game clean up and then end by that
// signal, so that a shell loop stops and a cancelled job does not pass for a success. SIGINT is
// put back to its default, as a terminal gives it: a shell starts background jobs with it ignored.
TEST_F(AuthorToolTest, ARunAndABuiltGameStoppedByASignalEndByIt) {
  dir.Write("project/spin.vxa", kSpin);
  dir.Write("signal.sh", kSignalWhenReady);
  ASSERT_EQ(Vorlix("build project/spin.vxa -o game").status, 0);
  const struct {
    const char* name;
    int status;
  } kSignals[] = {{"TERM", 143}, {"INT", 130}};
  for (const std::string& program : {std::string("'") + VX_VORLIX_PATH + "' run spin.vxa", std::string("../game")})
    for (const auto& signal : kSignals) {
      const Outcome run = Shell("project", std::string("env SIGNAL=") + signal.name + " sh ../signal.sh " + program);
      EXPECT_EQ(run.status, signal.status) << program << " " << signal.name << "\n" << run.errors;
      EXPECT_EQ(WorkFoldersLeft(), 0) << program << " " << signal.name;
    }
}

// Like kSignalWhenReady, with a watchdog that kills a program the signal did not end within 30
// seconds (status 137).
constexpr const char* kSignalWhenReadyOrKill =
    "rm -f ready.bmp\n"
    "\"$@\" & game=$!\n"
    "( sleep 30; kill -KILL $game ) 2>/dev/null & watchdog=$!\n"
    "tries=0\n"
    "until [ -f ready.bmp ]; do\n"
    "  tries=$((tries + 1)); [ $tries -gt 500 ] && { kill -KILL $game $watchdog; exit 99; }; sleep 0.05\n"
    "done\n"
    "kill -TERM $game; wait $game; status=$?\n"
    "kill $watchdog; exit $status\n";

// A quit does not wait for a command that holds the run for minutes (made to here, as a model
// that long to read would): a run and a built game end by the signal all the same, through the
// clean-up of their work folder, whose files (the program) are still in use.
TEST_F(AuthorToolTest, ASignalEndsARunThatALongCommandHolds) {
  dir.Write("project/slow.vxa",
            "manual refresh\nsave bitmap \"ready.bmp\"\nrefresh screen\nload object \"model.x\", 1\nend\n");
  dir.Write("signal.sh", kSignalWhenReadyOrKill);
  ASSERT_EQ(Vorlix("build project/slow.vxa -o game").status, 0);
  for (const std::string& program : {std::string("'") + VX_VORLIX_PATH + "' run slow.vxa", std::string("../game")}) {
    const Outcome run = Shell("project", "env VX_TEST_SLOW_COMMAND='load object' sh ../signal.sh " + program);
    EXPECT_EQ(run.status, 143) << program << "\n" << run.errors;
    EXPECT_EQ(WorkFoldersLeft(), 0) << program;
  }
}

// A run that is free to end by itself after a signal does so as ever, with its exit prompt; given
// no time for that, the end that does not wait for it meets the run's own, and one of them cleans
// up: the end is still by the signal, with no folder left.
TEST_F(AuthorToolTest, ASignalAtAnOrdinaryMomentEndsTheRunOnceWhicheverEndComesFirst) {
  dir.Write("project/spin.vxa", std::string("exit prompt \"See you\", \"Goodbye\"\n") + kSpin);
  dir.Write("signal.sh", kSignalWhenReadyOrKill);
  const std::string run = std::string("'") + VX_VORLIX_PATH + "' run spin.vxa";
  const Outcome ownEnd = Shell("project", "env VX_TEST_QUIT_GRACE_MS=600000 sh ../signal.sh " + run);
  EXPECT_EQ(ownEnd.status, 143) << ownEnd.errors;
  EXPECT_NE(ownEnd.errors.find("Goodbye: See you\n"), std::string::npos) << ownEnd.errors;
  EXPECT_EQ(WorkFoldersLeft(), 0);
  for (int i = 0; i < 4; ++i) {
    const Outcome noGrace = Shell("project", "env VX_TEST_QUIT_GRACE_MS=0 sh ../signal.sh " + run);
    EXPECT_EQ(noGrace.status, 143) << noGrace.errors;
    EXPECT_EQ(WorkFoldersLeft(), 0);
  }
}

// The standard streams hold no run. A reader that has gone makes the writes fail, and the run goes
// on to its end and cleans up; a reader that stopped reading holds a write until a signal comes,
// which then ends the run at once, though more is to be written: the error and the exit prompt.
TEST_F(AuthorToolTest, AReaderOfTheOutputThatIsGoneOrStuckHoldsNoRun) {
  dir.Write("project/box.vxa", "exit prompt \"See you\", \"Goodbye\"\nend\n");
  dir.Write("project/fails.vxa", "exit prompt \"See you\", \"Goodbye\"\ndim a(2)\na(5) = 1\nend\n");
  ASSERT_EQ(Vorlix("build project/box.vxa -o box").status, 0);
  ASSERT_EQ(Vorlix("build project/fails.vxa -o fails").status, 0);
  dir.Write("gone.sh", "{ \"$@\" 2>&1; echo $? > status.txt; } | true\n");
  // The pipe is filled before the program writes to it; the watchdog kills a run that the signal
  // did not end (status 137). The program is blocked in its write when the kernel says so.
  dir.Write("stuck.sh",
            "rm -f out.fifo; mkfifo out.fifo; exec 3<>out.fifo\n"
            "dd if=/dev/zero of=out.fifo bs=4096 count=64 oflag=nonblock 2>/dev/null\n"
            "\"$@\" 2>out.fifo & game=$!\n"
            "( sleep 30; kill -KILL $game ) 2>/dev/null & watchdog=$!\n"
            "tries=0\n"
            "until grep -q pipe_write /proc/$game/wchan 2>/dev/null; do\n"
            "  tries=$((tries + 1)); [ $tries -gt 200 ] && break; sleep 0.05\n"
            "done\n"
            "kill -TERM $game; wait $game; status=$?\n"
            "kill $watchdog; exit $status\n");
  const std::string vorlix = std::string("'") + VX_VORLIX_PATH + "' run ";
  const struct {
    std::string box, fails;
  } kPrograms[] = {{vorlix + "box.vxa", vorlix + "fails.vxa"}, {"../box", "../fails"}};
  for (const auto& p : kPrograms) {
    dir.Write("project/status.txt", "");
    const Outcome gone = Shell("project", "sh ../gone.sh " + p.box);
    EXPECT_EQ(dir.Read("project/status.txt"), "0\n") << p.box << "\n" << gone.errors;
    EXPECT_EQ(WorkFoldersLeft(), 0) << p.box;
    const Outcome stuck = Shell("project", "sh ../stuck.sh " + p.fails);
    EXPECT_EQ(stuck.status, 143) << p.fails << "\n" << stuck.errors;
    EXPECT_EQ(WorkFoldersLeft(), 0) << p.fails;
  }
}

// Without the folder TMPDIR names, the work folder is a private one in the system's temporary
// folder, never that folder itself, where the work files of every game would share their names;
// with neither, nothing runs and the message says why. The test names the system's folder, as the
// root user cannot be refused the real one.
TEST_F(AuthorToolTest, AMissingTmpdirGivesAPrivateFolderInTheSystemsOne) {
  dir.Write("project/spin.vxa", kSpin);
  dir.Write("system/.keep", "");
  const std::string env =
      "env TMPDIR='" + dir.path() + "missing' VX_TEST_SYSTEM_TEMP_FOLDER='" + dir.path() + "system' ";
  const std::string vorlix = std::string("'") + VX_VORLIX_PATH + "' ";
  const Outcome build = Shell("", env + vorlix + "build project/spin.vxa -o game");
  ASSERT_EQ(build.status, 0) << build.errors;
  // While the program runs, its image (compiled or extracted) stands in a folder of its own there.
  dir.Write("seen.sh",
            "rm -f ready.bmp seen.txt\n"
            "\"$@\" & game=$!\n"
            "tries=0\n"
            "until [ -f ready.bmp ]; do\n"
            "  tries=$((tries + 1)); [ $tries -gt 1200 ] && { kill -KILL $game; exit 99; }; sleep 0.05\n"
            "done\n"
            "ls ../system/vorlix-*/*.dat > seen.txt\n"
            "kill -TERM $game; wait $game\n");
  for (const std::string& program : {vorlix + "run spin.vxa", std::string("../game")}) {
    const Outcome run = Shell("project", "sh ../seen.sh " + env + program);
    EXPECT_EQ(run.status, 143) << program << "\n" << run.errors;
    EXPECT_NE(dir.Read("project/seen.txt"), "") << program;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() + "system"), {}), 1) << program;
  }
  // A program that ends, so that a run that went ahead all the same ends too.
  dir.Write("project/ends.vxa", "end\n");
  ASSERT_EQ(Vorlix("build project/ends.vxa -o ends").status, 0);
  const std::string none =
      "env TMPDIR='" + dir.path() + "missing' VX_TEST_SYSTEM_TEMP_FOLDER='" + dir.path() + "gone' ";
  const std::string why = "No private work folder could be made in " + dir.path() +
                          "missing (No such file or directory), nor in " + dir.path() +
                          "gone (No such file or directory): set TMPDIR to a folder that can be written\n";
  for (const char* arguments :
       {"run project/ends.vxa", "compile project/ends.vxa -o ends.dat", "build project/ends.vxa -o ends2"}) {
    const Outcome outcome = Shell("", none + vorlix + arguments);
    EXPECT_EQ(outcome.status, 1) << arguments;
    EXPECT_EQ(outcome.errors, "vorlix: " + why) << arguments;
  }
  const Outcome game = Shell("", none + "./ends");
  EXPECT_EQ(game.status, 1);
  EXPECT_EQ(game.errors, "Vorlix: " + why);
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "ends.dat"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "ends2"));
}

// A display that is named but cannot be opened is said so, and the program does not run unseen:
// `vorlix run` and a built game end with a message that names it and a status that is not 0.
TEST_F(AuthorToolTest, ADisplayThatCannotBeOpenedIsAnErrorThatNamesIt) {
  dir.Write("project/game.vxa", "wait key\nend\n");
  ASSERT_EQ(Vorlix("build project/game.vxa -o game").status, 0);
  const std::string noDisplay = "env -u SDL_VIDEODRIVER -u WAYLAND_DISPLAY DISPLAY=:9999 ";
  for (const std::string& program :
       {std::string("'") + VX_VORLIX_PATH + "' run project/game.vxa", std::string("./game")}) {
    const Outcome run = Shell("", noDisplay + program);
    EXPECT_EQ(run.status, 1) << program << "\n" << run.errors;
    // A game names the error from the words it carries, though it never opened its block to run.
    EXPECT_NE(run.errors.find("Could not create the window. The display :9999 could not be opened"), std::string::npos)
        << run.errors;
    EXPECT_EQ(WorkFoldersLeft(), 0) << program;
  }
}

TEST_F(AuthorToolTest, ABuildFromABareNameShipsTheMediaBesideTheProgramAndNothingElse) {
  std::filesystem::create_directories(dir.path() + "project/media");
  std::filesystem::copy_file(std::string(VX_SOURCE_DIR) + "/examples/media/ball.png",
                             dir.path() + "project/media/ball.png");
  dir.Write("project/game.vxa",
            "load bitmap \"media/ball.png\", 1\ndim a(1)\nif bitmap width(1) <> 64 then a(5) = 1\nend\n");
  // It lists what it packs on standard output, a terminal or not.
  const Outcome build = Shell("project", std::string("sh -c '\"$0\" build game.vxa -o ../game > ../listing.txt' '") +
                                             VX_VORLIX_PATH + "'");
  ASSERT_EQ(build.status, 0) << build.errors;
  EXPECT_EQ(build.errors, "");
  EXPECT_EQ(dir.Read("listing.txt"), "Adding media/ball.png (3.5 KB)...\n1 file attached, 3.5 KB in all\n");
  // The game runs from elsewhere with the picture it carries.
  const Outcome game = Shell("tmp", "../game");
  EXPECT_EQ(game.status, 0);
  EXPECT_EQ(game.errors, "");
  for (const char* folder : {"", "project/", "tmp/"})
    EXPECT_FALSE(std::filesystem::exists(dir.path() + folder + "LANG")) << "a build wrote into " << folder;
}

// The run moves to the program's folder, but a relative frame dump names a file where vorlix was
// started, as any command's relative file name does.
TEST_F(AuthorToolTest, ARelativeFrameDumpIsWrittenWhereTheRunStarted) {
  dir.Write("project/game.vxa", "cls rgb(255, 0, 0)\nend\n");
  const Outcome run =
      Shell("", std::string("env VX_FRAME_DUMP=shot.bmp '") + VX_VORLIX_PATH + "' run project/game.vxa");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(dir.Read("shot.bmp").substr(0, 2), "BM");
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "project/shot.bmp"));
}

// A build ships the program's folder only: the files a program names outside it are listed, and
// the game is built without them.
TEST_F(AuthorToolTest, ABuildSaysWhichFilesItDoesNotShip) {
  const std::string ball = std::string(VX_SOURCE_DIR) + "/examples/media/ball.png";
  dir.Write("project/game.vxa", "load bitmap \"" + ball +
                                    "\", 1\nload image \"..\\shared\\ship.png\", 2\nload image \"media/rock.png\", 3\n"
                                    "print \"a/b\" + \"/\"\nend\ndata \"/media/tune.mid\", \"media/x.png\"\n");
  const Outcome build = Vorlix("build project/game.vxa -o game");
  EXPECT_EQ(build.status, 0);
  EXPECT_EQ(build.errors, "project/game.vxa: \"" + ball +
                              "\" lies outside the program's folder: the game is built without it\n"
                              "project/game.vxa: \"..\\shared\\ship.png\" lies outside the program's folder: the game "
                              "is built without it\n"
                              "project/game.vxa: \"/media/tune.mid\" lies outside the program's folder: the game is "
                              "built without it\n");
}

// A built game carries the language's word file: run alone from another folder, it names its
// error as vorlix run does, and leaves nothing beside itself.
TEST_F(AuthorToolTest, ABuiltGameNamesItsErrorsAsTheAuthorToolDoes) {
  dir.Write("project/game.vxa", "dim a(2)\na(5) = 1\nend\n");
  const Outcome build = Vorlix("build project/game.vxa -o game");
  ASSERT_EQ(build.status, 0) << build.errors;
  std::filesystem::create_directories(dir.path() + "alone");
  std::filesystem::rename(dir.path() + "game", dir.path() + "alone/game");
  const Outcome game = Shell("alone", "./game");
  EXPECT_EQ(game.status, 0);
  EXPECT_NE(game.errors.find("Error In Program: Runtime Error : Array index out of range.\n"), std::string::npos)
      << game.errors;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() + "alone"), {}), 1);
}

}  // namespace
}  // namespace vx
