#include "TypInfo.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>

#include "Classes.h"
#include "Colors.h"

const char* PropKindName(TPropKind kind) noexcept {
  switch (kind) {
    case TPropKind::Integer: return "integer";
    case TPropKind::Int64: return "int64";
    case TPropKind::Real: return "real";
    case TPropKind::Extended: return "extended";
    case TPropKind::String: return "string";
    case TPropKind::Enumeration: return "enumeration";
    case TPropKind::Set: return "set";
    case TPropKind::Boolean: return "boolean";
    case TPropKind::Color: return "colour";
    case TPropKind::Object: return "object";
    case TPropKind::Binary: return "binary";
    case TPropKind::Event: return "event";
  }
  return "?";
}

int TEnumInfo::IndexOf(std::string_view name) const noexcept {
  for (size_t i = 0; i < Names.size(); ++i)
    if (SameText(Names[i], name)) return static_cast<int>(i);
  return -1;
}

const TPropInfo* TClassInfo::FindProp(std::string_view name) const noexcept {
  for (const TClassInfo* c = this; c; c = c->Parent)
    for (const TPropInfo& p : c->Props)
      if (SameText(p.Name, name)) return &p;
  return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(std::string_view name) const noexcept {
  for (const TClassInfo* c = this; c; c = c->Parent)
    for (const TMethodInfo& m : c->Methods)
      if (SameText(m.Name, name)) return &m;
  return nullptr;
}

std::vector<const TPropInfo*> TClassInfo::AllProps() const {
  std::vector<const TClassInfo*> chain;
  for (const TClassInfo* c = this; c; c = c->Parent) chain.push_back(c);
  std::vector<const TPropInfo*> out;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    for (const TPropInfo& p : (*it)->Props) {
      // A redeclaration keeps the base's place but takes the derived entry.
      const TPropInfo* effective = FindProp(p.Name);
      bool seen = false;
      for (const TPropInfo* q : out)
        if (SameText(q->Name, p.Name)) seen = true;
      if (!seen) out.push_back(effective);
    }
  }
  return out;
}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const noexcept {
  for (const TClassInfo* c = this; c; c = c->Parent)
    if (c == &other) return true;
  return false;
}

namespace {
struct Registry {
  std::mutex Lock;
  std::vector<const TClassInfo*> Classes;
};
Registry& TheRegistry() {
  static Registry r;
  return r;
}
}  // namespace

void RegisterClass(const TClassInfo& info) {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.Lock);
  for (const TClassInfo* c : r.Classes)
    if (c == &info) return;
  r.Classes.push_back(&info);
}

const TClassInfo* FindClass(std::string_view name) noexcept {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.Lock);
  for (const TClassInfo* c : r.Classes)
    if (SameText(c->Name, name)) return c;
  return nullptr;
}

std::vector<const TClassInfo*> RegisteredClasses() {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.Lock);
  return r.Classes;
}

void UnRegisterAllClasses() {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.Lock);
  r.Classes.clear();
}

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
