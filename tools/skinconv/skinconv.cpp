// skinconv: converts skins between the text form (.cfg) and the binary form
// (.bin), dumps binary skins tag by tag, and prints the skin vocabulary.
//
//   skinconv to-bin FILE.cfg [OUT.bin]
//   skinconv to-text FILE.bin [OUT.cfg]
//   skinconv dump FILE.bin
//   skinconv --vocabulary
//
// Exit status 0 on success; 1 with the error's message on stderr.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "SkinRegistration.h"
#include "SkinStream.h"

namespace {

int Usage() {
  std::fputs("usage: skinconv to-bin FILE.cfg [OUT.bin]\n"
             "       skinconv to-text FILE.bin [OUT.cfg]\n"
             "       skinconv dump FILE.bin\n"
             "       skinconv --vocabulary\n",
             stderr);
  return 2;
}

void ToBinary(const std::string& in, const std::string& out) {
  const std::vector<uint8_t> text = ReadFileBytes(in);
  const std::vector<uint8_t> stream =
      ObjectTextToBinary(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  std::vector<uint8_t> file = ResourceHeader(RootClassName(stream), static_cast<uint32_t>(stream.size()));
  file.insert(file.end(), stream.begin(), stream.end());
  WriteFileBytes(out, file);
}

void ToText(const std::string& in, const std::string& out) {
  const std::vector<uint8_t> file = ReadFileBytes(in);
  const size_t start = SkipResourceHeader(file);
  const std::string text = ObjectBinaryToText(std::span<const uint8_t>(file).subspan(start));
  WriteFileBytes(out, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  try {
    if (command == "--vocabulary" && argc == 2) {
      RegisterSkinClasses();
      std::fputs(VocabularyDump().c_str(), stdout);
    } else if (command == "to-bin" && (argc == 3 || argc == 4)) {
      ToBinary(argv[2], argc == 4 ? argv[3] : ChangeFileExt(argv[2], ".bin"));
    } else if (command == "to-text" && (argc == 3 || argc == 4)) {
      ToText(argv[2], argc == 4 ? argv[3] : ChangeFileExt(argv[2], ".cfg"));
    } else if (command == "dump" && argc == 3) {
      std::fputs(DumpObjectStream(ReadFileBytes(argv[2])).c_str(), stdout);
    } else {
      return Usage();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
