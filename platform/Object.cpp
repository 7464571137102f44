#include "platform/Object.h"

const TClassInfo& TObject::StaticClass() {
    static const TClassInfo LInfo{"TObject", nullptr};
    return LInfo;
}

UnicodeString TObject::ClassName() const {
    return Utf8ToUnicode(ClassType().Name);
}

std::vector<UnicodeString> TObject::ClassHierarchy() const {
    std::vector<UnicodeString> LResult;
    for (const TClassInfo* C = &ClassType(); C; C = C->Parent)
        LResult.push_back(Utf8ToUnicode(C->Name));
    return LResult;
}

Exception::Exception(UnicodeString AMessage)
    : FMessage(std::move(AMessage)), FWhat(UnicodeToUtf8(FMessage)) {}
