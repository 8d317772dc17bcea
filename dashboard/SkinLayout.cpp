#include "SkinLayout.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "SkinSensors.h"
#include "SkinStream.h"

namespace {

// The bindings one object record carries, as its properties leave them
// (a property given twice counts with its last value, as when loading).
struct TRecordBindings {
  TAnalogSensors Analog = ia0;
  TDigitalSensors Digital = in0;
  TLabelType LabelType = TLabelType::_text;
};

class TLayoutWalker {
public:
  explicit TLayoutWalker(std::span<const uint8_t> stream) : R(stream) {}

  std::vector<std::string> Walk() {
    R.ReadSignature();
    ReadRecord(0, /*root=*/true);
    FSensors.Sort();
    std::vector<std::string> layout;
    for (int32_t p = 1; p <= FSensors.Count(); ++p) layout.push_back(FSensors.SensorAtPosition(p).SensorName());
    return layout;
  }

private:
  // The root record is the skin window, whatever class it names, and binds
  // nothing; every record inside it is one of its components.
  void ReadRecord(int depth, bool root) {
    if (depth > kMaxNesting) throw EReadError("Erreur de lecture du flux");
    uint8_t flags = 0;
    int64_t childPos = 0;
    R.ReadPrefix(flags, childPos);
    const std::string className = R.ReadStr();
    const std::string name = R.ReadStr();
    const TSensorBinding binding = root ? TSensorBinding::sbNone : SkinClassSensorBinding(className);
    TRecordBindings bindings;
    while (!R.EndOfList()) {
      const std::string property = R.ReadStr();
      if (binding != TSensorBinding::sbNone && SameText(property, "AnalogSensor"))
        bindings.Analog = static_cast<TAnalogSensors>(ReadEnum(AnalogSensorNames(), className, name, property));
      else if (binding != TSensorBinding::sbNone && SameText(property, "DigitalSensor"))
        bindings.Digital = static_cast<TDigitalSensors>(ReadEnum(DigitalSensorNames(), className, name, property));
      else if (binding == TSensorBinding::sbPairWhenSensorLabel && SameText(property, "LabelType"))
        bindings.LabelType = static_cast<TLabelType>(ReadEnum(LabelTypeNames(), className, name, property));
      else
        R.SkipValue();
    }
    R.ReadListEnd();
    RegisterBoundSensors(FSensors, binding, bindings.Analog, bindings.Digital, bindings.LabelType);
    while (!R.EndOfList()) ReadRecord(depth + 1, false);
    R.ReadListEnd();
  }

  // An enumeration value as loading reads it: an identifier (or one of the
  // value tags that stand for one) that names a value, case ignored.
  int ReadEnum(const TEnumInfo& names, const std::string& className, const std::string& name,
               const std::string& property) {
    const std::string text = R.ReadIdentText(R.ReadValue()).value_or("");
    const int index = text.empty() ? -1 : names.IndexOf(text);
    if (index < 0)
      throw ESkinLayoutError(ESkinLayoutError::lkBadSkin,
                             "object " + (name.empty() ? className : name) + " (" + className + "): " + property +
                                 (text.empty() ? " is not given as a name" : " = " + text + " is not a sensor"));
    return index;
  }

  TObjectStreamReader R;
  TSensorList FSensors;
};

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The whole file, with the system's reason in English when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) {
    const int error = errno;
    throw ESkinLayoutError(error == ENOENT || error == ENOTDIR ? ESkinLayoutError::lkFileMissing
                                                               : ESkinLayoutError::lkBadSkin,
                           "cannot open skin file " + path + ": " + std::strerror(error));
  }
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  for (;;) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < sizeof chunk) break;
  }
  if (std::ferror(file.get()))
    throw ESkinLayoutError(ESkinLayoutError::lkBadSkin, "cannot read skin file " + path + ": " + std::strerror(errno));
  return bytes;
}

}  // namespace

std::vector<std::string> StreamSensorLayout(std::span<const uint8_t> stream) { return TLayoutWalker(stream).Walk(); }

std::vector<std::string> ReadSkinSensorLayout(const std::string& path) {
  const std::vector<uint8_t> file = ReadWholeFile(path);
  const bool text = EndsWith(path, ".cfg");
  // The stream layer speaks the dashboard's own (French) messages; a host
  // gets a sentence of its own that says which file and what kind of fault.
  auto bad = [&](const std::string& what) {
    return ESkinLayoutError(ESkinLayoutError::lkBadSkin, path + ": " + what);
  };
  try {
    if (text) {
      const std::vector<uint8_t> stream =
          ObjectTextToBinary(std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
      return StreamSensorLayout(stream);
    }
    return StreamSensorLayout(std::span<const uint8_t>(file).subspan(SkipResourceHeader(file)));
  } catch (const ESkinLayoutError& e) {
    throw bad(e.Message());
  } catch (const ESkinTextSyntaxError& e) {
    throw bad("syntax error in the skin's text at line " + std::to_string(e.Line()));
  } catch (const EParserError&) {
    throw bad("the skin's text is in UTF-16: save it as UTF-8");
  } catch (const EStreamEnd&) {
    throw bad("the skin file ends too early (truncated?)");
  } catch (const EReadError&) {
    throw bad(text ? "the skin's text does not describe objects" : "not a binary skin file, or a damaged one");
  }
}
