#include <gtest/gtest.h>

#include <limits>

#include "Classes.h"
#include "Colors.h"

namespace {

enum TShape { shCircle, shSquare, shTriangle };
enum TFlavour { flSweet, flSour, flBitter };
using TFlavours = TSet<TFlavour>;

const TEnumInfo kShapeNames{"TShape", {"shCircle", "shSquare", "shTriangle"}};
const TEnumInfo kFlavourNames{"TFlavour", {"flSweet", "flSour", "flBitter"}};

class TSub : public TPersistent {
  VELQ_CLASS(TSub)
public:
  int Depth() const { return FDepth; }
  void SetDepth(int v) { FDepth = v; }

private:
  int FDepth = 3;
};

const TClassInfo& TSub::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TSub>("TSub", &TPersistent::StaticClass()).Integer("Depth", &TSub::Depth, &TSub::SetDepth).Build();
  return info;
}

class TWidget : public TComponent {
  VELQ_CLASS(TWidget)
public:
  using TComponent::TComponent;
  int Size() const { return FSize; }
  void SetSize(int v) { FSize = v; }
  TShape Shape() const { return FShape; }
  void SetShape(TShape v) { FShape = v; }
  TFlavours Flavours() const { return FFlavours; }
  void SetFlavours(TFlavours v) { FFlavours = v; }
  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  TSub* Sub() { return &FSub; }
  int ReadOnly() const { return 7; }
  float Level() const { return FLevel; }
  void SetLevel(float v) { FLevel = v; }

private:
  int FSize = 10;
  float FLevel = 0;
  TShape FShape = shSquare;
  TFlavours FFlavours{flSour};
  TColor FColor = clBtnFace;
  TSub FSub;
};

const TClassInfo& TWidget::StaticClass() {
  static const TClassInfo info = TClassBuilder<TWidget>("TWidget", &TComponent::StaticClass())
                                     .Integer("Size", &TWidget::Size, &TWidget::SetSize)
                                     .Enum("Shape", kShapeNames, &TWidget::Shape, &TWidget::SetShape)
                                     .Set("Flavours", kFlavourNames, "TFlavours", &TWidget::Flavours, &TWidget::SetFlavours)
                                     .Color("Color", &TWidget::Color, &TWidget::SetColor)
                                     .Object("Sub", &TWidget::Sub)
                                     .Integer("ReadOnly", &TWidget::ReadOnly, nullptr)
                                     .Real("Level", &TWidget::Level, &TWidget::SetLevel)
                                     .Creatable()
                                     .Build();
  return info;
}

TEST(PropertyTable, ChainsToBaseInDeclarationOrder) {
  std::vector<std::string> names;
  for (const TPropInfo* p : TWidget::StaticClass().AllProps()) names.push_back(p->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Size", "Shape", "Flavours", "Color", "Sub", "ReadOnly", "Level"}));
  EXPECT_EQ(TWidget::StaticClass().FindProp("size"), TWidget::StaticClass().FindProp("SIZE"));
  EXPECT_EQ(TWidget::StaticClass().FindProp("nothing"), nullptr);
  EXPECT_TRUE(TWidget::StaticClass().FindProp("ReadOnly")->IsReadOnly());
}

TEST(PropertyTable, TypedSettersAndGettersRoundTrip) {
  TWidget w(nullptr);
  const TClassInfo& info = w.ClassType();
  info.FindProp("Size")->Setter(w, int64_t{42});
  info.FindProp("Shape")->Setter(w, int64_t{shTriangle});
  info.FindProp("Flavours")->Setter(w, TSetBits{0b101});
  EXPECT_EQ(w.Size(), 42);
  EXPECT_EQ(w.Shape(), shTriangle);
  EXPECT_TRUE(w.Flavours().Contains(flSweet) && w.Flavours().Contains(flBitter) && !w.Flavours().Contains(flSour));
  EXPECT_EQ(std::get<int64_t>(info.FindProp("Size")->Getter(w)), 42);
  // An integer property refuses a value outside its C++ type.
  EXPECT_THROW(info.FindProp("Size")->Setter(w, int64_t{1} << 40), EPropertyError);
  // A real property refuses a finite value beyond its C++ type (whose plain
  // conversion is undefined) and keeps the one it had; infinities pass.
  const TPropInfo* level = info.FindProp("Level");
  level->Setter(w, 2.5L);
  for (long double tooLarge : {1e39L, -1e39L, 1e300L})
    EXPECT_THROW(level->Setter(w, tooLarge), EPropertyError) << static_cast<double>(tooLarge);
  EXPECT_EQ(w.Level(), 2.5f);
  level->Setter(w, 3.4e38L);
  EXPECT_EQ(w.Level(), 3.4e38f);
  level->Setter(w, -std::numeric_limits<long double>::infinity());
  EXPECT_EQ(w.Level(), -std::numeric_limits<float>::infinity());
  level->Setter(w, 1e-60L);  // below the smallest float: rounds to zero, which is defined
  EXPECT_EQ(w.Level(), 0.0f);
  // The sub-object is reached through its getter, with its own table.
  TPersistent* sub = info.FindProp("Sub")->ObjectGetter(w);
  sub->ClassType().FindProp("Depth")->Setter(*sub, int64_t{9});
  EXPECT_EQ(w.Sub()->Depth(), 9);
}

TEST(Component, OwnershipNamesAndDestruction) {
  auto owner = std::make_unique<TComponent>(nullptr);
  auto* a = new TWidget(owner.get());
  auto* b = new TWidget(owner.get());
  a->SetName("Gauge1");
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->Components(0), a);
  EXPECT_EQ(owner->FindComponent("GAUGE1"), a);
  try {
    b->SetName("gauge1");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "Un composant nommé gauge1 existe déjà");
  }
  try {
    b->SetName("1abc");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "''1abc'' n'est pas un nom de composant correct");
  }
  delete a;
  EXPECT_EQ(owner->ComponentCount(), 1);
  owner.reset();  // destroys b; ASan checks there is no double free
}

TEST(Registry, FindsRegisteredClassesIgnoringCase) {
  RegisterClass(TWidget::StaticClass());
  RegisterClass(TWidget::StaticClass());
  EXPECT_EQ(FindClass("twidget"), &TWidget::StaticClass());
  EXPECT_EQ(FindClass("TNothing"), nullptr);
  const std::string dump = VocabularyDump();
  EXPECT_NE(dump.find("TWidget (TComponent)"), std::string::npos);
  EXPECT_NE(dump.find("Shape: TShape [enumeration] (shCircle, shSquare, shTriangle) = shSquare"), std::string::npos);
  EXPECT_NE(dump.find("Flavours: TFlavours [set] (flSweet, flSour, flBitter) = [flSour]"), std::string::npos);
  EXPECT_NE(dump.find("Color: TColor [colour] = clBtnFace"), std::string::npos);
  EXPECT_NE(dump.find("TSub (TPersistent)\n  Depth: Integer [integer]"), std::string::npos);
  UnRegisterAllClasses();
}

TEST(Colors, IdentifiersBothWays) {
  EXPECT_EQ(IdentToColor("clbtnface"), clBtnFace);
  EXPECT_EQ(IdentToColor("clLtGray"), clSilver);
  EXPECT_EQ(ColorToIdent(clSilver), "clSilver");
  EXPECT_EQ(ColorToIdent(RGB(1, 2, 3)), std::nullopt);
  EXPECT_EQ(RGB(0x11, 0x22, 0x33), 0x332211);
  EXPECT_EQ(clWindowText, static_cast<TColor>(0xFF000008));
}

}  // namespace
