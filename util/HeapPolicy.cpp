#include "util/HeapPolicy.h"

#include <malloc.h>

namespace qb {

void UseServerHeapPolicy() {
  mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes);
  mallopt(M_TRIM_THRESHOLD, kLargeBlockBytes);
}

}  // namespace qb
