#pragma once

#include <string>
#include <string_view>

// Winpack's files and names are in the Windows-1252 code page; these helpers keep
// that text as bytes and convert only where the host needs UTF-8.
namespace platform {

char UpperChar(char c);
char LowerChar(char c);
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);

/// Windows-1252 bytes to UTF-8; the five unassigned bytes map to the C1 controls, as Windows does.
std::string Cp1252ToUtf8(std::string_view text);

/// UTF-8 (the host's texts, such as its error messages) to Windows-1252; what the code page
/// cannot hold, and bytes that are not valid UTF-8, become "?".
std::string Utf8ToCp1252(std::string_view utf8);

/// A key under which two host (UTF-8) names are equal when Windows would take them for the
/// same name: letters of the code page compare without case. Bytes that are not valid UTF-8
/// are kept as they are.
std::string FoldedName(std::string_view utf8Name);

}  // namespace platform
