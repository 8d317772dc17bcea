#include "SkinImplClock.h"

const TClassInfo& TSkinClock::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TSkinClock>("TSkinClock", &TGaugeClock::StaticClass()).Creatable().Build();
  return info;
}

TSkinClock::TSkinClock(TComponent* owner) : TGaugeClock(owner) {}

void TSkinClock::WriteState(TSkinStateWriter& out) const {
  out.Text("text", ShownText());
  if (const std::string_view amPm = AmPmShown(); !amPm.empty()) out.Text("ampm", amPm);
}
