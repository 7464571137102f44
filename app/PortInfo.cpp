#include "app/PortInfo.h"

#include "app/MainForm.h"

#include <nlohmann/json.hpp>

namespace {
void AddPart(std::string& AText, const std::string& APart) {
    if (APart.empty())
        return;
    if (!AText.empty())
        AText += ", ";
    AText += APart;
}

// "FTDI" and "FT232R USB UART"; a product name that starts with the vendor's
// stands alone.
std::string Joined(const std::string& AVendor, const std::string& AProduct) {
    if (AVendor.empty())
        return AProduct;
    if (AProduct.empty())
        return AVendor;
    return AProduct.rfind(AVendor, 0) == 0 ? AProduct : AVendor + " " + AProduct;
}
} // namespace

std::string DescribePort(const TPortInfo& APort) {
    if (APort.Kind == "simulated")
        return "simulated indicator";
    // The device manager's name says more than the device's own two.
    std::string LName =
        APort.FriendlyName.empty() ? Joined(APort.Vendor, APort.Product) : APort.FriendlyName;
    if (!APort.VendorId.empty() || !APort.ProductId.empty()) {
        const std::string LIds = APort.VendorId + ":" + APort.ProductId;
        LName = LName.empty() ? LIds : LName + " (" + LIds + ")";
    }
    std::string LRest;
    if (!APort.HardwareId.empty())
        AddPart(LRest, "hardware ID " + APort.HardwareId);
    if (!APort.Serial.empty())
        AddPart(LRest, "serial " + APort.Serial);
    if (!APort.UsbPath.empty())
        AddPart(LRest, "USB path " + APort.UsbPath);
    if (!APort.Driver.empty())
        AddPart(LRest, "driver " + APort.Driver + (APort.Bus.empty() ? "" : " on " + APort.Bus));
    if (!APort.Device.empty())
        AddPart(LRest, "device " + APort.Device);
    const std::string LKind = APort.Kind == "usb"        ? "USB adapter"
                              : APort.Kind == "built-in" ? "built-in port"
                                                         : "";
    std::string LText = LKind;
    if (!LName.empty())
        LText += LText.empty() ? LName : ": " + LName;
    if (!LRest.empty())
        LText += LText.empty() ? LRest : ", " + LRest;
    return LText;
}

std::string PortListJson(const std::vector<TPortInfo>& APorts, int AExitCode) {
    nlohmann::ordered_json LList = nlohmann::ordered_json::array();
    for (const TPortInfo& LPort : APorts) {
        nlohmann::ordered_json LEntry;
        LEntry["port"] = UnicodeToUtf8(LPort.Name);
        LEntry["description"] = DescribePort(LPort);
        const std::pair<const char*, const std::string*> LFields[] = {
            {"kind", &LPort.Kind},
            {"vendor", &LPort.Vendor},
            {"product", &LPort.Product},
            {"vendor_id", &LPort.VendorId},
            {"product_id", &LPort.ProductId},
            {"serial", &LPort.Serial},
            {"usb_path", &LPort.UsbPath},
            {"driver", &LPort.Driver},
            {"bus", &LPort.Bus},
            {"friendly_name", &LPort.FriendlyName},
            {"hardware_id", &LPort.HardwareId},
            {"device", &LPort.Device},
        };
        for (const auto& [LKey, LValue] : LFields)
            if (!LValue->empty())
                LEntry[LKey] = *LValue;
        LList.push_back(std::move(LEntry));
    }
    nlohmann::ordered_json LDoc;
    LDoc["exit_code"] = AExitCode;
    LDoc["ports"] = std::move(LList);
    // What the system reports need not be UTF-8: it is replaced, never thrown on.
    return LDoc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

void SortPortInfo(std::vector<TPortInfo>& APorts) {
    std::vector<UnicodeString> LNames;
    for (const TPortInfo& LPort : APorts)
        LNames.push_back(LPort.Name);
    SortComList(LNames);
    std::vector<TPortInfo> LSorted;
    std::vector<bool> LTaken(APorts.size(), false);
    for (const UnicodeString& LName : LNames)
        for (size_t I = 0; I < APorts.size(); ++I)
            if (!LTaken[I] && APorts[I].Name == LName) {
                LTaken[I] = true;
                LSorted.push_back(std::move(APorts[I]));
                break;
            }
    APorts = std::move(LSorted);
}
