// The exit button: its added property, the creation step (the glyph strip
// from "Skin/" + GlyphsFile, with the hit mask rebuilt from it; the loading
// errors), and a click in a live skin window, which releases the shared
// block and ends the program without the close handler.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "SkinImplExitButton.h"
#include "SkinImplLabel.h"
#include "SkinWindowFixture.h"

namespace {

TEST(SkinExitButtonClass, AddsGlyphsFileAfterTheButtons) {
  std::vector<std::string> own;
  for (const TPropInfo& p : TSkinExitButton::StaticClass().Props) own.push_back(p.Name);
  EXPECT_EQ(own, (std::vector<std::string>{"GlyphsFile"}));
  EXPECT_EQ(TSkinExitButton::StaticClass().Parent, &TGaugeBitmapButton::StaticClass());
  EXPECT_TRUE(TSkinExitButton::StaticClass().Create);
  TSkinExitButton button(nullptr);
  EXPECT_EQ(button.GlyphsFile(), "");
  TSkinExitButton::StaticClass().FindProp("GlyphsFile")->Setter(button, std::string("demo/exit.bmp"));
  EXPECT_EQ(button.GlyphsFile(), "demo/exit.bmp");
}

// Three 16 x 16 images (red, lime, navy) whose four left columns are
// fuchsia, the skin's button colour: holes in the hit mask.
std::vector<uint8_t> ExitStrip() {
  TBitmap strip(48, 16);
  const TColor colors[3] = {clRed, clLime, clNavy};
  for (int i = 0; i < 3; ++i)
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) strip.SetPixels(i * 16 + x, y, x < 4 ? clFuchsia : colors[i]);
  return strip.SaveToBytes();
}

class SkinExitButtonWindow : public SkinWindowTest {
protected:
  void WriteFile(const std::string& relative, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories((Dir / relative).parent_path());
    std::ofstream out(Dir / relative, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  // A skin with the exit button at (10, 10), 50 x 50: its image lies at
  // (27, 27) on the form, the holes in its four left columns.
  void LoadWithButton(const std::string& glyphsFile, const std::string& after = "") {
    Load(" object Exit: TSkinExitButton\n  Left = 10\n  Top = 10\n  NumGlyphs = 3\n  Color = clFuchsia\n"
         "  Transparent = True\n  GlyphsFile = '" + glyphsFile + "'\n  OnClick = SkinExitButtonClick\n end\n" + after);
  }
  void ShowWindow() {
    Form->Show();
    App->ProcessMessages();
    Window = System.Windows().back();
  }
  void Mouse(TWindowEvent::TKind kind, int x, int y) {
    System.Inject(Window, {kind, x, y, 1});
    App->ProcessMessages();
  }
  void Click(int x, int y) {
    Mouse(TWindowEvent::MouseMove, x, y);
    Mouse(TWindowEvent::MouseDown, x, y);
    Mouse(TWindowEvent::MouseUp, x, y);
  }
  THeadlessWindow* Window = nullptr;
};

TEST_F(SkinExitButtonWindow, CreationLoadsTheStripAndBuildsTheMaskFromIt) {
  WriteFile("Skin/demo/exit.bmp", ExitStrip());
  TDataChannelHost host(1);
  LoadWithButton("demo/exit.bmp", " object L: TSkinLabel\n  LabelType = _sensor\n  AnalogSensor = ia1\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  auto* button = Find<TSkinExitButton>("Exit");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->Glyph()->Width(), 48);
  EXPECT_EQ(button->ImageWidth(), 16);
  EXPECT_EQ(button->ImageHeight(), 16);
  // The mask came from the loaded strip: holes on the left, solid elsewhere.
  EXPECT_FALSE(button->HitTest(17 + 1, 17 + 8));
  EXPECT_TRUE(button->HitTest(17 + 8, 17 + 8));
  // The button binds nothing; the label after it was registered.
  EXPECT_EQ(SensorList()->Count(), 1);
  EXPECT_TRUE(SensorList()->IsSensorRegistered("ia1"));
}

TEST_F(SkinExitButtonWindow, AStripThatCannotBeLoadedStopsTheCreationHandler) {
  WriteFile("Skin/demo/broken.bmp", {'B', 'M', 1, 2, 3});
  struct Case {
    const char* File;
    std::string Message;  // the start of the error box's text
  };
  const Case cases[] = {
      {"demo/missing.bmp", "Impossible d'ouvrir le fichier \"Skin/demo/missing.bmp\". No such file or directory."},
      {"", "Impossible d'ouvrir le fichier \"Skin/\". "},  // names the directory itself
      {"demo/broken.bmp", "Image bitmap incorrecte."},
  };
  for (const Case& c : cases) {
    TSkinExitButton button(nullptr);
    button.SetGlyphsFile(c.File);
    TSensorList sensors;
    try {
      button.CreationStep(sensors);
      ADD_FAILURE() << "no error for '" << c.File << "'";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message().substr(0, c.Message.size() - 1), c.Message.substr(0, c.Message.size() - 1))
          << e.Message();
    }
    EXPECT_TRUE(button.Glyph()->Empty()) << c.File;
  }
  // In a window: reported, and the components after the button are not bound.
  TDataChannelHost host(1);
  LoadWithButton("demo/missing.bmp", " object L: TSkinLabel\n  LabelType = _sensor\n  AnalogSensor = ia1\n end\n");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], cases[0].Message);
  EXPECT_EQ(SensorList()->Count(), 0);
  EXPECT_FALSE(DataBlockMapped());
}

TEST_F(SkinExitButtonWindow, AClickReleasesTheBlockAndEndsWithoutTheCloseHandler) {
  WriteFile("Skin/demo/exit.bmp", ExitStrip());
  TDataChannelHost host(1);
  LoadWithButton("demo/exit.bmp",
                 " object L: TSkinLabel\n  Caption = 'idle'\n  LabelType = _sensor\n  AnalogSensor = ia1\n end\n");
  ASSERT_TRUE(Boxes().empty()) << Boxes()[0];
  ShowWindow();
  ASSERT_TRUE(DataBlockMapped());

  // A press on a hole of the glyph, and a press that leaves before its
  // release, end nothing.
  Click(27 + 1, 27 + 8);
  Mouse(TWindowEvent::MouseDown, 27 + 8, 27 + 8);
  Mouse(TWindowEvent::MouseMove, 200, 200);
  Mouse(TWindowEvent::MouseUp, 200, 200);
  EXPECT_FALSE(App->Terminated());
  EXPECT_TRUE(DataBlockMapped());

  Click(27 + 8, 27 + 8);
  EXPECT_TRUE(App->Terminated());
  EXPECT_FALSE(DataBlockMapped());
  // The close handler would have released the sensor list and hidden the
  // window; the exit leaves both to the process's end.
  EXPECT_NE(SensorList(), nullptr);
  EXPECT_TRUE(Form->Visible());
  // A frame that still arrives touches nothing.
  host.WriteSlot(1, 5.0f);
  Frame();
  EXPECT_EQ(Find<TSkinLabel>("L")->Caption(), "idle");
}

}  // namespace
