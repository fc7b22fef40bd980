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

extern std::array<ChecklistEntry, kChecklistCapacity> gChecklist;  // the entries
extern int32_t gChecklistCount;        // entries in use
extern int32_t gChecklistFilled;       // an enumeration filled it
extern int32_t gChecklistHasValues;    // the entries carry values
extern int32_t gChecklistHasTexts;     // the entries carry texts

// Empties the checklist: flags and count 0, every value -1 and every text empty.
void ResetChecklist();

}  // namespace vx
