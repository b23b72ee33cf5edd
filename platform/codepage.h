#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

// Winpack's files and names are in the system's 8-bit code page, Windows' "ANSI" code page;
// these helpers keep that text as bytes and convert only where the host needs UTF-8.
namespace platform {

/// An 8-bit Windows code page: what each byte stands for, and each byte's upper and lower
/// case. A letter whose other case the code page cannot hold keeps its case.
class CodePage {
 public:
  /// Maps one character of the code page to its case; the system's own rules on Windows.
  using Casing = std::function<char32_t(char32_t)>;

  /// The code page of the given number that Kelvaron carries (1250 to 1258); Windows-1252
  /// for any other number.
  static const CodePage& Known(unsigned number);
  /// A code page built from what a byte stands for (`decode`: false for a byte that has no
  /// character of its own, which then stands for the control of its value) and its cases.
  static CodePage Build(unsigned number,
                        const std::function<bool(unsigned char, char32_t&)>& decode,
                        const Casing& upper, const Casing& lower);

  unsigned Number() const { return number_; }
  char Upper(char c) const { return static_cast<char>(upper_[static_cast<unsigned char>(c)]); }
  char Lower(char c) const { return static_cast<char>(lower_[static_cast<unsigned char>(c)]); }
  std::string UpperCase(std::string_view text) const;
  std::string LowerCase(std::string_view text) const;
  char32_t ToUnicode(char c) const { return unicode_[static_cast<unsigned char>(c)]; }

  /// The code page's bytes to UTF-8.
  std::string ToUtf8(std::string_view text) const;
  /// UTF-8 (the host's texts, such as its error messages) to the code page; what the code
  /// page cannot hold, and bytes that are not valid UTF-8, become "?".
  std::string FromUtf8(std::string_view utf8) const;
  /// A key under which two host (UTF-8) names are equal when Windows would take them for the
  /// same name: letters of the code page compare without case. Bytes that are not valid
  /// UTF-8 are kept as they are.
  std::string FoldedName(std::string_view utf8Name) const;

 private:
  CodePage() = default;
  bool ByteOf(char32_t cp, unsigned char& b) const;
  std::string FoldedUnicode(std::string_view utf8Name) const;

  unsigned number_ = 0;
  std::array<char32_t, 256> unicode_{};
  std::array<unsigned char, 256> upper_{};
  std::array<unsigned char, 256> lower_{};
};

/// The code page of the system's 8-bit text: on Windows the system's ANSI code page; on
/// Linux the one the Wine prefix's Windows records (its registry's `Nls\CodePage` "ACP"),
/// Windows-1252 when the prefix records none. A Windows process learns its code page once, at
/// its start; off Windows it is learned once for each prefix the process is pointed at.
const CodePage& SystemCodePage();

/// The ANSI code page that a Wine prefix's machine registry (its `system.reg`) records under
/// `System\CurrentControlSet\Control\Nls\CodePage` as "ACP"; 0 when it records none.
unsigned RecordedAnsiCodePage(std::string_view systemReg);

/// The case of the system's code page.
char UpperChar(char c);
char LowerChar(char c);
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);

/// The system code page's bytes to UTF-8, and back (see CodePage).
std::string AnsiToUtf8(std::string_view text);
std::string Utf8ToAnsi(std::string_view utf8);
std::string FoldedName(std::string_view utf8Name);

}  // namespace platform
