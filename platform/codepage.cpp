#include "platform/codepage.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace platform {
namespace {

// Unicode code points of bytes 0x80 to 0x9F; the others equal their byte value.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t ToCodePoint(unsigned char b) {
  return (b >= 0x80 && b < 0xA0) ? kHighControls[b - 0x80] : char32_t{b};
}

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

// Lower case of the code points that Windows-1252 can hold; all others stay.
char32_t LowerCodePoint(char32_t cp) {
  if ((cp >= U'A' && cp <= U'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)) return cp + 0x20;
  switch (cp) {
    case 0x160:
      return 0x161;
    case 0x152:
      return 0x153;
    case 0x17D:
      return 0x17E;
    case 0x178:
      return 0xFF;
    default:
      return cp;
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

}  // namespace

char UpperChar(char c) {
  const auto b = static_cast<unsigned char>(c);
  if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) {
    return static_cast<char>(b - 0x20);
  }
  switch (b) {
    case 0x9A:
      return static_cast<char>(0x8A);
    case 0x9C:
      return static_cast<char>(0x8C);
    case 0x9E:
      return static_cast<char>(0x8E);
    case 0xFF:
      return static_cast<char>(0x9F);
    default:
      return c;
  }
}

char LowerChar(char c) {
  const auto b = static_cast<unsigned char>(c);
  if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
    return static_cast<char>(b + 0x20);
  }
  switch (b) {
    case 0x8A:
      return static_cast<char>(0x9A);
    case 0x8C:
      return static_cast<char>(0x9C);
    case 0x8E:
      return static_cast<char>(0x9E);
    case 0x9F:
      return static_cast<char>(0xFF);
    default:
      return c;
  }
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperChar(c);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) AppendUtf8(out, ToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8(utf8, i, cp);
    if (len == 0) {
      out += '?';
      ++i;
      continue;
    }
    i += len;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    const auto* high = std::find(kHighControls.begin(), kHighControls.end(), cp);
    out += high != kHighControls.end() ? static_cast<char>(0x80 + (high - kHighControls.begin()))
                                       : '?';
  }
  return out;
}

std::string FoldedName(std::string_view utf8Name) {
  if (std::all_of(utf8Name.begin(), utf8Name.end(), [](char c) { return (c & 0x80) == 0; })) {
    std::string out(utf8Name);
    for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
    return out;
  }
  std::string out;
  out.reserve(utf8Name.size());
  for (std::size_t i = 0; i < utf8Name.size();) {
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8(utf8Name, i, cp);
    if (len == 0) {
      out += utf8Name[i++];
      continue;
    }
    AppendUtf8(out, LowerCodePoint(cp));
    i += len;
  }
  return out;
}

}  // namespace platform
