// The checklist shared by the enumeration commands.
#include "common/checklist.h"

namespace vx {

ChecklistState gChecklistState;

void ResetChecklist() {
  gChecklistCount = 0;
  gChecklistFilled = gChecklistHasValues = gChecklistHasTexts = 0;
  for (auto& entry : gChecklist) {
    for (auto& v : entry.values) v = -1;
    entry.text[0] = '\0';
  }
}

}  // namespace vx
