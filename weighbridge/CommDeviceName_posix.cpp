#include "weighbridge/UnitWeighBridgeClient.h"

// A device path goes to the serial component as it is; a name that is no
// terminal device fails in its open.
UnicodeString CommDeviceName(const UnicodeString& ACommName) {
    return ACommName;
}
