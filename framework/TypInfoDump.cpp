// The vocabulary dump (skinconv --vocabulary): every registered class with
// its properties, kinds, values and defaults. It creates an instance of each
// class to read the defaults, so it lives with the component model rather
// than in the base the light host library is built on.
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Classes.h"
#include "Colors.h"
#include "TypInfo.h"

namespace {
std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char ch : s) {
    out += ch;
    if (ch == '\'') out += '\'';
  }
  return out + "'";
}

std::string ValueText(const TPropInfo& p, const TPropValue& v) {
  switch (p.Kind) {
    case TPropKind::Integer:
    case TPropKind::Int64:
      return std::to_string(std::get<int64_t>(v));
    case TPropKind::Color: {
      const auto c = static_cast<TColor>(std::get<int64_t>(v));
      if (auto ident = ColorToIdent(c)) return *ident;
      return std::to_string(c);
    }
    case TPropKind::Real:
    case TPropKind::Extended: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.6Lg", std::get<long double>(v));
      return buf;
    }
    case TPropKind::String:
      return Quote(std::get<std::string>(v));
    case TPropKind::Boolean:
      return std::get<bool>(v) ? "True" : "False";
    case TPropKind::Enumeration: {
      const int64_t ord = std::get<int64_t>(v);
      if (p.Enum && ord >= 0 && ord < static_cast<int64_t>(p.Enum->Names.size())) return p.Enum->Names[size_t(ord)];
      return std::to_string(ord);
    }
    case TPropKind::Set: {
      std::string out = "[";
      const uint64_t bits = std::get<TSetBits>(v).Bits;
      bool first = true;
      for (size_t i = 0; p.Enum && i < p.Enum->Names.size() && i < 64; ++i)
        if (bits & (uint64_t{1} << i)) {
          out += (first ? "" : ", ") + p.Enum->Names[i];
          first = false;
        }
      return out + "]";
    }
    case TPropKind::Binary:
      return "{" + std::to_string(std::get<std::vector<uint8_t>>(v).size()) + " bytes}";
    case TPropKind::Event:
    case TPropKind::Object:
      return "";
  }
  return "";
}

void DumpClass(std::string& out, const TClassInfo& info, TPersistent* instance, std::vector<const TClassInfo*>& pending,
               std::set<const TClassInfo*>& done) {
  out += info.Name;
  if (info.Parent) out += " (" + info.Parent->Name + ")";
  out += "\n";
  for (const TPropInfo* p : info.AllProps()) {
    out += "  " + p->Name + ": " + p->TypeName + " [" + PropKindName(p->Kind) + "]";
    if ((p->Kind == TPropKind::Enumeration || p->Kind == TPropKind::Set) && p->Enum) {
      out += " (";
      for (size_t i = 0; i < p->Enum->Names.size(); ++i) out += (i ? ", " : "") + p->Enum->Names[i];
      out += ")";
    }
    if (p->IsReadOnly() && p->Kind != TPropKind::Object) out += " read-only";
    if (p->Kind == TPropKind::Event) {
      out += " = nil";
    } else if (p->Kind == TPropKind::Object) {
      if (p->ObjectClass && !done.count(p->ObjectClass)) {
        done.insert(p->ObjectClass);
        pending.push_back(p->ObjectClass);
      }
    } else if (instance && p->Getter) {
      try {
        out += " = " + ValueText(*p, p->Getter(*instance));
      } catch (const std::exception&) {
      }
    }
    out += "\n";
  }
  for (const TClassInfo* c = &info; c; c = c->Parent)
    for (const TMethodInfo& m : c->Methods) out += "  method " + m.Name + "\n";
}
}  // namespace

std::string VocabularyDump() {
  std::string out;
  std::vector<const TClassInfo*> pending = RegisteredClasses();
  std::set<const TClassInfo*> done(pending.begin(), pending.end());
  for (size_t i = 0; i < pending.size(); ++i) {
    const TClassInfo& info = *pending[i];
    std::unique_ptr<TComponent> instance;
    if (info.Create) {
      try {
        instance.reset(info.Create(nullptr));
      } catch (const std::exception&) {
      }
    }
    if (i) out += "\n";
    DumpClass(out, info, instance.get(), pending, done);
  }
  return out;
}
