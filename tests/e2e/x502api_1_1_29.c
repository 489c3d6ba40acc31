/* A stand-in for the vendor's x502api of version 1.1.29: only the version
 * query exists, so the driver finds a library too old to use. */
#include <stdint.h>

__attribute__((visibility("default"))) uint32_t X502_GetLibraryVersion(void) {
    return (1u << 24) | (1u << 16) | (29u << 8);
}
