#pragma once

#include <filesystem>
#include <string>
#include <utility>

#include "tests/station.h"

// What the test station does differently on each system.
namespace test::system {

/// Host path of a path below drive_c of a station on the host's disk.
std::string Host(const Station& st, const std::string& rel);

/// The folder a snapshot reads the drive's files from, and what its keys begin with, so that
/// both systems name a file "drive_c/Winpack/...".
std::pair<std::string, std::string> DriveFiles(const Station& st);

/// A trash record's Path= as the station names the file.
std::string TrashOrigin(const std::string& path);

/// Where to try what the stations' drive can do (links): the drive of the stations.
std::filesystem::path ProbeFolder();

}  // namespace test::system

namespace test {

/// A file's whole content.
std::string Slurp(const std::filesystem::path& path);

}  // namespace test
