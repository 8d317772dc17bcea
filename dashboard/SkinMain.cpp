#include "SkinMain.h"

#include <cstdio>
#include <string_view>

#include "GaugeControls.h"
#include "SkinImpl.h"
#include "SkinRegistration.h"
#include "SkinStream.h"

// Generated at build time from MainForm.cfg: the main form's description as
// a binary skin file.
extern const unsigned char kMainFormResource[];
extern const size_t kMainFormResourceSize;  // defined with it

const char* const kLaunchMessage =
    "Cette application ne peut être lancée qu'à partir du VELQ. L'application va se terminer.";

namespace {
bool GStartedByHost = false;
std::string GSkinPath;
TSkinForm* GSkinForm = nullptr;
}  // namespace

void SetStartedByHost(bool flag) { GStartedByHost = flag; }
void SetSkinName(const std::string& name) { GSkinPath = "Skin/" + name + "/skin."; }
bool StartedByHost() { return GStartedByHost; }
const std::string& SkinPath() { return GSkinPath; }
TSkinForm* SkinForm() { return GSkinForm; }

namespace {
const char* const kSkinVELQUsage =
    "usage: SkinVELQ SKIN\n"
    "Shows the skin Skin/SKIN/skin.bin (under the current directory) and redraws it from the\n"
    "host's shared block on every data-ready notification. The host starts it; see skinhost.\n";
}  // namespace

bool AnswerHelpRequest(int argc, char** argv) {
  if (argc != 2) return false;
  const std::string_view argument = argv[1];
  if (argument == "--version") {
    std::printf("SkinVELQ %s\n", ProductVersion());
    return true;
  }
  if (argument != "--help" && argument != "-h") return false;
  std::fputs(kSkinVELQUsage, stdout);
  return true;
}

int CountArguments(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc && argv[i][0] != '\0'; ++i) ++count;
  return count;
}

const TClassInfo& TMainForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TMainForm>("TMainForm", &TForm::StaticClass())
                                     .Method("FormCreate", &TMainForm::FormCreate)
                                     .Method("FormClose", &TMainForm::FormClose)
                                     .Method("ConvertFormOrText", &TMainForm::ConvertFormOrText)
                                     .Method("SplashScreenTimerTimer", &TMainForm::SplashScreenTimerTimer)
                                     .Method("FormShow", &TMainForm::FormShow)
                                     .Build();
  return info;
}

TMainForm::TMainForm(TComponent* owner) : TForm(owner) {
  const std::span<const uint8_t> file(kMainFormResource, kMainFormResourceSize);
  TReadOptions options;
  // The form's own description names its timer's class; skins never can.
  options.FindClass = [](std::string_view name) -> const TClassInfo* {
    return SameText(name, "TTimer") ? &TTimer::StaticClass() : nullptr;
  };
  options.IsFormNameInUse = [this](std::string_view name) {
    return Application && Application->IsFormNameInUse(name, this);
  };
  ReadRootComponent(file.subspan(SkipResourceHeader(file)), *this, options);
  AfterConstruction();
}

void TMainForm::Loaded() {
  TForm::Loaded();
  SplashScreenTimer = dynamic_cast<TTimer*>(FindComponent("SplashScreenTimer"));
}

void TMainForm::FormCreate(TObject*) {
  if (!StartedByHost()) {
    SplashScreenTimer->SetEnabled(false);
    Application->ShowMessage(kLaunchMessage);
    Application->Terminate();
    return;
  }
  RegisterSkinClasses();
  GSkinForm = new TSkinForm(Application);
  SplashScreenTimer->SetEnabled(true);
}

void TMainForm::FormClose(TObject*, bool& canClose) { canClose = true; }

bool TMainForm::ConvertFormOrText(const std::string& fileName, int direction) {
  return ::ConvertFormOrText(fileName, direction);
}

void TMainForm::SplashScreenTimerTimer(TObject*) {
  SplashScreenTimer->SetEnabled(false);
  TReadOptions options;
  options.IsFormNameInUse = [](std::string_view name) {
    return Application && Application->IsFormNameInUse(name, GSkinForm);
  };
  // An author who edited skin.cfg and did not convert it would otherwise
  // wonder why nothing changed; the warning goes to the log, not to a box
  // the host's user would have to dismiss.
  if (SkinTextIsNewer(SkinPath() + "bin"))
    std::fprintf(stderr, "SkinVELQ: warning: %sbin is older than %scfg (convert it: skinconv to-bin)\n",
                 SkinPath().c_str(), SkinPath().c_str());
  ReadSkinFile(SkinPath() + "bin", *GSkinForm, options);
  GSkinForm->AfterConstruction();
  GSkinForm->Show();
  SetVisible(false);
  Hide();
}

void TMainForm::FormShow(TObject*) {
  SetHeight(0);
  SetWidth(0);
}

int SkinVELQMain(int argc, char** argv, IWindowSystem& windowSystem) {
  TApplication application(windowSystem);
  // The widget library's start-up: its hand-point cursor.
  RegisterGaugeCursors();
  if (CountArguments(argc, argv) == 1) {
    SetStartedByHost(true);
    SetSkinName(argv[1]);
  } else {
    SetStartedByHost(false);
  }
  application.SetTitle("SkinVELQ");
  new TMainForm(&application);
  application.Run();
  return 0;
}
