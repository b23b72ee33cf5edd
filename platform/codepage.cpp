#include "platform/codepage.h"

#include <algorithm>
#include <vector>

#include "platform/codepage_tables.h"

namespace platform {
namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[i]; returns its length, or 0 when it is not valid.
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& cp) {
  const auto b = static_cast<unsigned char>(text[i]);
  std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > text.size()) return 0;
  cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
  for (std::size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if ((c >> 6) != 2) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  return len;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

char32_t AsciiUpper(char32_t c) { return c >= U'a' && c <= U'z' ? c - 0x20 : c; }
char32_t AsciiLower(char32_t c) { return c >= U'A' && c <= U'Z' ? c + 0x20 : c; }

}  // namespace

const CodePage& CodePage::Known(unsigned number) {
  static const std::vector<CodePage> pages = [] {
    std::vector<CodePage> built;
    for (const tables::CodePageTable& t : tables::kCodePages) {
      CodePage page;
      page.number_ = t.number;
      for (unsigned b = 0; b < 0x80; ++b) {
        page.unicode_[b] = b;
        page.upper_[b] = static_cast<unsigned char>(AsciiUpper(b));
        page.lower_[b] = static_cast<unsigned char>(AsciiLower(b));
      }
      for (unsigned b = 0x80; b < 0x100; ++b) {
        page.unicode_[b] = t.unicode[b - 0x80];
        page.upper_[b] = t.upper[b - 0x80];
        page.lower_[b] = t.lower[b - 0x80];
      }
      built.push_back(page);
    }
    return built;
  }();
  const auto found = std::find_if(pages.begin(), pages.end(),
                                  [number](const CodePage& p) { return p.number_ == number; });
  return found != pages.end() ? *found : Known(1252);
}

CodePage CodePage::Build(unsigned number,
                         const std::function<bool(unsigned char, char32_t&)>& decode,
                         const Casing& upper, const Casing& lower) {
  CodePage page;
  page.number_ = number;
  for (unsigned b = 0; b < 0x100; ++b) {
    char32_t cp = b;
    page.unicode_[b] = b < 0x80 || decode(static_cast<unsigned char>(b), cp) ? cp : char32_t{b};
  }
  // The other case counts only when it is one of the code page's own characters: a letter
  // such as the micro sign, whose capital is Greek, keeps its case.
  const auto cased = [&page](unsigned char b, const Casing& to) {
    unsigned char other = b;
    return page.ByteOf(to(page.unicode_[b]), other) ? other : b;
  };
  // ASCII keeps ASCII's case whatever the language: Winpack's own words (PRUNE_SIZE) and the
  // device names must read the same on every system.
  for (unsigned b = 0; b < 0x80; ++b) {
    page.upper_[b] = static_cast<unsigned char>(AsciiUpper(b));
    page.lower_[b] = static_cast<unsigned char>(AsciiLower(b));
  }
  for (unsigned b = 0x80; b < 0x100; ++b) {
    page.upper_[b] = cased(static_cast<unsigned char>(b), upper);
    page.lower_[b] = cased(static_cast<unsigned char>(b), lower);
  }
  return page;
}

bool CodePage::ByteOf(char32_t cp, unsigned char& b) const {
  if (cp < 0x80) {
    b = static_cast<unsigned char>(cp);
    return unicode_[b] == cp;
  }
  const auto* found = std::find(unicode_.begin() + 0x80, unicode_.end(), cp);
  if (found == unicode_.end()) return false;
  b = static_cast<unsigned char>(found - unicode_.begin());
  return true;
}

std::string CodePage::UpperCase(std::string_view text) const {
  std::string out(text);
  for (char& c : out) c = Upper(c);
  return out;
}

std::string CodePage::LowerCase(std::string_view text) const {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

std::string CodePage::ToUtf8(std::string_view text) const {
  if (IsAscii(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) AppendUtf8(out, ToUnicode(c));
  return out;
}

std::string CodePage::FromUtf8(std::string_view utf8) const {
  if (IsAscii(utf8)) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8(utf8, i, cp);
    unsigned char b = '?';
    if (len == 0) {
      ++i;
    } else {
      i += len;
      if (!ByteOf(cp, b)) b = '?';
    }
    out += static_cast<char>(b);
  }
  return out;
}

std::string CodePage::FoldedName(std::string_view utf8Name) const {
  // In one pass for the usual name, all ASCII: a listed folder holds thousands.
  std::string out(utf8Name);
  for (char& c : out) {
    if ((c & 0x80) != 0) return FoldedUnicode(utf8Name);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string CodePage::FoldedUnicode(std::string_view utf8Name) const {
  std::string out;
  out.reserve(utf8Name.size());
  for (std::size_t i = 0; i < utf8Name.size();) {
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8(utf8Name, i, cp);
    if (len == 0) {
      out += utf8Name[i++];
      continue;
    }
    unsigned char b = 0;
    AppendUtf8(out, ByteOf(cp, b) ? unicode_[lower_[b]] : cp);
    i += len;
  }
  return out;
}

unsigned RecordedAnsiCodePage(std::string_view systemReg) {
  constexpr std::string_view kKey = "[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage]";
  constexpr std::string_view kValue = "\"ACP\"=\"";
  bool inKey = false;
  for (std::size_t start = 0; start < systemReg.size();) {
    std::size_t end = systemReg.find('\n', start);
    if (end == std::string_view::npos) end = systemReg.size();
    std::string_view line = systemReg.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with('[')) {
      // Wine writes key names as Windows spells them; Windows takes them without case.
      inKey = line.size() >= kKey.size() &&
              CodePage::Known(1252).UpperCase(line.substr(0, kKey.size())) ==
                  CodePage::Known(1252).UpperCase(kKey);
      continue;
    }
    if (!inKey || !line.starts_with(kValue)) continue;
    line.remove_prefix(kValue.size());
    unsigned number = 0;
    std::size_t digits = 0;
    for (; digits < line.size() && digits < 5 && line[digits] >= '0' && line[digits] <= '9';
         ++digits) {
      number = number * 10 + static_cast<unsigned>(line[digits] - '0');
    }
    return digits > 0 && digits < line.size() && line[digits] == '"' ? number : 0;
  }
  return 0;
}

char UpperChar(char c) { return SystemCodePage().Upper(c); }
char LowerChar(char c) { return SystemCodePage().Lower(c); }
std::string UpperCase(std::string_view text) { return SystemCodePage().UpperCase(text); }
std::string LowerCase(std::string_view text) { return SystemCodePage().LowerCase(text); }
std::string AnsiToUtf8(std::string_view text) { return SystemCodePage().ToUtf8(text); }
std::string Utf8ToAnsi(std::string_view utf8) { return SystemCodePage().FromUtf8(utf8); }
std::string FoldedName(std::string_view utf8Name) { return SystemCodePage().FoldedName(utf8Name); }

}  // namespace platform
