// The Qt backend of the GUI-thread loop and of the control set. Both need a
// QApplication on the calling thread; create the loop first, free it last.
#pragma once

#include "platform/MessageLoop.h"
#include "ui/Controls.h"

#include <filesystem>
#include <memory>

// Installs itself as the calling thread's loop; posting wakes Qt's event
// loop, timers are Qt timers.
std::unique_ptr<TMessageLoop> CreateQtMessageLoop();

// Windows of Qt widgets at the layout's absolute positions; message boxes
// are modal Qt dialogs. Install it with SetControlBackend.
std::unique_ptr<TControlBackend> CreateQtControls();

// Saves the whole shown window of AForm as a PNG; false on failure.
bool SaveFormScreenshot(const TForm& AForm, const std::filesystem::path& AFile);
