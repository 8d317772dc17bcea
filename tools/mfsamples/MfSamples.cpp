// mfsamples: writes the sample metafiles of MetafileSamples.h to files, for
// the skin-rendering test and the fuzz corpus.
//
//   mfsamples background emf|wmf WIDTH HEIGHT OUT
//       the dashboard background sample at the given size;
//   mfsamples all DIR
//       every sample in both formats, named after the sample (shapes.emf,
//       shapes.wmf, ...).
//
// Exit status: 0 on success, 1 when writing fails, 2 for a wrong command line.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>

#include "MetafileSamples.h"

using namespace mfsamples;

namespace {
void Write(const std::string& path, const TBytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

int Usage() {
  std::fputs("usage: mfsamples background emf|wmf WIDTH HEIGHT OUT\n"
             "       mfsamples all DIR\n",
             stderr);
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "background" && argc == 6) {
      const std::string kind = argv[2];
      if (kind != "emf" && kind != "wmf") return Usage();
      const int width = std::atoi(argv[3]), height = std::atoi(argv[4]);
      if (width <= 0 || height <= 0 || width > 30000 || height > 30000) return Usage();
      Write(argv[5], Background(kind == "emf" ? fmEmf : fmWmf, width, height));
    } else if (command == "all" && argc == 3) {
      const std::string dir = argv[2];
      for (TFormat f : {fmEmf, fmWmf}) {
        const std::string ext = f == fmEmf ? ".emf" : ".wmf";
        Write(dir + "/shapes" + ext, Shapes(f));
        Write(dir + "/lines" + ext, Lines(f));
        Write(dir + "/hatches" + ext, Hatches(f));
        Write(dir + "/rasterops" + ext, RasterOps(f));
        Write(dir + "/fillmodes" + ext, FillModes(f));
        Write(dir + "/mapmode" + ext, MapMode(f));
        Write(dir + "/bitmap" + ext, Bitmap(f));
        Write(dir + "/text" + ext, Text(f, 24, 700, true, 300));
        Write(dir + "/text-up" + ext, Text(f, 24, 400, false, 900));
        Write(dir + "/clip" + ext, Clip(f));
        Write(dir + "/unhandled" + ext, Unhandled(f));
      }
      Write(dir + "/worldtransform.emf", WorldTransform());
    } else {
      return Usage();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mfsamples: %s\n", e.what());
    return 1;
  }
  return 0;
}
