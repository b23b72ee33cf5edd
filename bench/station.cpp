#include "bench/station.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace bench {
namespace {

const char* const kGroups[20] = {"ARES", "WX",    "KEPS", "DX",   "ALL", "TECH",  "NEWS",
                                 "SAT",  "APRS",  "4X4",  "SALE", "EME", "QRP",   "CW",
                                 "FT8",  "LINUX", "RSGB", "VHF",  "HF",  "CONTST"};

void Put(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Number(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%06d", n);
  return text;
}

}  // namespace

std::vector<std::string> SelectedGroups() { return {kGroups, kGroups + 10}; }

void MakeStation(const std::string& prefix, int lines, unsigned seed) {
  std::mt19937 random(seed);
  const fs::path wp = fs::path(prefix) / "drive_c/Winpack";
  fs::create_directories(wp / "Bulls");
  fs::create_directories(wp / "Archive/Bulls");
  for (int d = 0; d < 10; ++d) fs::create_directories(wp / "Bulls" / std::to_string(d));

  const int first = 100000;
  const int last = first + lines - 1;
  Put(wp / "Bulls/Lastnum.txt", std::to_string(last) + "\r\n");
  // About the last 5 % of the list lies past the limit.
  Put(wp / "Packet.ini",
      "[Settings]\r\nMYCALL=PA3XYZ\r\nPRUNE_SIZE=" + std::to_string(lines / 20) + "\r\n");
  std::string ini =
      "#Kelvaron.INI file. In this file are groupnames from Winpack that are moved.\r\n"
      "[Kelvaron]\r\n";
  for (const auto& g : SelectedGroups()) ini += g + "\r\n";
  Put(wp / "Kelvaron.INI", ini);

  // Group folders already full of earlier archive files; one of them in Winpack's capitals.
  for (int g = 0; g < 10; ++g) {
    std::string folder = kGroups[g];
    for (std::size_t i = 1; g != 0 && i < folder.size(); ++i) {
      folder[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(folder[i])));
    }
    const fs::path dir = wp / "Archive/Bulls" / folder;
    fs::create_directories(dir);
    for (int day = 1; day <= 6; ++day) {
      for (int seq = 1; seq <= 1660; ++seq) {
        char name[32];
        std::snprintf(name, sizeof name, "2612%02d%02d.TXT", day, seq);
        Put(dir / name, "archived earlier\r\n");
      }
    }
    for (int seq = 1; seq <= 40; ++seq) {
      char name[32];
      std::snprintf(name, sizeof name, "%s%02d.TXT", kStamp, seq);
      Put(dir / name, "archived earlier today\r\n");
    }
  }

  std::uniform_int_distribution<int> size(1024, 8192);
  std::uniform_int_distribution<int> group(0, 19);
  std::uniform_int_distribution<int> letter('a', 'z');
  std::string marked;
  for (int n = first; n <= last; ++n) {
    const std::string num = Number(n);
    const char* g = kGroups[group(random)];
    char line[64];
    std::snprintf(line, sizeof line, "%s,B,%-6s", num.c_str(), g);
    marked += std::string(line) + "\r\n";
    if (n % 50 == 7) continue;  // 2 % of the bulletins are gone
    char head[160];
    std::snprintf(head, sizeof head,
                  "R:261207/0800Z @:PI8ABC.#ZH.NLD.EURO #:%s $:%sPI8ABC\r\n"
                  "From: PA3XYZ %-6s @WW    Subject of bulletin %s\r\n\r\n",
                  num.c_str(), num.c_str(), g, num.c_str());
    std::string text = head;
    const std::size_t want = static_cast<std::size_t>(size(random));
    while (text.size() < want) {
      std::string body(60, ' ');
      for (char& c : body) c = static_cast<char>(letter(random));
      text += body + "\r\n";
    }
    text += "73 de PA3XYZ\r\n";
    Put(wp / "Bulls" / num.substr(5) / (num + ".TXT"), text);
  }
  Put(wp / "Bulls/MARKED.TXT", marked);
}

}  // namespace bench
