#include "weighbridge/UnitWeighBridgeClient.h"

UnicodeString CommDeviceName(const UnicodeString& ACommName) {
    return WindowsCommDeviceName(ACommName);
}
