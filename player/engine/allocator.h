#pragma once

namespace velloran::engine {

/// Lets buffers of a MiB and more go back to the system when they are freed.
///
/// mpv allocates and frees buffers of several MiB with every file it opens.
/// glibc answers the first free of such a block by raising its mmap threshold,
/// so the later ones come from the heap and stay resident after their file has
/// closed: about 10 MiB from the second file on, and more over a day of
/// dictations. A fixed threshold keeps them mapped apart. Call it once, early
/// in main(); it changes the allocator for the whole process.
void returnLargeBuffersToTheSystem();

} // namespace velloran::engine
