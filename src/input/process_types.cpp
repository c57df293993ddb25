#include "input/process_types.h"

std::string ProcessTypeMeaning(int32_t t) {
  switch (t) {
    case 1: return "one die opening in a flat die, profile and container region";
    case 3: return "an extra zone of the extra-zone length between die and container, bounded by outline slot 2";
    case 4: return "as 3, without the starting strain field";
    case 5: return "as 1 for a half or quarter model, symmetry planes x = 0 / y = 0 applied once more, without the starting strain field";
    case 6: return "as 4 for a half or quarter model, symmetry planes applied once more";
    case 7: return "multi-hole die, slot 3 the container bore, every other outline a hole";
    case 9: return "the same as 7";
    default: return "";
  }
}

std::string ProcessTypeList() {
  return "1 (one die opening in a flat die), 3 (extra zone between die and container), 4 (as 3 without the starting "
         "strain field), 5 (as 1, half or quarter model), 6 (as 4, half or quarter model), 7 or 9 (multi-hole die)";
}
