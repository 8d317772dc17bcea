// Published-property tables, published-method tables and the class registry.
//
// Every streamable class declares its published properties once, statically,
// in declaration order, chained to its base class's table (TClassInfo::Parent).
// A property has a kind, the names of its enumeration or set elements, and a
// type-checked setter and getter built from member-function pointers by
// TClassBuilder<C>; nothing is cast through void pointers. The skin reader
// sets properties by name through these tables, tools read them back.
//
// Thread rules: tables are immutable after construction (function-local
// statics, built on first use). The class registry is process-wide and
// guarded by a mutex; registration normally happens once at start-up.
// Errors: setters raise whatever the class's setter raises; the generic
// conversion helpers raise EPropertyError with "Valeur de propriété incorrecte".
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <variant>
#include <vector>

#include "SysUtils.h"

class TPersistent;
class TComponent;
struct TClassInfo;

enum class TPropKind {
  Integer,      // 32-bit signed
  Int64,        // 64-bit signed
  Real,         // 64-bit floating point
  Extended,     // 80-bit extended
  String,
  Enumeration,  // one of a list of value names
  Set,          // a subset of an enumeration's names
  Boolean,
  Color,        // TColor: an integer or a cl* identifier
  Object,       // an owned sub-object reached by dotted paths
  Binary,       // raw bytes (the Data of bitmaps and pictures)
  Event,        // a published method of the root, or nil
};

const char* PropKindName(TPropKind kind) noexcept;

// Value names of an enumeration (also the element names of a set type).
struct TEnumInfo {
  std::string TypeName;
  std::vector<std::string> Names;
  // Index of a name compared without regard to ASCII case, or -1.
  int IndexOf(std::string_view name) const noexcept;
};

// A set value as a bit mask over element ordinals.
struct TSetBits {
  uint64_t Bits = 0;
  bool operator==(const TSetBits&) const = default;
};

// An event value: a published method bound to its object, or nil.
struct TBoundMethod {
  std::string Name;                        // empty for nil
  std::type_index Signature = typeid(void);
  std::any Function;                       // holds a std::function of Signature
  bool IsNil() const noexcept { return Name.empty(); }
};

// The canonical value of each kind:
// Integer/Int64/Enumeration/Color -> int64_t, Real/Extended -> long double,
// String -> std::string (UTF-8), Boolean -> bool, Set -> TSetBits,
// Binary -> std::vector<uint8_t>, Event -> TBoundMethod.
using TPropValue = std::variant<std::monostate, int64_t, long double, std::string, bool, TSetBits,
                                std::vector<uint8_t>, TBoundMethod>;

struct TPropInfo {
  std::string Name;
  TPropKind Kind = TPropKind::Integer;
  std::string TypeName;                       // for the vocabulary dump
  const TEnumInfo* Enum = nullptr;            // Enumeration, Set, Boolean
  const TClassInfo* ObjectClass = nullptr;    // Object
  std::type_index EventType = typeid(void);   // Event
  std::function<void(TPersistent&, const TPropValue&)> Setter;  // empty: read-only
  std::function<TPropValue(const TPersistent&)> Getter;
  std::function<TPersistent*(TPersistent&)> ObjectGetter;        // Object
  // Integer properties that also accept identifiers (crHandPoint...).
  std::function<std::optional<int64_t>(std::string_view)> IntIdents;
  bool IsReadOnly() const noexcept { return !Setter; }
};

struct TMethodInfo {
  std::string Name;
  std::type_index Signature = typeid(void);
  std::function<std::any(TPersistent&)> Bind;  // a std::function bound to the object
};

struct TClassInfo {
  std::string Name;
  const TClassInfo* Parent = nullptr;
  std::vector<TPropInfo> Props;     // this class's own, in declaration order
  std::vector<TMethodInfo> Methods; // this class's own published methods, in order
  // Creates an instance owned by `owner`; empty for classes that are not
  // created by name (sub-objects, abstract bases).
  std::function<TComponent*(TComponent* owner)> Create;

  // Lookup by name without regard to ASCII case; a redeclaration in a
  // derived class hides the base's entry.
  const TPropInfo* FindProp(std::string_view name) const noexcept;
  const TMethodInfo* FindMethod(std::string_view name) const noexcept;
  // Every property, base classes first, each class in declaration order,
  // redeclared properties listed once at their first place.
  std::vector<const TPropInfo*> AllProps() const;
  bool InheritsFrom(const TClassInfo& other) const noexcept;
};

// ---- class registry ---------------------------------------------------------
// Registering a class twice keeps the first registration (idempotent).
void RegisterClass(const TClassInfo& info);
const TClassInfo* FindClass(std::string_view name) noexcept;  // nullptr when absent
std::vector<const TClassInfo*> RegisteredClasses();          // in registration order
void UnRegisterAllClasses();  // for tests

// Vocabulary dump: every registered class (and every sub-object class they
// reach) with its properties in declaration order, kinds, element names and
// defaults (read from a freshly created instance where the class can be
// created), and its published methods.
std::string VocabularyDump();

// The signature of events that are stored but never fired: no published
// method has it, so skins can only set such events to nil.
struct TStoredEvent {};
// Storage of the stored-only properties (defined with TPersistent).
TPropValue StoredValueOf(const TPersistent& o, const std::string& key, const TPropValue& initial);
void SetStoredValueOf(TPersistent& o, const std::string& key, const TPropValue& value);

// ---- builder -----------------------------------------------------------------
namespace typinfo_detail {
template <class T> struct MemberArg;
template <class X, class A> struct MemberArg<void (X::*)(A)> { using type = std::remove_cvref_t<A>; };
template <class X, class A> struct MemberArg<void (X::*)(A) noexcept> { using type = std::remove_cvref_t<A>; };

template <class F> struct MethodFunction;
template <class X, class R, class... A> struct MethodFunction<R (X::*)(A...)> {
  using type = std::function<R(A...)>;
};

template <class T> T CheckedIntCast(int64_t v) {
  if constexpr (sizeof(T) < sizeof(int64_t)) {
    if (v < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
        v > static_cast<int64_t>(std::numeric_limits<T>::max()))
      throw EPropertyError("Valeur de propriété incorrecte");
  }
  return static_cast<T>(v);
}

// A real narrowed to the property's type: a finite value beyond its range
// (1e39 for a float) is refused as an integer out of range is, since the
// plain conversion is undefined; infinities and NaN convert as they are.
template <class T> T CheckedRealCast(long double v) {
  if constexpr (std::is_floating_point_v<T> && sizeof(T) < sizeof(long double)) {
    if (v == v && v != std::numeric_limits<long double>::infinity() &&
        v != -std::numeric_limits<long double>::infinity() &&
        (v > static_cast<long double>(std::numeric_limits<T>::max()) ||
         v < static_cast<long double>(std::numeric_limits<T>::lowest())))
      throw EPropertyError("Valeur de propriété incorrecte");
  }
  return static_cast<T>(v);
}
}  // namespace typinfo_detail

// Builds the table of class C (derived from TPersistent). Getters are const
// member functions; setters are member functions taking the value; pass
// nullptr as the setter of a read-only property.
template <class C>
class TClassBuilder {
public:
  TClassBuilder(std::string name, const TClassInfo* parent) {
    FInfo.Name = std::move(name);
    FInfo.Parent = parent;
  }

  template <class G, class S> TClassBuilder& Integer(std::string name, G get, S set) {
    return IntegerKind(TPropKind::Integer, "Integer", std::move(name), get, set);
  }
  template <class G, class S> TClassBuilder& Int64(std::string name, G get, S set) {
    return IntegerKind(TPropKind::Int64, "Int64", std::move(name), get, set);
  }
  template <class G, class S> TClassBuilder& Color(std::string name, G get, S set) {
    return IntegerKind(TPropKind::Color, "TColor", std::move(name), get, set);
  }

  template <class G, class S> TClassBuilder& Real(std::string name, G get, S set) {
    return RealKind(TPropKind::Real, "Double", std::move(name), get, set);
  }
  template <class G, class S> TClassBuilder& Extended(std::string name, G get, S set) {
    return RealKind(TPropKind::Extended, "Extended", std::move(name), get, set);
  }

  template <class G, class S> TClassBuilder& String(std::string name, G get, S set) {
    TPropInfo p = Base(TPropKind::String, "string", std::move(name));
    p.Getter = [get](const TPersistent& o) -> TPropValue { return std::string(std::invoke(get, Self(o))); };
    if constexpr (!std::is_null_pointer_v<S>)
      p.Setter = [set](TPersistent& o, const TPropValue& v) { std::invoke(set, Self(o), std::get<std::string>(v)); };
    return Add(std::move(p));
  }

  template <class G, class S> TClassBuilder& Boolean(std::string name, G get, S set) {
    TPropInfo p = Base(TPropKind::Boolean, "Boolean", std::move(name));
    p.Enum = &BooleanNames();
    p.Getter = [get](const TPersistent& o) -> TPropValue { return static_cast<bool>(std::invoke(get, Self(o))); };
    if constexpr (!std::is_null_pointer_v<S>)
      p.Setter = [set](TPersistent& o, const TPropValue& v) { std::invoke(set, Self(o), std::get<bool>(v)); };
    return Add(std::move(p));
  }

  // An enumeration whose C++ type E (deduced from the getter) has the
  // ordinals 0..Names.size()-1 in the order of `names`.
  template <class G, class S> TClassBuilder& Enum(std::string name, const TEnumInfo& names, G get, S set) {
    using E = std::remove_cvref_t<std::invoke_result_t<G, const C&>>;
    TPropInfo p = Base(TPropKind::Enumeration, names.TypeName, std::move(name));
    p.Enum = &names;
    p.Getter = [get](const TPersistent& o) -> TPropValue {
      return static_cast<int64_t>(std::invoke(get, Self(o)));
    };
    if constexpr (!std::is_null_pointer_v<S>)
      p.Setter = [set](TPersistent& o, const TPropValue& v) {
        std::invoke(set, Self(o), static_cast<E>(std::get<int64_t>(v)));
      };
    return Add(std::move(p));
  }

  // A set over the elements `names`; its C++ type (deduced from the getter)
  // converts to and from TSetBits through Bits()/FromBits().
  template <class G, class S> TClassBuilder& Set(std::string name, const TEnumInfo& names, std::string typeName, G get, S set) {
    using T = std::remove_cvref_t<std::invoke_result_t<G, const C&>>;
    TPropInfo p = Base(TPropKind::Set, std::move(typeName), std::move(name));
    p.Enum = &names;
    p.Getter = [get](const TPersistent& o) -> TPropValue { return TSetBits{std::invoke(get, Self(o)).Bits()}; };
    if constexpr (!std::is_null_pointer_v<S>)
      p.Setter = [set](TPersistent& o, const TPropValue& v) {
        std::invoke(set, Self(o), T::FromBits(std::get<TSetBits>(v).Bits));
      };
    return Add(std::move(p));
  }

  // An owned sub-object (Font, Bevel, Glyph...), reached by dotted paths.
  template <class G> TClassBuilder& Object(std::string name, G get) {
    using P = std::remove_pointer_t<std::remove_cvref_t<std::invoke_result_t<G, C&>>>;
    TPropInfo p = Base(TPropKind::Object, "", std::move(name));
    p.ObjectClass = &P::StaticClass();
    p.TypeName = p.ObjectClass->Name;
    p.ObjectGetter = [get](TPersistent& o) -> TPersistent* { return std::invoke(get, static_cast<C&>(o)); };
    return Add(std::move(p));
  }

  // Raw bytes; the setter takes std::span<const uint8_t>.
  template <class G, class S> TClassBuilder& Binary(std::string name, G get, S set) {
    TPropInfo p = Base(TPropKind::Binary, "binary", std::move(name));
    if constexpr (!std::is_null_pointer_v<G>)
      p.Getter = [get](const TPersistent& o) -> TPropValue { return std::vector<uint8_t>(std::invoke(get, Self(o))); };
    if constexpr (!std::is_null_pointer_v<S>)
      p.Setter = [set](TPersistent& o, const TPropValue& v) {
        const auto& bytes = std::get<std::vector<uint8_t>>(v);
        std::invoke(set, Self(o), std::span<const uint8_t>(bytes.data(), bytes.size()));
      };
    return Add(std::move(p));
  }

  // An event; the setter takes a std::function type F. The reader accepts
  // only published methods whose signature is exactly F.
  template <class S> TClassBuilder& Event(std::string name, std::string typeName, S set) {
    using F = typename typinfo_detail::MemberArg<S>::type;
    TPropInfo p = Base(TPropKind::Event, std::move(typeName), std::move(name));
    p.EventType = typeid(F);
    p.Setter = [set](TPersistent& o, const TPropValue& v) {
      const auto& m = std::get<TBoundMethod>(v);
      if (m.IsNil() || !m.Function.has_value()) std::invoke(set, static_cast<C&>(o), F{});
      else std::invoke(set, static_cast<C&>(o), std::any_cast<F>(m.Function));
    };
    return Add(std::move(p));
  }

  // A published method; skins name it in event properties.
  template <class M> TClassBuilder& Method(std::string name, M method) {
    using F = typename typinfo_detail::MethodFunction<M>::type;
    TMethodInfo m;
    m.Name = std::move(name);
    m.Signature = typeid(F);
    m.Bind = [method](TPersistent& o) -> std::any {
      C* self = &static_cast<C&>(o);
      return F([self, method](auto&&... args) { return (self->*method)(std::forward<decltype(args)>(args)...); });
    };
    FInfo.Methods.push_back(std::move(m));
    return *this;
  }

  // A property kept only so that skins may set it: the value is stored in
  // the object (TPersistent::StoredValue) and has no other effect.
  TClassBuilder& Stored(std::string name, TPropKind kind, std::string typeName, const TEnumInfo* names = nullptr,
                        TPropValue initial = {}) {
    TPropInfo p = Base(kind, std::move(typeName), std::move(name));
    p.Enum = kind == TPropKind::Boolean ? &BooleanNames() : names;
    if (kind == TPropKind::Event) p.EventType = typeid(TStoredEvent);
    const std::string key = p.Name;
    p.Getter = [key, initial](const TPersistent& o) -> TPropValue { return StoredValueOf(o, key, initial); };
    p.Setter = [key](TPersistent& o, const TPropValue& v) { SetStoredValueOf(o, key, v); };
    return Add(std::move(p));
  }

  // Copies the named entries of another table (a catalogue of standard
  // properties whose accessors work on a base class of C), in the order given.
  TClassBuilder& Import(const TClassInfo& catalogue, std::initializer_list<std::string_view> names) {
    for (std::string_view n : names) {
      const TPropInfo* p = catalogue.FindProp(n);
      if (!p) throw std::logic_error("no standard property " + std::string(n));
      Add(*p);
    }
    return *this;
  }

  // Lets the property added last also take identifiers mapped to integers.
  TClassBuilder& WithIdents(std::function<std::optional<int64_t>(std::string_view)> idents) {
    FInfo.Props.back().IntIdents = std::move(idents);
    return *this;
  }

  // Classes that the reader may create by name.
  TClassBuilder& Creatable() {
    FInfo.Create = [](TComponent* owner) -> TComponent* { return new C(owner); };
    return *this;
  }

  TClassInfo Build() { return std::move(FInfo); }

private:
  static const C& Self(const TPersistent& o) { return static_cast<const C&>(o); }
  static C& Self(TPersistent& o) { return static_cast<C&>(o); }

  static const TEnumInfo& BooleanNames() {
    static const TEnumInfo names{"Boolean", {"False", "True"}};
    return names;
  }

  TPropInfo Base(TPropKind kind, std::string typeName, std::string name) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = kind;
    p.TypeName = std::move(typeName);
    return p;
  }

  template <class G, class S>
  TClassBuilder& IntegerKind(TPropKind kind, const char* typeName, std::string name, G get, S set) {
    TPropInfo p = Base(kind, typeName, std::move(name));
    p.Getter = [get](const TPersistent& o) -> TPropValue { return static_cast<int64_t>(std::invoke(get, Self(o))); };
    if constexpr (!std::is_null_pointer_v<S>) {
      using A = typename typinfo_detail::MemberArg<S>::type;
      p.Setter = [set](TPersistent& o, const TPropValue& v) {
        std::invoke(set, Self(o), typinfo_detail::CheckedIntCast<A>(std::get<int64_t>(v)));
      };
    }
    return Add(std::move(p));
  }

  template <class G, class S>
  TClassBuilder& RealKind(TPropKind kind, const char* typeName, std::string name, G get, S set) {
    TPropInfo p = Base(kind, typeName, std::move(name));
    p.Getter = [get](const TPersistent& o) -> TPropValue { return static_cast<long double>(std::invoke(get, Self(o))); };
    if constexpr (!std::is_null_pointer_v<S>) {
      using A = typename typinfo_detail::MemberArg<S>::type;
      p.Setter = [set](TPersistent& o, const TPropValue& v) {
        std::invoke(set, Self(o), typinfo_detail::CheckedRealCast<A>(std::get<long double>(v)));
      };
    }
    return Add(std::move(p));
  }

  TClassBuilder& Add(TPropInfo p) {
    FInfo.Props.push_back(std::move(p));
    return *this;
  }

  TClassInfo FInfo;
};
