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
