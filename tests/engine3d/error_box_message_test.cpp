// The engine's message in the error box, end to end: it explains the error of the command that
// logged it, and a message that a command only logged (it went on without an error) never turns
// up in the box of a later, unrelated error.
#include <filesystem>

#include "tests/engine3d/program_world.h"

namespace vx {
namespace {

class ErrorBoxMessageTest : public test::ProgramWorld {};

TEST_F(ErrorBoxMessageTest, AMessageALaterCommandLeftIsNotShownWithAnUnrelatedError) {
  // A point light at a position that is not a number is refused by the device, which only the
  // log hears of; the program goes on.
  ASSERT_EQ(Run("make light 1\n"
                "set point light 1, 0, 0, 0\n"
                "nan# = sqrt(-1.0)\n"
                "position light 1, nan#, nan#, nan#\n"
                "made = 1\n"
                "rotate object 5, 10, 20, 30\n"),
            kErrObjectNotExist);
  EXPECT_EQ(Int("made"), 1) << "the light's position was no error";
  EXPECT_EQ(FormatErrorMessage(), "Runtime Error : " + ErrorNumberText(kErrObjectNotExist) + ".");
}

TEST_F(ErrorBoxMessageTest, TheMessageOfTheFailingCommandStaysWithItsError) {
  folder_.Write("broken.x", "xof 0303txt 0032\nFrame { Mesh { 3; 0;0;0;, 1;");
  ASSERT_EQ(Run("make light 1\n"
                "nan# = sqrt(-1.0)\n"
                "set point light 1, nan#, 0, 0\n"
                "load object \"broken.x\", 1\n"),
            kErrModelNotRead);
  const std::string box = FormatErrorMessage();
  EXPECT_NE(box.find("Failed to load model broken.x"), std::string::npos) << box;
  EXPECT_EQ(box.find("Light"), std::string::npos) << box;
}

}  // namespace
}  // namespace vx
