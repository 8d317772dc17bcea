// Fuzzes the binary side: the resource header, the stream-to-text writer,
// the dump, and the reader into live objects (a bare component root, so
// every child fails with "Classe ... non trouvée" or an earlier error).
// Any Exception is an accepted outcome; crashes, hangs and out-of-bounds
// reads are not.
#include <cstddef>
#include <cstdint>

#include "SkinStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  try {
    ObjectBinaryToText(input);
  } catch (const Exception&) {
  }
  try {
    DumpObjectStream(input);
  } catch (const Exception&) {
  }
  try {
    TComponent root(nullptr);
    ReadRootComponent(input, root);
  } catch (const Exception&) {
  }
  return 0;
}
