#pragma once

namespace velkoria {

// Hands the memory that the program has freed back to the system. The C
// library keeps freed blocks for later use, so after a large page has been
// read and let go the program would otherwise stay that large while it idles
// between scans. Where the library returns memory by itself, nothing to do.
void returnFreedMemory();

} // namespace velkoria
