#include "SkinImpl.h"

#include "Messages.h"

namespace {
const char* const kDataReadyMessageName = "UWM_DATA_READY_MSG-{1F881A4D-B28F-48ad-9175-5394579326EA}";
}  // namespace

std::string SkinFilePath(const std::string& value) { return "Skin/" + value; }

// ---- TSkinForm ------------------------------------------------------------------------------

const TClassInfo& TSkinForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TSkinForm>("TSkinForm", &TForm::StaticClass())
                                     .Method("FormCreate", &TSkinForm::FormCreate)
                                     .Method("FormClose", &TSkinForm::FormClose)
                                     .Method("SkinExitButtonClick", &TSkinForm::SkinExitButtonClick)
                                     .Creatable()
                                     .Build();
  return info;
}

TSkinForm::TSkinForm(TComponent* owner) : TForm(owner) {}

TSkinForm::~TSkinForm() = default;

void TSkinForm::FormCreate(TObject*) {
  DataReadyMessage = RegisterWindowMessage(kDataReadyMessageName);
  SetDoubleBuffered(true);
  for (TComponent* c : ComponentList())
    if (auto* background = dynamic_cast<TSkinBackground*>(c)) background->LoadSkinPicture();
}

void TSkinForm::FormClose(TObject*, TCloseAction& action) {
  action = caHide;
  Application->Terminate();
}

void TSkinForm::SkinExitButtonClick(TObject*) { Application->Terminate(); }

void TSkinForm::DefaultHandler(TMessage& message) {
  TForm::DefaultHandler(message);
  if (message.Msg != DataReadyMessage || DataReadyMessage == 0) return;
}

// ---- TSkinBackground ----------------------------------------------------------------------

const TClassInfo& TSkinBackground::StaticClass() {
  static const TClassInfo info = TClassBuilder<TSkinBackground>("TSkinBackground", &TImage::StaticClass())
                                     .String("BackgroundFile", &TSkinBackground::BackgroundFile,
                                             &TSkinBackground::SetBackgroundFile)
                                     .Creatable()
                                     .Build();
  return info;
}

TSkinBackground::TSkinBackground(TComponent* owner) : TImage(owner) {}

void TSkinBackground::LoadSkinPicture() { Picture()->LoadFromFile(SkinFilePath(FBackgroundFile)); }
