#include "ScratchDir.h"

#include <cstdlib>

void SetEnvironmentValue(const char* AName, const std::optional<std::string>& AValue) {
    if (AValue)
        setenv(AName, AValue->c_str(), 1);
    else
        unsetenv(AName);
}
