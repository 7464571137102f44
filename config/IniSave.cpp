#include "config/IniSave.h"
#include "config/AtomicFile.h"
#include "config/IniFile.h"
#include "config/RegularFile.h"
#include "platform/Text.h"

bool SaveIniValues(const std::filesystem::path& AFile, std::string_view ASection,
                   const TIniValues& AValues, std::string& AError) {
    const std::string LName = UnicodeToUtf8(AFile.u16string());
    const TFileBytes LOld = ReadRegularFile(AFile, CMaxIniFileBytes);
    if (LOld.Result == TFileRead::frNotRegular || LOld.Result == TFileRead::frFailed) {
        AError = "cannot save to " + LName + ": " + LOld.Error;
        return false;
    }
    if (LOld.Truncated) {
        AError = "cannot save to " + LName + ": it has " + std::to_string(LOld.Size) +
                 " bytes, more than an INI file may have (" + std::to_string(CMaxIniFileBytes) +
                 "); the program reads only its start";
        return false;
    }
    std::string LNew;
    if (!EditIniBytes(LOld.Bytes, ASection, AValues, LNew, AError)) {
        AError = "cannot save to " + LName + ": " + AError;
        return false;
    }
    return ReplaceFileAtomically(AFile, LNew, AError);
}
