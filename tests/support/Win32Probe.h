// Win32 calls for the channel's Windows tests, apart from the project's own
// headers (some of whose names windows.h declares differently).
#pragma once

#include <memory>
#include <string>
#include <string_view>

// The DACL of a named file mapping, as the system reports it.
struct TAclProbe {
    bool Read = false;
    bool Protected = false;
    int Aces = 0;
    bool FirstIsCurrentUser = false; // an access-allowed ACE for the token's user
    unsigned FirstMask = 0;
};
TAclProbe ProbeMappingAcl(std::string_view AName);

// A mapping that anyone may use, owned by the built-in Administrators group;
// null when this process may not give it that owner. It exists while the
// result lives.
std::shared_ptr<void> CreateMappingOwnedByAdministrators(std::string_view AName);

// The viewer's command value under the current user's hive.
bool WriteViewerSetting(const std::u16string& AValue);
void RemoveViewerSetting();
