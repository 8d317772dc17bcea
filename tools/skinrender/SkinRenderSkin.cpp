#include "SkinRenderSkin.h"

#include <unistd.h>

#include <cairo.h>

#include <cstdlib>

#include "DataChannel.h"
#include "SkinImpl.h"
#include "SkinRegistration.h"
#include "SkinStream.h"
#include "backend/headless/HeadlessWindowSystem.h"

void RenderSkin(const std::string& skin, const std::string& out,
                const std::vector<std::pair<std::string, float>>& values) {
  // A channel of this process's own, so a dashboard running beside it is
  // never touched. Set before any channel object exists.
  setenv(kChannelSuffixVariable, ("-skinrender-" + std::to_string(getpid())).c_str(), 1);

  THeadlessWindowSystem windowSystem;
  windowSystem.SetEchoMessageBoxes(false);
  TApplication application(windowSystem);
  application.SetTitle("SkinVELQ");
  RegisterSkinClasses();
  auto* form = new TSkinForm(&application);
  ReadSkinFile("Skin/" + skin + "/skin.bin", *form);

  const std::vector<std::string> layout = SkinSensorLayout(*form);
  TDataChannelHost host(static_cast<int32_t>(layout.size()));
  for (const auto& [sensor, value] : values) {
    bool found = false;
    for (size_t i = 0; i < layout.size(); ++i)
      if (layout[i] == sensor) {
        host.WriteSlot(static_cast<int32_t>(i + 1), value);
        found = true;
      }
    if (!found) throw Exception("The skin does not use the sensor " + sensor);
  }

  form->AfterConstruction();
  // The creation handler reports its errors instead of raising them; the
  // first one is this render's error.
  if (!windowSystem.MessageBoxes().empty()) throw Exception(windowSystem.MessageBoxes().front().Text);
  application.PostMessage(form, TMessage{form->DataReadyMessage, 0, 0, 0});
  application.ProcessMessages();
  if (!windowSystem.MessageBoxes().empty()) throw Exception(windowSystem.MessageBoxes().front().Text);

  form->PaintAll();
  cairo_surface_t* image = form->BackBuffer();
  cairo_surface_flush(image);
  const cairo_status_t status = cairo_surface_write_to_png(image, out.c_str());
  if (status != CAIRO_STATUS_SUCCESS)
    throw Exception("Impossible de créer le fichier \"" + out + "\". " + cairo_status_to_string(status));
  ReleaseDataBlock();
  ReleaseSensorList();
}
