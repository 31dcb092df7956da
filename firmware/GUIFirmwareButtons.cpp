#include "firmware/GUIFirmwareButtons.h"

#include "platform/Platform.h"

namespace tarnovelle
{

const char* const update_url = "https://www.tarnovelle.com/support";

GUIWebLink::GUIWebLink()
    : GUIPushButton ([] (GUIPushButton&) { Platform::dialogs().openUrl (update_url); })
{}

} // namespace tarnovelle
