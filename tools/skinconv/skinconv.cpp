// skinconv: converts skins between the text form (.cfg) and the binary form
// (.bin), dumps binary skins tag by tag, and prints the skin vocabulary.
//
//   skinconv to-bin FILE.cfg [OUT.bin] [--force]
//   skinconv to-text FILE.bin [OUT.cfg] [--force]
//   skinconv dump FILE.bin
//   skinconv --vocabulary
//   skinconv --help
//
// Work is never lost: to-text writes to standard output unless an output
// is named, and neither conversion replaces an existing file that is not a
// binary skin (one it could have written) without --force.
//
// Exit status 0 on success; 1 with the error's message on stderr; 2 for a
// bad command line.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "SkinRegistration.h"
#include "SkinStream.h"

namespace {

constexpr const char* kUsage =
    "usage: skinconv to-bin FILE.cfg [OUT.bin] [--force]\n"
    "       skinconv to-text FILE.bin [OUT.cfg] [--force]\n"
    "       skinconv dump FILE.bin\n"
    "       skinconv --vocabulary\n"
    "       skinconv --help\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int Help() {
  std::fputs(kUsage, stdout);
  std::fputs("\n"
             "to-bin   converts a skin's text form to the binary skin.bin the dashboard reads\n"
             "         (OUT.bin defaults to FILE with the extension .bin)\n"
             "to-text  converts a binary skin to its text form (standard output unless OUT.cfg)\n"
             "dump     prints a binary skin tag by tag\n"
             "--vocabulary  prints every skin class with its properties and their values\n"
             "--force  replaces an existing output that is not a binary skin (a hand-written\n"
             "         text skin, say), which is otherwise left alone\n",
             stdout);
  return 0;
}

// True when `path` holds a binary skin: a file a conversion may replace,
// since it can be written again from its text.
bool IsBinarySkin(const std::string& path) {
  try {
    const std::vector<uint8_t> file = ReadFileBytes(path);
    const size_t start = SkipResourceHeader(file);
    return file.size() >= start + 4 && std::memcmp(file.data() + start, "TPF0", 4) == 0;
  } catch (const std::exception&) {
    return false;
  }
}

// Refuses to replace a file the user may have written by hand.
void CheckOverwrite(const std::string& out, bool force) {
  std::error_code error;
  if (force || !std::filesystem::exists(out, error) || IsBinarySkin(out)) return;
  throw Exception(out + " exists and is not a binary skin; not replaced (--force replaces it)");
}

void ToBinary(const std::string& in, const std::string& out, bool force) {
  const std::vector<uint8_t> stream = ReadTextSkinFile(in);
  std::vector<uint8_t> file = ResourceHeader(RootClassName(stream), static_cast<uint32_t>(stream.size()));
  file.insert(file.end(), stream.begin(), stream.end());
  CheckOverwrite(out, force);
  WriteFileBytes(out, file);
}

// An empty `out` is standard output.
void ToText(const std::string& in, const std::string& out, bool force) {
  const std::vector<uint8_t> file = ReadFileBytes(in);
  const size_t start = SkipResourceHeader(file);
  const std::string text = ObjectBinaryToText(std::span<const uint8_t>(file).subspan(start));
  if (out.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return;
  }
  CheckOverwrite(out, force);
  WriteFileBytes(out, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool force = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--force") == 0) force = true;
    else args.emplace_back(argv[i]);
  }
  if (args.empty()) return Usage();
  const std::string command = args[0];
  const size_t count = args.size();
  try {
    if ((command == "--help" || command == "-h") && count == 1) {
      return Help();
    } else if (command == "--version" && count == 1) {
      std::printf("skinconv %s\n", ProductVersion());
    } else if (command == "--vocabulary" && count == 1) {
      RegisterSkinClasses();
      std::fputs(VocabularyDump().c_str(), stdout);
    } else if (command == "to-bin" && (count == 2 || count == 3)) {
      ToBinary(args[1], count == 3 ? args[2] : ChangeFileExt(args[1], ".bin"), force);
    } else if (command == "to-text" && (count == 2 || count == 3)) {
      ToText(args[1], count == 3 ? args[2] : std::string(), force);
    } else if (command == "dump" && count == 2) {
      std::fputs(DumpObjectStream(ReadFileBytes(args[1])).c_str(), stdout);
    } else {
      return Usage();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
