// Reading an object stream into live objects through the class registry and
// the property tables.
#include <cmath>
#include <filesystem>

#include "Colors.h"
#include "SkinStream.h"

namespace {

const char* const kInvalidValue = "Valeur de propriété incorrecte";

class TReader {
public:
  TReader(std::span<const uint8_t> stream, TComponent& root, const TReadOptions& options)
      : R(stream), Root(root), Options(options) {}

  void ReadRoot() {
    R.ReadSignature();
    uint8_t flags;
    int64_t position;
    ReadPrefix(Root, flags, position);
    R.ReadStr();  // the root's stored class is ignored: the root already exists
    const std::string stored = R.ReadStr();
    Root.BeginLoading();
    Loaded.push_back(&Root);
    Root.SetName(UniqueRootName(stored));
    Root.ReadingStarted();
    ReadProperties(Root);
    while (!R.EndOfList()) ReadComponent(&Root, 1);
    R.ReadListEnd();

    for (TComponent* c : Loaded) c->EndReading();
    for (TComponent* c : Loaded) c->Loaded();
  }

private:
  std::string UniqueRootName(const std::string& stored) const {
    if (!Options.IsFormNameInUse) return stored;
    std::string name = stored;
    for (int i = 1; Options.IsFormNameInUse(name); ++i) name = Format("%s_%d", stored.c_str(), i);
    return name;
  }

  // A record's prefix. Its child position is a tagged value like a
  // property's: a bad tag there gets the same wrapper, naming the object
  // that encloses the record (the record's own name comes later).
  void ReadPrefix(const TComponent& enclosing, uint8_t& flags, int64_t& position) {
    try {
      R.ReadPrefix(flags, position);
    } catch (const EStreamEnd&) {
      throw;
    } catch (const EInvalidValueTag& e) {
      throw EReadError(Wrapped(enclosing, "", e.Message()));
    } catch (const EReadError&) {
      // A valid tag of another kind than an integer.
      throw EReadError(Wrapped(enclosing, "", kInvalidValue));
    }
  }

  // "Erreur lors de la lecture de %s%s%s: %s": the object's name (its class
  // name when unnamed), then "." and the property path when there is one.
  static std::string Wrapped(const TComponent& instance, const std::string& path, const std::string& message) {
    const std::string owner = instance.Name().empty() ? instance.ClassName() : instance.Name();
    return Format("Erreur lors de la lecture de %s%s%s: %s", owner.c_str(), path.empty() ? "" : ".", path.c_str(),
                  message.c_str());
  }

  void ReadProperties(TComponent& instance) {
    while (!R.EndOfList()) ReadProperty(instance);
    R.ReadListEnd();
  }

  void ReadComponent(TComponent* parent, int depth) {
    if (depth > kMaxNesting) throw EReadError("Erreur de lecture du flux");
    uint8_t flags;
    int64_t position;
    ReadPrefix(*parent, flags, position);
    const std::string className = R.ReadStr();
    const std::string name = R.ReadStr();
    const TClassInfo* info = Options.FindClass ? Options.FindClass(className) : FindClass(className);
    if (!info || !info->Create) throw EClassNotFound(Format("Classe %s non trouvée", className.c_str()));
    TComponent* component = info->Create(&Root);
    component->BeginLoading();
    Loaded.push_back(component);
    component->SetName(name);
    component->SetParentComponent(parent);
    component->ReadingStarted();
    ReadProperties(*component);
    while (!R.EndOfList()) ReadComponent(component, depth + 1);
    R.ReadListEnd();
  }

  void ReadProperty(TComponent& instance) {
    const std::string path = R.ReadStr();
    try {
      TPersistent* target = &instance;
      size_t start = 0;
      for (;;) {
        const size_t dot = path.find('.', start);
        const std::string segment = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        const TPropInfo* prop = target->ClassType().FindProp(segment);
        if (!prop) throw EPropertyError(Format("La propriété %s n'existe pas", segment.c_str()));
        if (dot == std::string::npos) {
          ApplyValue(*target, *prop);
          return;
        }
        TPersistent* next = prop->Kind == TPropKind::Object && prop->ObjectGetter ? prop->ObjectGetter(*target) : nullptr;
        if (!next) throw EPropertyError(Format("La propriété %s n'existe pas", path.substr(dot + 1).c_str()));
        target = next;
        start = dot + 1;
      }
    } catch (const EStreamEnd&) {
      // The stream ended inside the value: that is the stream's fault, not
      // the property's, and is reported as such.
      throw;
    } catch (const Exception& e) {
      throw EReadError(Wrapped(instance, path, e.Message()));
    }
  }

  [[noreturn]] static void Invalid() { throw EPropertyError(kInvalidValue); }

  static bool IsIntegerTag(TValueType t) { return t == vaInt8 || t == vaInt16 || t == vaInt32; }

  std::string ReadIdentValue(TValueType tag) {
    std::optional<std::string> text = R.ReadIdentText(tag);
    if (!text) Invalid();
    return std::move(*text);
  }

  // Reads the value that follows and hands it to the property's setter,
  // converted to the property's kind.
  void ApplyValue(TPersistent& target, const TPropInfo& prop) {
    const TValueType tag = R.ReadValue();
    if (prop.Kind == TPropKind::Object) Invalid();
    TPropValue value;
    switch (prop.Kind) {
      case TPropKind::Integer:
        if (tag == vaIdent && prop.IntIdents) {
          const auto v = prop.IntIdents(R.ReadStr());
          if (!v) Invalid();
          value = *v;
          break;
        }
        if (!IsIntegerTag(tag)) Invalid();
        value = R.ReadIntegerPayload(tag);
        break;
      case TPropKind::Int64:
        if (!IsIntegerTag(tag) && tag != vaInt64) Invalid();
        value = R.ReadIntegerPayload(tag);
        break;
      case TPropKind::Color:
        if (tag == vaIdent) {
          const auto color = IdentToColor(R.ReadStr());
          if (!color) Invalid();
          value = int64_t{*color};
        } else if (IsIntegerTag(tag)) {
          value = R.ReadIntegerPayload(tag);
        } else {
          Invalid();
        }
        break;
      case TPropKind::Real:
      case TPropKind::Extended:
        if (tag == vaExtended) value = R.ReadExtendedPayload();
        else if (IsIntegerTag(tag) || tag == vaInt64) value = static_cast<long double>(R.ReadIntegerPayload(tag));
        else Invalid();
        break;
      case TPropKind::String:
        if (tag == vaString || tag == vaLString) value = Cp1252ToUtf8(R.ReadBytesString(tag));
        else if (tag == vaUTF8String) value = R.ReadBytesString(tag);
        else if (tag == vaWString) value = Utf16ToUtf8(R.ReadWideString());
        else Invalid();
        break;
      case TPropKind::Boolean:
      case TPropKind::Enumeration: {
        const int index = prop.Enum ? prop.Enum->IndexOf(ReadIdentValue(tag)) : -1;
        if (index < 0) Invalid();
        if (prop.Kind == TPropKind::Boolean) value = index != 0;
        else value = int64_t{index};
        break;
      }
      case TPropKind::Set: {
        if (tag != vaSet) Invalid();
        uint64_t bits = 0;
        for (std::string element = R.ReadStr(); !element.empty(); element = R.ReadStr()) {
          const int index = prop.Enum ? prop.Enum->IndexOf(element) : -1;
          if (index < 0 || index >= 64) Invalid();
          bits |= uint64_t{1} << index;
        }
        value = TSetBits{bits};
        break;
      }
      case TPropKind::Binary: {
        if (tag != vaBinary) Invalid();
        const uint32_t count = R.ReadUInt32();
        auto bytes = R.ReadSpan(count);
        value = std::vector<uint8_t>(bytes.begin(), bytes.end());
        break;
      }
      case TPropKind::Event: {
        TBoundMethod method;
        if (tag != vaNil) {
          if (tag != vaIdent) Invalid();
          const std::string name = R.ReadStr();
          const TMethodInfo* m = Root.ClassType().FindMethod(name);
          if (!m || m->Signature != prop.EventType) Invalid();
          method.Name = m->Name;
          method.Signature = m->Signature;
          method.Function = m->Bind(Root);
        }
        value = std::move(method);
        break;
      }
      case TPropKind::Object:
        Invalid();
    }
    if (prop.IsReadOnly()) throw EPropertyError("Propriété en lecture seule");
    prop.Setter(target, value);
  }

  TObjectStreamReader R;
  TComponent& Root;
  const TReadOptions& Options;
  std::vector<TComponent*> Loaded;
};

}  // namespace

void ReadRootComponent(std::span<const uint8_t> stream, TComponent& root, const TReadOptions& options) {
  TReader(stream, root, options).ReadRoot();
}

std::vector<uint8_t> ReadTextSkinFile(const std::string& path) {
  const std::vector<uint8_t> text = ReadFileBytes(path);
  return ObjectTextToBinary(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
}

bool SkinTextIsNewer(const std::string& binaryPath) {
  std::error_code error;
  const auto binaryTime = std::filesystem::last_write_time(binaryPath, error);
  if (error) return false;
  const auto textTime = std::filesystem::last_write_time(ChangeFileExt(binaryPath, ".cfg"), error);
  return !error && textTime > binaryTime;
}

void ReadSkinFile(const std::string& path, TComponent& root, const TReadOptions& options) {
  const std::vector<uint8_t> file = ReadFileBytes(path);
  const size_t start = SkipResourceHeader(file);
  ReadRootComponent(std::span<const uint8_t>(file).subspan(start), root, options);
}
