#include "config/IniSave.h"
#include "config/AtomicFile.h"
#include "config/IniFile.h"
#include "config/RegularFile.h"
#include "platform/Text.h"

#include <limits>

bool SaveIniValues(const std::filesystem::path& AFile, std::string_view ASection,
                   const TIniValues& AValues, std::string& AError) {
    const std::string LName = UnicodeToUtf8(AFile.u16string());
    // The whole file: nothing of it may be lost.
    const TFileBytes LOld = ReadRegularFile(AFile, std::numeric_limits<size_t>::max() - 1);
    if (LOld.Result == TFileRead::frNotRegular || LOld.Result == TFileRead::frFailed) {
        AError = "cannot save to " + LName + ": " + LOld.Error;
        return false;
    }
    std::string LNew;
    if (!EditIniBytes(LOld.Bytes, ASection, AValues, LNew, AError)) {
        AError = "cannot save to " + LName + ": " + AError;
        return false;
    }
    return ReplaceFileAtomically(AFile, LNew, AError);
}
