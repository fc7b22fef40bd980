// The checklist: up to 512 entries of four values and a text, filled by enumeration commands
// and read back by the program.
#pragma once
#include <array>
#include <cstdint>

namespace vx {

struct ChecklistEntry {
  int32_t values[4];
  char text[256];
};

constexpr int kChecklistCapacity = 512;

struct ChecklistState {
  std::array<ChecklistEntry, kChecklistCapacity> gChecklist{};  // the entries
  int32_t gChecklistCount = 0;                                  // entries in use
  int32_t gChecklistFilled = 0;                                 // an enumeration filled it
  int32_t gChecklistHasValues = 0;                              // the entries carry values
  int32_t gChecklistHasTexts = 0;                               // the entries carry texts
};
extern ChecklistState gChecklistState;  // the one instance (common/checklist.cpp)
inline ChecklistState& Checklist() { return gChecklistState; }

void ResetChecklist();

}  // namespace vx
