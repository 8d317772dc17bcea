// The component model: TObject, TPersistent, TComponent and small value types.
//
// A TComponent owns the components created with it as owner, keeps them in
// creation order and destroys them (last first) when it is destroyed. Names
// are identifiers unique among the owner's components (ASCII case ignored).
// Every class that takes part in streaming declares VELQ_CLASS(...) and
// defines StaticClass() with a TClassBuilder (TypInfo.h).
//
// Thread rules: components belong to the user-interface thread.
// Errors: SetName raises EComponentError with the system's messages.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "TypInfo.h"

// Declares the class's property table accessor and its virtual ClassType().
#define VELQ_CLASS(Cls)                                                        \
public:                                                                        \
  static const TClassInfo& StaticClass();                                      \
  const TClassInfo& ClassType() const override { return Cls::StaticClass(); } \
                                                                               \
private:

// A set of enumeration values of type E (ordinals below 64).
template <class E>
class TSet {
public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values) FBits |= Bit(v);
  }
  constexpr bool Contains(E v) const noexcept { return (FBits & Bit(v)) != 0; }
  constexpr TSet& Include(E v) noexcept { FBits |= Bit(v); return *this; }
  constexpr TSet& Exclude(E v) noexcept { FBits &= ~Bit(v); return *this; }
  constexpr bool Empty() const noexcept { return FBits == 0; }
  constexpr uint64_t Bits() const noexcept { return FBits; }
  static constexpr TSet FromBits(uint64_t bits) noexcept { TSet s; s.FBits = bits; return s; }
  constexpr bool operator==(const TSet&) const = default;
  constexpr TSet operator+(const TSet& o) const noexcept { return FromBits(FBits | o.FBits); }
  constexpr TSet operator-(const TSet& o) const noexcept { return FromBits(FBits & ~o.FBits); }

private:
  static constexpr uint64_t Bit(E v) noexcept { return uint64_t{1} << static_cast<unsigned>(v); }
  uint64_t FBits = 0;
};

class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
  static const TClassInfo& StaticClass();
  virtual const TClassInfo& ClassType() const { return StaticClass(); }
  const std::string& ClassName() const { return ClassType().Name; }
  bool InheritsFrom(const TClassInfo& info) const { return ClassType().InheritsFrom(info); }
};

// The plain event: "something happened to Sender".
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TPersistent : public TObject {
  VELQ_CLASS(TPersistent)
public:
  // Copies the state of `source`; the base raises "Impossible d'assigner un
  // %s à un %s" (source class, own class) like the classic framework.
  virtual void Assign(const TPersistent& source);

private:
  friend TPropValue StoredValueOf(const TPersistent&, const std::string&, const TPropValue&);
  friend void SetStoredValueOf(TPersistent&, const std::string&, const TPropValue&);
  // Values of stored-only properties that a skin has set.
  std::vector<std::pair<std::string, TPropValue>> FStoredValues;
};

enum TComponentStateFlag { csLoading, csReading, csWriting, csDestroying, csDesigning, csAncestor, csUpdating, csFixups, csInline };
using TComponentState = TSet<TComponentStateFlag>;

enum TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
  VELQ_CLASS(TComponent)
public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  const std::string& Name() const noexcept { return FName; }
  // Checks that the name is an identifier (or empty) and unique among the
  // owner's components.
  virtual void SetName(const std::string& name);
  int Tag() const noexcept { return FTag; }
  void SetTag(int tag) { FTag = tag; }

  TComponent* Owner() const noexcept { return FOwner; }
  int ComponentCount() const noexcept { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const { return FComponents.at(static_cast<size_t>(index)); }
  const std::vector<TComponent*>& ComponentList() const noexcept { return FComponents; }
  TComponent* FindComponent(std::string_view name) const noexcept;

  const TComponentState& ComponentState() const noexcept { return FComponentState; }
  void SetDesigning(bool value);
  // Marks the start of reading (csLoading + csReading); the reader calls it.
  void BeginLoading();
  void EndReading() { FComponentState.Exclude(csReading); }
  // The after-loading notification: clears csLoading. Overrides call the base.
  virtual void Loaded();

  // Called by the reader before it applies the stored properties.
  virtual void ReadingStarted() {}

  // Streaming puts children on the enclosing object; controls override these.
  virtual bool HasParent() const { return false; }
  virtual void SetParentComponent(TComponent* /*parent*/) {}
  virtual TComponent* GetParentComponent() const { return nullptr; }

  // Called on every owned component when a component is added or removed.
  virtual void Notification(TComponent* component, TOperation operation);

  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  void DestroyComponents();

protected:
  void Destroying() { FComponentState.Include(csDestroying); }
  TComponentState FComponentState;

private:
  std::string FName;
  int FTag = 0;
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
};
