#include "serial/PortCheck.h"

#include "platform/Text.h"

bool PortNameOf(const std::string& AName, std::string& APort, std::string& AReason) {
    // The search keeps names as UTF-16: what does not come back from it
    // unchanged is not the name the user gave.
    if (UnicodeToUtf8(Utf8ToUnicode(AName)) != AName) {
        AReason = "the name is not valid UTF-8 text; the search could not open it";
        return false;
    }
    for (const char LChar : AName)
        if (static_cast<unsigned char>(LChar) < 0x20 || LChar == 0x7F) {
            AReason = "the name holds a control character";
            return false;
        }
    return PlatformPortName(AName, APort, AReason);
}

const char* PortProblemCode(TPortProblem AProblem) {
    switch (AProblem) {
    case TPortProblem::ppNone:
        return "";
    case TPortProblem::ppBadName:
        return "bad-name";
    case TPortProblem::ppMissing:
        return "missing";
    case TPortProblem::ppDenied:
        return "permission";
    case TPortProblem::ppBusy:
        return "busy";
    case TPortProblem::ppNotSerial:
        return "not-serial";
    case TPortProblem::ppOther:
        break;
    }
    return "other";
}
