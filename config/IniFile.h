// The system's own INI reader.
//
// The file is UTF-8, or UTF-16 (little or big endian) after its byte-order
// mark; a UTF-8 byte-order mark is skipped and invalid bytes become U+FFFD.
// At most CMaxIniFileBytes are read. Lines end in LF, CR LF or a lone CR. On
// each line:
// - blanks (spaces and tabs) at both ends are dropped; an empty line is skipped;
// - a line starting with ";" or "#" is a comment;
// - "[Name]" opens the section Name (blanks inside the brackets trimmed, text
//   after "]" ignored); a "[" line without "]" is malformed and the keys after
//   it are ignored until the next good section line;
// - "Key=Value" sets a key of the current section: the key is the text before
//   the first "=", the value the text after it, each trimmed of blanks. A value
//   enclosed in a matching pair of double or single quotes loses that one pair
//   (blanks inside the quotes are kept); any other quote is part of the value.
//   No inline comments: "10 ; note" is the value as written;
// - lines without "=", with an empty key, or before any section are ignored.
// Section and key names match without regard to ASCII letter case. A section
// that appears twice is one section; of a key set twice the first one wins.
// Values are cut to CMaxIniValueLength characters.
#pragma once

#include "platform/Object.h"
#include "platform/Text.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string_view>

inline constexpr size_t CMaxIniValueLength = 2047;
// An INI file is small; what lies beyond this is not read (and not edited).
inline constexpr size_t CMaxIniFileBytes = 1024 * 1024;

// Called once for each key line, in file order, with the value untruncated.
using TIniEntryProc = std::function<void(std::u16string_view ASection, std::u16string_view AKey,
                                         std::u16string_view AValue)>;

// Parses INI text (a leading U+FEFF is skipped).
void ParseIniText(std::u16string_view AText, const TIniEntryProc& AOnEntry);

enum class TIniEncoding : uint8_t { ieUtf8, ieUtf16LE, ieUtf16BE };

// What the first bytes announce: FF FE UTF-16 LE, FE FF UTF-16 BE, anything
// else (EF BB BF or no mark) UTF-8.
TIniEncoding IniEncodingOf(std::string_view ABytes);
// UTF-16 bytes as code units and back, each unit kept as it is (the
// byte-order mark included); an odd last byte is dropped.
std::u16string Utf16OfBytes(std::string_view ABytes, bool ABigEndian);
std::string BytesOfUtf16(std::u16string_view AText, bool ABigEndian);

// What is wrong with the bytes of an INI file as text of their encoding.
struct TIniTextFault {
    // Not text of that encoding at all (a NUL, as UTF-16 without its mark
    // has; half a UTF-16 code unit): an edit could not keep it as it is.
    bool NotText = false;
    std::string What; // empty when the text is sound
};
TIniTextFault CheckIniBytes(std::string_view ABytes);

// Decodes the bytes of an INI file: BOM skipped, UTF-8 or UTF-16 to UTF-16.
UnicodeString DecodeIniBytes(std::string_view ABytes);

// Profile access by section and key.
class TCustomIniFile : public TObject {
    SP_CLASS(TCustomIniFile, TObject)
public:
    // The key's value, at most CMaxIniValueLength characters; ADefault when the
    // section or key is missing. A present key with an empty value gives "".
    virtual UnicodeString ReadString(std::u16string_view ASection, std::u16string_view AKey,
                                     const UnicodeString& ADefault) const = 0;
    // "0x"/"0X" and more: hexadecimal, at most eight digits, read as a 32-bit
    // pattern (0xFFFFFFFF is -1). Otherwise a decimal integer with an optional
    // sign in the 32-bit range. Anything else, empty text included, gives ADefault.
    int32_t ReadInteger(std::u16string_view ASection, std::u16string_view AKey,
                        int32_t ADefault) const;
    // What was wrong with the file as read, for the log; empty when nothing.
    virtual UnicodeString Problem() const { return {}; }
};

// Parses an integer as ReadInteger does; false for text that is none.
bool TryParseIniInteger(std::u16string_view AText, int32_t& AValue);

class TIniFile : public TCustomIniFile {
    SP_CLASS(TIniFile, TCustomIniFile)
public:
    // Empty profile.
    TIniFile() = default;
    // Reads the file now, at most CMaxIniFileBytes of it (up to the last
    // whole line). Never fails because of the file: a missing, unreadable or
    // non-regular file gives an empty profile; all but a missing one, a
    // file cut short and text that is not sound say so in Problem.
    explicit TIniFile(const std::filesystem::path& AFileName);

    // Adds the entries of INI text (first occurrence still wins).
    void LoadFromText(std::u16string_view AText);

    UnicodeString ReadString(std::u16string_view ASection, std::u16string_view AKey,
                             const UnicodeString& ADefault) const override;
    UnicodeString Problem() const override { return FProblem; }

private:
    UnicodeString FProblem;
    // Section and key are stored upper-cased.
    std::map<UnicodeString, std::map<UnicodeString, UnicodeString>> FSections;
};
