#pragma once

// The program's own words for failures that both systems find, so that a message reads the
// same whichever system wrote it; only the system's own reasons differ.
namespace platform::words {

inline constexpr char kUnmappable[] = "not a name of a file of drive C:";
inline constexpr char kNotOrdinary[] = "not an ordinary file";
inline constexpr char kOffDrive[] = "it is a link to a file off drive C:";
inline constexpr char kHardLinked[] = "the file has other names (hard links)";
inline constexpr char kTrashNotDurable[] =
    "not sent to the trash: what the run wrote could not be made durable: ";
inline constexpr char kTrashRefused[] = "the trash refused it";
inline constexpr char kTrashRecordNotDurable[] =
    "in the trash, but its record there could not be made durable: ";

}  // namespace platform::words
