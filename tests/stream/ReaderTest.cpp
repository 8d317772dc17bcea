// Reading object streams into live objects.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "SkinStream.h"
#include "StreamTestClasses.h"

namespace {

class Reader : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterTestClasses();
    SetterLog().clear();
    Root = std::make_unique<TTestForm>(nullptr);
  }

  void Read(const std::string& text, const TReadOptions& options = {}) {
    ReadRootComponent(ObjectTextToBinary(text), *Root, options);
  }

  std::string ReadError(const std::string& text) {
    try {
      Read(text);
    } catch (const Exception& e) {
      return e.Message();
    }
    return "(no error)";
  }

  TTestGauge* Gauge(int i) { return dynamic_cast<TTestGauge*>(Root->Components(i)); }

  std::unique_ptr<TTestForm> Root;
};

TEST_F(Reader, AppliesPropertiesInFileOrderThenLoadsEverything) {
  Read(R"(object Dash: TAnyClassName
  Width = 3
  Width = 5
  OnCreate = FormCreate
  object G1: TTestGauge
    Left = 1
    Glyph.Depth = 4
    Left = 2
    object G2: TTestGauge
      Left = 9
    end
  end
end)");
  EXPECT_EQ(Root->Name(), "Dash");
  EXPECT_EQ(SetterLog(), (std::vector<std::string>{"Dash.Width=3", "Dash.Width=5", "G1.Left=1", "Data.Depth=4",
                                                   "G1.Left=2", "G2.Left=9", "Dash.Loaded", "G1.Loaded", "G2.Loaded"}));
  ASSERT_EQ(Root->ComponentCount(), 2);
  // Every child is owned by the root; its parent is the enclosing object.
  EXPECT_EQ(Gauge(0)->FParent, Root.get());
  EXPECT_EQ(Gauge(1)->FParent, Gauge(0));
  EXPECT_FALSE(Gauge(1)->ComponentState().Contains(csLoading));
  ASSERT_TRUE(Root->FOnCreate);
  Root->FOnCreate(Root.get());
  EXPECT_EQ(Root->FCreated, 1);
}

TEST_F(Reader, ConvertsEveryValueKind) {
  Read(R"(object Dash: TSkinForm
  object G: TTestGauge
    Big = 4294967296
    MaxValue = 8000.5
    Ratio = 3
    Caption = 'caf'#233' '#937
    AnalogSensor = IA3
    Style = [fsBold, fsUnderline]
    Visible = False
    Color = clBtnFace
    Glyph.Data = {0102}
    OnClick = FormCreate
    OnClose = FormClose
  end
end)");
  TTestGauge* g = Gauge(0);
  EXPECT_EQ(g->Big(), 4294967296);
  EXPECT_EQ(g->MaxValue(), 8000.5L);
  EXPECT_EQ(g->Ratio(), 3.0);
  EXPECT_EQ(g->Caption(), "caf\xC3\xA9 \xCE\xA9");
  EXPECT_EQ(g->Sensor(), ia3);
  EXPECT_EQ(g->Style(), (TStyles{fsBold, fsUnderline}));
  EXPECT_FALSE(g->Visible());
  EXPECT_EQ(g->Color(), static_cast<TColor>(0xFF00000F));
  EXPECT_EQ(g->Glyph()->Data(), (std::vector<uint8_t>{1, 2}));
  ASSERT_TRUE(g->FOnClick && g->FOnClose);
  int action = 0;
  g->FOnClose(g, action);
  EXPECT_EQ(action, 2);
}

TEST_F(Reader, ErrorMessagesCarryTheSystemsWording) {
  struct Case {
    std::string body;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"object G: TNope\nend", "Classe TNope non trouvée"},
      {"object G: TTestGauge\n Wobble = 1\nend", "Erreur lors de la lecture de G.Wobble: La propriété Wobble n'existe pas"},
      {"object TTestGauge\n Wobble = 1\nend", "Erreur lors de la lecture de TTestGauge.Wobble: La propriété Wobble n'existe pas"},
      {"object G: TTestGauge\n Glyph.Nope = 1\nend", "Erreur lors de la lecture de G.Glyph.Nope: La propriété Nope n'existe pas"},
      {"object G: TTestGauge\n Left.X = 1\nend", "Erreur lors de la lecture de G.Left.X: La propriété X n'existe pas"},
      {"object G: TTestGauge\n Left = 'x'\nend", "Erreur lors de la lecture de G.Left: Valeur de propriété incorrecte"},
      {"object G: TTestGauge\n Left = 4294967296\nend", "Erreur lors de la lecture de G.Left: Valeur de propriété incorrecte"},
      {"object G: TTestGauge\n MaxValue = 1.5s\nend", "Erreur lors de la lecture de G.MaxValue: Valeur de propriété incorrecte"},
      {"object G: TTestGauge\n AnalogSensor = ia9\nend", "Erreur lors de la lecture de G.AnalogSensor: Valeur de propriété incorrecte"},
      {"object G: TTestGauge\n AnalogSensor = True\nend", "Erreur lors de la lecture de G.AnalogSensor: Valeur de propriété incorrecte"},
      {"object G: TTestGauge\n Style = [fsNone]\nend", "Erreur lors de la lecture de G.Style: Valeur de propriété incorrecte"},
      {"object G: TTestGauge\n Color = clNoSuch\nend", "Erreur lors de la lecture de G.Color: Valeur de propriété incorrecte"},
      {"object G: TTestGauge\n OnClick = FormDestroy\nend", "Erreur lors de la lecture de G.OnClick: Valeur de propriété incorrecte"},
      {"object G: TTestGauge\n OnClick = FormClose\nend", "Erreur lors de la lecture de G.OnClick: Valeur de propriété incorrecte"},
      {"object G: TTestGauge\n Glyph = G\nend", "Erreur lors de la lecture de G.Glyph: Valeur de propriété incorrecte"},
      {"object G: TTestGauge\n Version = 2\nend", "Erreur lors de la lecture de G.Version: Propriété en lecture seule"},
      {"object G: TTestGauge\n Glyph.Data = {EE}\nend", "Erreur lors de la lecture de G.Glyph.Data: Image bitmap incorrecte"},
      {"object G: TTestGauge\n MaxValue = -1\nend", "(no error)"},
      {"object G: TTestGauge\nend\nobject g: TTestGauge\nend", "Un composant nommé g existe déjà"},
  };
  for (const Case& c : cases) {
    SetUp();
    EXPECT_EQ(ReadError("object Dash: TSkinForm\n" + c.body + "\nend"), c.message) << c.body;
  }
}

TEST_F(Reader, BinaryOnlyFaults) {
  auto stream = ObjectTextToBinary("object Dash: T\n object G: TTestGauge\n  Left = 1\n end\nend");
  // The value tag of Left (after "TPF0", root header and its end, child header, "Left").
  const size_t tagAt = 4 + 2 + 5 + 1 + 11 + 2 + 5;
  ASSERT_EQ(stream[tagAt], vaInt8);
  stream[tagAt] = 200;
  try {
    ReadRootComponent(stream, *Root);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Erreur lors de la lecture de G.Left: 200");
  }
  SetUp();
  auto badName = ObjectTextToBinary("object Dash: T\n object G: TTestGauge\n end\nend");
  badName[4 + 2 + 5 + 1 + 11 + 1] = '-';
  try {
    ReadRootComponent(badName, *Root);
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_EQ(e.Message(), "''-'' n'est pas un nom de composant correct");
  }
  SetUp();
  const auto good = ObjectTextToBinary("object Dash: T\n object G: TTestGauge\n  Left = 1\n end\nend");
  try {
    ReadRootComponent(std::span<const uint8_t>(good.data(), good.size() - 3), *Root);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Erreur de lecture du flux");
  }
  // Objects created before the error stay.
  EXPECT_EQ(Root->ComponentCount(), 1);
}

TEST_F(Reader, AStreamEndingInsideAValueGivesTheBareReadError) {
  // Cut inside each kind of payload: the stream's fault, not the property's.
  const char* bodies[] = {
      " Left = 300\n",              // 16-bit integer
      " Caption = 'abcdef'\n",      // string
      " Glyph.Data = {0102030405}\n",  // binary data
      " Style = [fsBold, fsItalic]\n",  // set
  };
  for (const char* body : bodies) {
    const auto stream = ObjectTextToBinary(std::string("object Dash: T\n object G: TTestGauge\n") + body + " end\nend");
    // The last three bytes end the lists; three more are inside the value.
    const std::span<const uint8_t> cut(stream.data(), stream.size() - 5);
    SetUp();
    try {
      ReadRootComponent(cut, *Root);
      ADD_FAILURE() << body;
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), "Erreur de lecture du flux") << body;
    }
  }
}

TEST_F(Reader, ABadTagInAChildPositionGetsTheWrapperOfTheEnclosingObject) {
  const auto good = ObjectTextToBinary("object Dash: T\n object G: TTestGauge [3]\n end\nend");
  // After "TPF0", the root's class, name and property end: the child's
  // prefix byte, then the tag of its position.
  const size_t tagAt = 4 + 2 + 5 + 1 + 1;
  ASSERT_EQ(good[tagAt - 1], 0xF2);
  ASSERT_EQ(good[tagAt], vaInt8);
  const std::pair<uint8_t, std::string> cases[] = {
      {200, "Erreur lors de la lecture de Dash: 200"},
      {vaString, "Erreur lors de la lecture de Dash: Valeur de propriété incorrecte"},
  };
  for (const auto& [tag, message] : cases) {
    auto bad = good;
    bad[tagAt] = tag;
    SetUp();
    try {
      ReadRootComponent(bad, *Root);
      ADD_FAILURE() << int(tag);
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
  // The root's own prefix names the window it is read into (unnamed yet).
  auto root = ObjectTextToBinary("object Dash: T [1]\nend");
  ASSERT_EQ(root[5], vaInt8);
  root[5] = 200;
  SetUp();
  try {
    ReadRootComponent(root, *Root);
    ADD_FAILURE();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Erreur lors de la lecture de TTestForm: 200");
  }
}

TEST_F(Reader, ASkinFileShorterThanItsSignature) {
  // What the bytes present say: not a skin, or the start of one.
  const std::string path = ::testing::TempDir() + "/reader_short.bin";
  const std::pair<std::vector<uint8_t>, std::string> cases[] = {
      {{}, "Format de flux incorrect"},
      {{0x00}, "Format de flux incorrect"},
      {{'T', 'P'}, "Format de flux incorrect"},
      {{0xFF, 11}, "Format de flux incorrect"},
      {{0xFF}, "Erreur de lecture du flux"},
      {{0xFF, 10}, "Erreur de lecture du flux"},
  };
  for (const auto& [bytes, message] : cases) {
    WriteFileBytes(path, bytes);
    try {
      ReadSkinFile(path, *Root);
      ADD_FAILURE() << bytes.size();
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), message) << bytes.size();
    }
  }
}

TEST_F(Reader, RootNameIsMadeUniqueAmongForms) {
  const std::set<std::string> taken = {"Dash", "Dash_1"};
  TReadOptions options;
  options.IsFormNameInUse = [&](std::string_view name) { return taken.count(std::string(name)) > 0; };
  Read("object Dash: T\nend", options);
  EXPECT_EQ(Root->Name(), "Dash_2");
}

TEST_F(Reader, ChildClassesComeFromTheGivenFinder) {
  TReadOptions options;
  options.FindClass = [](std::string_view) -> const TClassInfo* { return nullptr; };
  try {
    Read("object Dash: T\n object G: TTestGauge\n end\nend", options);
    FAIL();
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), "Classe TTestGauge non trouvée");
  }
}

TEST_F(Reader, SkinFileNeedsItsHeader) {
  const std::string path = ::testing::TempDir() + "/reader_skin.bin";
  const auto stream = ObjectTextToBinary("object Dash: TSkinForm\n Width = 7\nend");
  auto file = ResourceHeader("SOMETHINGELSE", 1);
  file.insert(file.end(), stream.begin(), stream.end());
  WriteFileBytes(path, file);
  ReadSkinFile(path, *Root);
  EXPECT_EQ(Root->Width(), 7);
  try {
    ReadSkinFile(::testing::TempDir() + "/no/such/skin.bin", *Root);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Impossible d'ouvrir le fichier \"" + ::testing::TempDir() +
                               "/no/such/skin.bin\". No such file or directory");
  }
  WriteFileBytes(path, stream);  // no header at all
  try {
    ReadSkinFile(path, *Root);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Format de flux incorrect");
  }
}

}  // namespace
