// Text inside the system is UTF-16; 8-bit "ANSI" text only where asked for.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

using UnicodeString = std::u16string;
using AnsiString = std::string;

// UTF-8 <-> UTF-16. Invalid UTF-8 bytes become U+FFFD; a byte-order mark is kept
// (callers that read files skip it themselves).
UnicodeString Utf8ToUnicode(std::string_view AText);
std::string UnicodeToUtf8(std::u16string_view AText);

// UTF-16 <-> the system's 8-bit code page. Characters that the code page
// cannot hold become "?". Backend per platform.
AnsiString UnicodeToAnsi(std::u16string_view AText);
UnicodeString AnsiToUnicode(std::string_view AText);

// One argument of Format.
using TFormatArg = std::variant<UnicodeString, long long, unsigned long long, double>;

// The format rule set: "%s" text, "%d" decimal integer, "%f" fixed point with
// two decimals, "%%" a percent sign. A directive without a matching argument
// (or of the wrong kind) is copied literally; surplus arguments are ignored.
UnicodeString Format(std::u16string_view AFormat, std::initializer_list<TFormatArg> AArgs);

UnicodeString IntToStr(long long AValue);
UnicodeString UIntToStr(unsigned long long AValue);

// Fixed point with two decimals, as "%f".
UnicodeString FloatToStrF2(double AValue);

// General format: up to 15 significant digits, no trailing zeros, no thousands
// separator, ADecimalSeparator between integer and fraction; scientific
// notation only below 0.00001 or with more than 15 integer digits.
UnicodeString FloatToStr(double AValue, char16_t ADecimalSeparator = u'.');

// The locale's decimal separator (a point where the locale says nothing).
char16_t LocaleDecimalSeparator();

// Decimal integer with optional sign; throws EConvertError otherwise.
long long StrToInt(std::u16string_view AText);
// As StrToInt, but returns false instead of throwing.
bool TryStrToInt(std::u16string_view AText, long long& AValue);

UnicodeString UpperCase(std::u16string_view AText);          // ASCII letters only
bool SameText(std::u16string_view A, std::u16string_view B); // ASCII case-insensitive
