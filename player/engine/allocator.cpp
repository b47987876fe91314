#include "engine/allocator.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace velloran::engine {

void returnLargeBuffersToTheSystem() {
#if defined(M_MMAP_THRESHOLD)
    // Setting the threshold also turns off its adjustment at run time.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

} // namespace velloran::engine
