#include "ScratchDir.h"

#include <cstdlib>

// The C runtime's copy and the process's own block, which children inherit;
// an empty value removes the variable.
void SetEnvironmentValue(const char* AName, const std::optional<std::string>& AValue) {
    _putenv_s(AName, AValue ? AValue->c_str() : "");
}
