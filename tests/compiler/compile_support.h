// The compiler tests' fixture: writes a .vxa file into a private folder, compiles it with the
// embedded command table and message texts "M<key>", and can load and run the image it wrote.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compiler/compiler.h"
#include "ide/language.h"
#include "runtime/program_image.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace vx::test {

struct CaseName {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return info.param.name;
  }
};

class CompileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int key = 0; key < kCompilerMessageCount; ++key)
      Language().gCompilerMessages[size_t(key)] = "M" + std::to_string(key);
    ResetCompiler();
    ASSERT_EQ(LoadCommandTable(), 1);
    output = dir.path() + "out.dat";
  }
  void TearDown() override {
    FreeCompilerTables();
    FreeProgramImage();
    Language().gCompilerMessages.fill(std::nullopt);
  }

  bool Compile(const std::string& source) { return CompileFile(dir.Write("main.vxa", source), output) == 1; }
  static std::string Message() { return gCompiler.resultMessage; }
  static int Line() { return gCompiler.errorLine; }

  // Compiles, loads the image and runs it; a failed compile or load fails the test.
  RunResult Run(const std::string& source, int maxSlices = 100000) {
    if (!Compile(source)) {
      ADD_FAILURE() << "compile failed: " << Message() << " at line " << Line();
      return {};
    }
    PrepareRuntime();
    if (!LoadProgramImage(output)) {
      ADD_FAILURE() << "the image was refused";
      return {};
    }
    return RunLoaded(maxSlices);
  }

  // The operand of a variable of the main program (or of function), -1 when there is none.
  static int Operand(const std::string& name, uint16_t function = 0) {
    const int type = name.find('#') != std::string::npos ? 1 : name.find('$') != std::string::npos ? 2 : 0;
    const auto& table = gCompiler.variables[size_t(type)];
    for (size_t i = 0; i < table.size(); ++i)
      if (table[i].name == name && table[i].function == function && !table[i].isArray)
        return operands::kIntVar + operands::kPerKind * type + int(i);
    return -1;
  }
  static int32_t Int(const std::string& name) { return IntAt(Operand(name)); }

  TempFolder dir;
  std::string output;
};

}  // namespace vx::test
