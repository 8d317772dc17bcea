// Files and the conversion between the text and binary forms of a skin.
#include <cerrno>
#include <cstdio>
#include <memory>

#include "SkinStream.h"

namespace {
struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;
}  // namespace

std::string ChangeFileExt(const std::string& name, const std::string& ext) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return name.substr(0, dot) + ext;
  return name + ext;
}

bool ConvertFormOrText(const std::string& fileName, int direction) {
  if (direction != 0 && direction != 1) return false;
  const std::string source = ChangeFileExt(fileName, direction == 0 ? ".cfg" : ".bin");
  const std::string destination = ChangeFileExt(fileName, direction == 0 ? ".bin" : ".cfg");
  std::vector<uint8_t> input;
  try {
    input = ReadFileBytes(source);
  } catch (const EStreamError&) {
    return false;
  }
  // The destination is created (replacing an old one) only once the source
  // is open; a stream that cannot be read then leaves it partly written.
  FilePtr out(std::fopen(destination.c_str(), "wb"));
  if (!out) return false;
  try {
    std::vector<uint8_t> result;
    if (direction == 0) {
      // Syntax errors propagate to the caller: they are not a "false".
      const std::vector<uint8_t> stream =
          ObjectTextToBinary(std::string_view(reinterpret_cast<const char*>(input.data()), input.size()));
      result = ResourceHeader(RootClassName(stream), static_cast<uint32_t>(stream.size()));
      result.insert(result.end(), stream.begin(), stream.end());
    } else {
      const size_t start = SkipResourceHeader(input);
      const std::string text = ObjectBinaryToText(std::span<const uint8_t>(input).subspan(start));
      result.assign(text.begin(), text.end());
    }
    if (!result.empty() && std::fwrite(result.data(), 1, result.size(), out.get()) != result.size()) return false;
  } catch (const EParserError&) {
    throw;
  } catch (const Exception&) {
    return false;
  }
  return std::fclose(out.release()) == 0;
}
