#include "thermal/perenos.h"

#include "core/fatal.h"

void Perenos_3d(const MeshRecord& /*src*/, MeshRecord& /*dst*/, int /*mode*/) {
  Fatal("Perenos_3d: not available in this build");
}
