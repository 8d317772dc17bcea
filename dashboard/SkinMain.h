// The program's entry and its hidden main form: the launch guard, the
// one-shot start-up timer that reads the skin into the skin window and
// shows it.
//
// Unit state (one per process): StartedByHost, SkinPath and SkinForm, set
// by the entry before any form exists.
// Thread rules: user-interface thread only.
// Errors: the timer handler's errors (the skin file's, the reader's) go to
// the application's exception reporting; the skin window is then not shown.
#pragma once

#include <string>

#include "ExtCtrls.h"
#include "Forms.h"

class TSkinForm;

void SetStartedByHost(bool flag);
void SetSkinName(const std::string& name);
bool StartedByHost();
// "Skin/" + name + "/skin." ("bin" is appended when the skin is read).
const std::string& SkinPath();
TSkinForm* SkinForm();

// The launch message shown when the host did not start the program.
extern const char* const kLaunchMessage;

// The number of arguments as the host's command line gives them: counting
// stops at the first empty argument.
int CountArguments(int argc, char** argv);

// A command line that is exactly "--help" (or "-h") asks for the usage, not
// for a skin of that name (no skin is ever named so); handled before the
// display starts, so it works anywhere.
// Prints the usage on standard output and returns true for such a request.
bool AnswerHelpRequest(int argc, char** argv);

class TMainForm : public TForm {
  VELQ_CLASS(TMainForm)
public:
  // Builds the form from its stored description (kept in the program as an
  // object stream); its FormCreate runs at the end.
  explicit TMainForm(TComponent* owner);

  TTimer* SplashScreenTimer = nullptr;

  void FormCreate(TObject* sender);
  void FormClose(TObject* sender, bool& canClose);
  bool ConvertFormOrText(const std::string& fileName, int direction);
  void SplashScreenTimerTimer(TObject* sender);
  void FormShow(TObject* sender);

  void Loaded() override;
};

// The whole program: application object on `windowSystem`, argument check,
// title, main form, message loop. Returns the process's exit status.
int SkinVELQMain(int argc, char** argv, IWindowSystem& windowSystem);
