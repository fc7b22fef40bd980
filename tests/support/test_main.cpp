// The main of every test program: the runtime's and the engine's hooks are installed first, by the
// calls start-up makes, so that the engines under test raise errors and open attached files as in
// a run and the display's device events reach the engine. Each test
// program gets per-user folders of its own (profile and log), so that what one test remembers
// there (a display card, a depth) never reaches another test or the user's own profile.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine3d/engine_hooks.h"
#include "runtime/runtime_services.h"

namespace {

std::string PrivateUserFolders(int argc, char** argv) {
  // A death test's child runs this program again: it keeps its parent's folders, which the parent
  // removes, since the child does not end through here.
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]).starts_with("--gtest_internal_run_death_test")) return "";
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/vorlix-test-user-XXXXXX";
  if (!mkdtemp(pattern.data())) return "";
  setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
  setenv("XDG_STATE_HOME", (pattern + "/state").c_str(), 1);
  return pattern;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string userFolders = PrivateUserFolders(argc, argv);  // before gtest takes its flags away
  testing::InitGoogleTest(&argc, argv);
  vx::InstallRuntimeHooks();
  vx::InstallEngineHooks();
  const int status = RUN_ALL_TESTS();
  std::error_code ignored;
  if (!userFolders.empty()) std::filesystem::remove_all(userFolders, ignored);
  return status;
}
