// Root class that knows its class name and its parents' names, and the
// exception base of the system.
#pragma once

#include "platform/Text.h"

#include <exception>
#include <string>
#include <vector>

struct TClassInfo {
    const char* Name;
    const TClassInfo* Parent;
};

class TObject {
public:
    virtual ~TObject() = default;
    static const TClassInfo& StaticClass();
    virtual const TClassInfo& ClassType() const { return StaticClass(); }
    UnicodeString ClassName() const;
    // The class names from this object's class up to TObject.
    std::vector<UnicodeString> ClassHierarchy() const;
};

// Declares the class information of a TObject descendant:
//   class TFoo : public TBar { SP_CLASS(TFoo, TBar) ... };
#define SP_CLASS(Name, ParentName)                                                                 \
public:                                                                                            \
    static const TClassInfo& StaticClass() {                                                       \
        static const TClassInfo LInfo{#Name, &ParentName::StaticClass()};                          \
        return LInfo;                                                                              \
    }                                                                                              \
    const TClassInfo& ClassType() const override {                                                 \
        return StaticClass();                                                                      \
    }                                                                                              \
                                                                                                   \
private:

class Exception : public TObject, public std::exception {
    SP_CLASS(Exception, TObject)
public:
    explicit Exception(UnicodeString AMessage);
    const UnicodeString& Message() const { return FMessage; }
    const char* what() const noexcept override { return FWhat.c_str(); }

private:
    UnicodeString FMessage;
    std::string FWhat;
};

class EConvertError : public Exception {
    SP_CLASS(EConvertError, Exception)
public:
    using Exception::Exception;
};

// Wraps a foreign exception (std::exception or unknown) so that it can be
// handed to code that takes an Exception.
class EExternal : public Exception {
    SP_CLASS(EExternal, Exception)
public:
    using Exception::Exception;
};
