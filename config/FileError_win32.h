// The system's words for a file operation's error code (Windows).
#pragma once

#include <string>

// UTF-8, without a line end; "error N" when the system has no text.
std::string FileErrorText(unsigned long AError);
