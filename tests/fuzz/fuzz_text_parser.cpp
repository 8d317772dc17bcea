// Fuzzes the text-form parser. Whatever it accepts must convert back to text
// and parse again to the very same binary; a violation aborts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "SkinStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<uint8_t> binary;
  try {
    binary = ObjectTextToBinary(text);
  } catch (const Exception&) {
    return 0;
  }
  try {
    if (ObjectTextToBinary(ObjectBinaryToText(binary)) != binary) std::abort();
  } catch (const Exception&) {
    std::abort();
  }
  return 0;
}
