// The program's start-up on the headless backend: argument counting, the
// launch guard, and the start-up timer that reads the skin into the skin
// window 2000 ms after the main form was created.
#include <gtest/gtest.h>

#include "SkinMain.h"
#include "SkinWindowFixture.h"

namespace {

TEST(CountArguments, StopsAtTheFirstEmptyArgument) {
  struct Case {
    std::vector<std::string> Args;
    int Count;
  };
  const Case cases[] = {
      {{"SkinVELQ"}, 0}, {{"SkinVELQ", "demo"}, 1}, {{"SkinVELQ", "a", "b"}, 2},
      {{"SkinVELQ", ""}, 0}, {{"SkinVELQ", "a", "", "b"}, 1}, {{"SkinVELQ", " "}, 1},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv;
    for (const std::string& a : c.Args) argv.push_back(const_cast<char*>(a.c_str()));
    EXPECT_EQ(CountArguments(static_cast<int>(argv.size()), argv.data()), c.Count) << c.Args.size();
  }
}

TEST(LaunchGuard, WithoutTheHostTheFrenchMessageThenTheEnd) {
  THeadlessWindowSystem system;
  system.SetEchoMessageBoxes(false);
  char program[] = "SkinVELQ";
  char* argv[] = {program};
  EXPECT_EQ(SkinVELQMain(1, argv, system), 0);  // returns: the loop ended at once
  ASSERT_EQ(system.MessageBoxes().size(), 1u);
  EXPECT_EQ(system.MessageBoxes()[0].Text, kLaunchMessage);
  EXPECT_EQ(system.MessageBoxes()[0].Caption, "SkinVELQ");
  EXPECT_FALSE(system.MessageBoxes()[0].Error);
  EXPECT_EQ(system.NowMs(), 0);  // no timer ran
}

// The skin window's fixture gives a directory with Skin/ and a channel of
// its own; the main form builds its own skin window here.
class StartUp : public SkinWindowTest {
protected:
  void Start(const std::string& skin) {
    SetStartedByHost(true);
    SetSkinName(skin);
    Main = new TMainForm(App.get());
  }
  TMainForm* Main = nullptr;
};

TEST_F(StartUp, TheTimerReadsTheSkinAfter2000msAndShowsIt) {
  std::filesystem::create_directories("Skin/one");
  const auto stream = ObjectTextToBinary("object One: TSkinForm\n Left = 30\n Caption = 'one'\nend\n");
  auto file = ResourceHeader("TSKINFORM", static_cast<uint32_t>(stream.size()));
  file.insert(file.end(), stream.begin(), stream.end());
  WriteFileBytes("Skin/one/skin.bin", file);
  Start("one");
  EXPECT_EQ(SkinPath(), "Skin/one/skin.");
  ASSERT_NE(SkinForm(), nullptr);
  EXPECT_TRUE(Main->SplashScreenTimer->Enabled());
  Main->Show();
  EXPECT_EQ(Main->Width(), 0);  // FormShow
  EXPECT_EQ(Main->Height(), 0);
  App->HandleMessage();  // waits for the timer: the manual clock jumps to it
  EXPECT_EQ(System.NowMs(), 2000);
  EXPECT_FALSE(Main->SplashScreenTimer->Enabled());
  EXPECT_TRUE(SkinForm()->Visible());
  EXPECT_EQ(SkinForm()->Left(), 30);
  EXPECT_EQ(SkinForm()->Name(), "One");
  EXPECT_FALSE(Main->Visible());
  EXPECT_TRUE(System.MessageBoxes().empty());
}

TEST_F(StartUp, AMissingSkinIsReportedOnceAndNothingIsShown) {
  Start("nosuch");
  App->HandleMessage();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], "Impossible d'ouvrir le fichier \"Skin/nosuch/skin.bin\". No such file or directory.");
  EXPECT_FALSE(SkinForm()->Visible());
  // No retry.
  System.AdvanceClock(10000);
  App->ProcessMessages();
  EXPECT_EQ(Boxes().size(), 1u);
  EXPECT_FALSE(App->Terminated());
}

TEST_F(StartUp, ClosingTheWindowEndsTheProgramOnlyWhenTheSkinBindsFormClose) {
  // Without OnClose the window is only hidden: the process keeps running,
  // the block stays mapped.
  const std::pair<std::string, bool> cases[] = {{" OnClose = FormClose\n", true}, {"", false}};
  for (const auto& [binding, ends] : cases) {
    TearDown();
    SetUp();
    TDataChannelHost host(0);
    std::filesystem::create_directories("Skin/s");
    const auto stream = ObjectTextToBinary("object S: TSkinForm\n BorderStyle = bsSingle\n OldCreateOrder = False\n"
                                           " OnCreate = FormCreate\n" + binding + "end\n");
    auto file = ResourceHeader("TSKINFORM", static_cast<uint32_t>(stream.size()));
    file.insert(file.end(), stream.begin(), stream.end());
    WriteFileBytes("Skin/s/skin.bin", file);
    const size_t boxes = Boxes().size();
    Start("s");
    Main->Show();
    System.AdvanceClock(2000);  // the start-up timer reads the skin
    App->ProcessMessages();
    EXPECT_EQ(Boxes().size(), boxes) << binding;
    ASSERT_TRUE(SkinForm()->Visible()) << binding;
    auto* window = dynamic_cast<THeadlessWindow*>(SkinForm()->PlatformWindow());
    ASSERT_NE(window, nullptr);
    System.Inject(window, {TWindowEvent::CloseRequest, 0, 0, 1});
    App->ProcessMessages();
    EXPECT_FALSE(SkinForm()->Visible()) << binding;
    EXPECT_FALSE(window->Visible()) << binding;
    EXPECT_EQ(App->Terminated(), ends) << binding;
    EXPECT_EQ(DataBlockMapped(), !ends) << binding;
  }
}

}  // namespace
