// The checklist shared by the enumeration commands.
#include "common/checklist.h"

namespace vx {

std::array<ChecklistEntry, kChecklistCapacity> gChecklist;
int32_t gChecklistCount = 0;
int32_t gChecklistFilled = 0;
int32_t gChecklistHasValues = 0;
int32_t gChecklistHasTexts = 0;

void ResetChecklist() {
  gChecklistCount = 0;
  gChecklistFilled = gChecklistHasValues = gChecklistHasTexts = 0;
  for (auto& entry : gChecklist) {
    for (auto& v : entry.values) v = -1;
    entry.text[0] = '\0';
  }
}

}  // namespace vx
