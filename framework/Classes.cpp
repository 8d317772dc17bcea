#include "Classes.h"

#include <algorithm>

const TClassInfo& TObject::StaticClass() {
  static const TClassInfo info = [] {
    TClassInfo i;
    i.Name = "TObject";
    return i;
  }();
  return info;
}

const TClassInfo& TPersistent::StaticClass() {
  static const TClassInfo info = TClassBuilder<TPersistent>("TPersistent", &TObject::StaticClass()).Build();
  return info;
}

void TPersistent::Assign(const TPersistent& source) {
  throw EConvertError(Format("Impossible d'assigner un %s à un %s", source.ClassName().c_str(), ClassName().c_str()));
}

const TClassInfo& TComponent::StaticClass() {
  static const TClassInfo info = TClassBuilder<TComponent>("TComponent", &TPersistent::StaticClass())
                                     .String("Name", &TComponent::Name, &TComponent::SetName)
                                     .Integer("Tag", &TComponent::Tag, &TComponent::SetTag)
                                     .Build();
  return info;
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::SetName(const std::string& name) {
  if (name == FName) return;
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError(Format("''%s'' n'est pas un nom de composant correct", name.c_str()));
  if (!name.empty() && FOwner) {
    TComponent* other = FOwner->FindComponent(name);
    if (other && other != this) throw EComponentError(Format("Un composant nommé %s existe déjà", name.c_str()));
  }
  FName = name;
}

TComponent* TComponent::FindComponent(std::string_view name) const noexcept {
  if (name.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameText(c->FName, name)) return c;
  return nullptr;
}

void TComponent::SetDesigning(bool value) {
  if (value) FComponentState.Include(csDesigning);
  else FComponentState.Exclude(csDesigning);
}

void TComponent::BeginLoading() {
  FComponentState.Include(csLoading);
  FComponentState.Include(csReading);
}

void TComponent::Loaded() { FComponentState.Exclude(csLoading); }

void TComponent::Notification(TComponent* component, TOperation operation) {
  (void)component;
  (void)operation;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component->FOwner) component->FOwner->RemoveComponent(component);
  FComponents.push_back(component);
  component->FOwner = this;
  for (TComponent* c : FComponents)
    if (c != component) c->Notification(component, opInsert);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(FComponents.begin(), FComponents.end(), component);
  if (it == FComponents.end()) return;
  FComponents.erase(it);
  component->FOwner = nullptr;
  Notification(component, opRemove);
  for (TComponent* c : FComponents) c->Notification(component, opRemove);
}

void TComponent::DestroyComponents() {
  // Last created first, as each destructor unlinks itself from this owner.
  while (!FComponents.empty()) {
    TComponent* last = FComponents.back();
    delete last;  // its destructor calls RemoveComponent
  }
}

TPropValue StoredValueOf(const TPersistent& o, const std::string& key, const TPropValue& initial) {
  for (const auto& [name, value] : o.FStoredValues)
    if (name == key) return value;
  return initial;
}

void SetStoredValueOf(TPersistent& o, const std::string& key, const TPropValue& value) {
  for (auto& [name, stored] : o.FStoredValues)
    if (name == key) {
      stored = value;
      return;
    }
  o.FStoredValues.emplace_back(key, value);
}
