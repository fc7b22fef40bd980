// The checklist shared by the enumeration commands.
#include "common/checklist.h"

namespace vx {

ChecklistState gChecklistState;

void ResetChecklist() {
  Checklist().gChecklistCount = 0;
  Checklist().gChecklistFilled = Checklist().gChecklistHasValues = Checklist().gChecklistHasTexts = 0;
  for (auto& entry : Checklist().gChecklist) {
    for (auto& v : entry.values) v = -1;
    entry.text[0] = '\0';
  }
}

}  // namespace vx
