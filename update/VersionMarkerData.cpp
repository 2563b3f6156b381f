// The version marker of this build, from the project version in CMake. Kept
// alone in its own object file: an executable that defines QuillexVersionMarker
// itself (a build with another version) takes its own, and the linker never
// pulls this one from the core library.
#include <cstdint>

#ifndef QUILLEX_VERSION_MAJOR
#error "QUILLEX_VERSION_MAJOR, _MINOR, _RELEASE and _BUILD come from CMake"
#endif

#define QUILLEX_LE16(value) std::uint8_t((value)&0xFF), std::uint8_t(((value) >> 8) & 0xFF)

extern "C" {
extern const unsigned char QuillexVersionMarker[24];
__attribute__((used)) const unsigned char QuillexVersionMarker[24] = {
    0x89,
    'Q',
    'L',
    'X',
    '-',
    'V',
    'E',
    'R',
    'S',
    'I',
    'O',
    'N',
    0x0D,
    0x0A,
    0x1A,
    0x0A,
    QUILLEX_LE16(QUILLEX_VERSION_MAJOR),
    QUILLEX_LE16(QUILLEX_VERSION_MINOR),
    QUILLEX_LE16(QUILLEX_VERSION_RELEASE),
    QUILLEX_LE16(QUILLEX_VERSION_BUILD),
};
}
