#include "serial/PortCheck.h"

#include "platform/System.h"
#include "platform/Text.h"

#include "platform/Windows_win32.h"

#include <algorithm>
#include <cctype>

namespace {
TPortProblem ProblemOfError(DWORD AError) {
    switch (AError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DEV_NOT_EXIST:
        return TPortProblem::ppMissing;
    // Windows tells a port another program has open by access denied too.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return TPortProblem::ppBusy;
    default:
        return TPortProblem::ppOther;
    }
}

bool IsBlank(char AChar) {
    return AChar == ' ' || AChar == '\t';
}

void Trim(std::string& AText) {
    while (!AText.empty() && IsBlank(AText.back()))
        AText.pop_back();
    size_t LFirst = 0;
    while (LFirst < AText.size() && IsBlank(AText[LFirst]))
        ++LFirst;
    AText.erase(0, LFirst);
}
} // namespace

bool PlatformPortName(const std::string& AName, std::string& APort, std::string& AReason) {
    std::string LName = AName;
    Trim(LName);
    if (LName.size() >= 2 && LName.front() == '"' && LName.back() == '"') {
        LName = LName.substr(1, LName.size() - 2);
        Trim(LName);
    }
    // The device namespace, in either slash form.
    for (const char* LPrefix : {"\\\\.\\", "//./", "\\\\?\\"})
        if (LName.rfind(LPrefix, 0) == 0) {
            LName.erase(0, std::char_traits<char>::length(LPrefix));
            break;
        }
    // Windows drops trailing dots and blanks from a name; a colon ends a
    // device name.
    while (!LName.empty() && (LName.back() == '.' || IsBlank(LName.back()) || LName.back() == ':'))
        LName.pop_back();
    // The client reads the number after the first three characters.
    bool LOk = LName.size() > 3;
    for (size_t I = 0; LOk && I < LName.size(); ++I)
        LOk = I < 3 ? std::isalpha(static_cast<unsigned char>(LName[I])) != 0
                    : std::isdigit(static_cast<unsigned char>(LName[I])) != 0;
    if (!LOk || LName.size() > 3 + 9) {
        AReason = "not a COM port name the search can open (COM1, COM2, ...); "
                  "scaleprobe-cli --list shows the ports there are";
        return false;
    }
    std::string LDigits = LName.substr(3);
    LDigits.erase(0, std::min(LDigits.find_first_not_of('0'), LDigits.size() - 1));
    APort.clear();
    for (size_t I = 0; I < 3; ++I)
        APort += static_cast<char>(std::toupper(static_cast<unsigned char>(LName[I])));
    APort += LDigits;
    return true;
}

TPortCheck CheckSerialPort(const std::string& APort) {
    // The serial component opens every port in the device namespace;
    // FILE_FLAG_OVERLAPPED as it does. Opening a port does not wait for the
    // line.
    const UnicodeString LPath = u"\\\\.\\" + Utf8ToUnicode(APort);
    const HANDLE LHandle =
        CreateFileW(reinterpret_cast<const wchar_t*>(LPath.c_str()), GENERIC_READ | GENERIC_WRITE,
                    0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (LHandle == INVALID_HANDLE_VALUE) {
        const DWORD LError = GetLastError();
        const TPortProblem LProblem = ProblemOfError(LError);
        std::string LReason = SystemErrorText(LError);
        if (LProblem == TPortProblem::ppMissing)
            LReason = "no such port (" + LReason +
                      "); scaleprobe-cli --list "
                      "shows the ports there are";
        else if (LProblem == TPortProblem::ppBusy)
            LReason = "access denied (" + LReason +
                      "): another program has the port open, or this user may not use it";
        return TPortCheck{LProblem, LReason};
    }
    TPortCheck LCheck;
    DCB LDcb{};
    LDcb.DCBlength = sizeof LDcb;
    if (GetFileType(LHandle) != FILE_TYPE_CHAR)
        LCheck = {TPortProblem::ppNotSerial, "not a serial port (not a character device)"};
    else if (!GetCommState(LHandle, &LDcb))
        LCheck = {TPortProblem::ppNotSerial,
                  "not a serial port (" + SystemErrorText(GetLastError()) + ")"};
    CloseHandle(LHandle);
    return LCheck;
}
