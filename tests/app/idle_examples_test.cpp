// The examples that wait for a key let the processor go while they wait, as a game author should
// learn from them: each runs to its end (ten seconds of waiting) as a process of its own, and the
// processor time the kernel counted for it stays below a fifth of the time it ran. This is a
// resource check: how long the runs take does not matter, only the share they used.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using Clock = std::chrono::steady_clock;

struct ExampleRun {
  std::string name;
  pid_t pid = -1;
  Clock::time_point start;
};

// The environment of a run: this one's, headless, with the test's own temporary folder.
std::vector<std::string> RunEnvironment(const std::string& tmp) {
  std::vector<std::string> variables = {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy", "TMPDIR=" + tmp};
  for (char** variable = environ; *variable; ++variable) {
    const std::string text = *variable;
    const std::string name = text.substr(0, text.find('='));
    if (name != "SDL_VIDEODRIVER" && name != "SDL_AUDIODRIVER" && name != "TMPDIR") variables.push_back(text);
  }
  return variables;
}

// Starts `vorlix run` of the example with its output thrown away.
pid_t StartExample(const std::string& name, const std::vector<std::string>& environment) {
  const std::string source = std::string(VX_SOURCE_DIR) + "/examples/" + name;
  std::vector<char*> envp;
  for (const std::string& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);
  char* const argv[] = {const_cast<char*>(VX_VORLIX_PATH), const_cast<char*>("run"), const_cast<char*>(source.c_str()),
                        nullptr};
  const int quiet = open("/dev/null", O_RDWR);
  const pid_t pid = fork();
  if (pid == 0) {
    for (int stream = 0; stream < 3; ++stream) dup2(quiet, stream);
    execve(VX_VORLIX_PATH, argv, envp.data());
    _exit(127);
  }
  close(quiet);
  return pid;
}

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

TEST(IdleExamplesTest, ExamplesThatWaitForAKeyUseLessThanAFifthOfACore) {
  test::TempFolder dir;
  dir.Write("tmp/.keep", "");
  // Side by side, so that the four waits take ten seconds together.
  const std::vector<std::string> environment = RunEnvironment(dir.path() + "tmp");
  std::vector<ExampleRun> runs;
  for (const char* name : {"welcome.vxa", "shapes.vxa", "text.vxa", "picture.vxa"}) {
    runs.push_back({name, StartExample(name, environment), Clock::now()});
    ASSERT_GT(runs.back().pid, 0);
  }
  // Each run is measured when it ends, whichever ends first.
  for (size_t ended = 0; ended < runs.size(); ++ended) {
    int status = 0;
    rusage usage{};
    const pid_t pid = wait4(-1, &status, 0, &usage);
    const auto run = std::find_if(runs.begin(), runs.end(), [&](const ExampleRun& r) { return r.pid == pid; });
    ASSERT_NE(run, runs.end());
    const double ran = std::chrono::duration<double>(Clock::now() - run->start).count();
    const double used = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run->name << " status " << status;
    EXPECT_LT(used, ran / 5) << run->name << " used " << used << " s of processor time in " << ran << " s";
    RecordProperty(run->name + " processor share", std::to_string(used / ran));
  }
}

}  // namespace
}  // namespace vx
