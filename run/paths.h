#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "settings/selection.h"

// Where a run finds Winpack's files and keeps its own.
namespace run {

inline constexpr char kMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.TXT";
inline constexpr char kNewMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.TMP";
/// A second name of the list being replaced, where an open file cannot be: what is written to
/// it in the instant of its replacement is carried over from there.
inline constexpr char kOldMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.WAS";
inline constexpr char kLastNumFile[] = "C:\\Winpack\\Bulls\\Lastnum.txt";
inline constexpr char kPacketIni[] = "C:\\Winpack\\Packet.ini";
inline constexpr char kBulls[] = "C:\\Winpack\\Bulls";
inline constexpr char kArchiveRoot[] = "C:\\Winpack\\Archive\\Bulls";
/// Held for the whole of a run: a second run is refused while it is.
inline constexpr char kRunLock[] = "C:\\Winpack\\BULLS\\MARKED.LCK";
/// The trace of bulletins on their way: for each, its archive file, written through before
/// the bulletin leaves Winpack's folder and removed once the new marked list is in place.
inline constexpr char kJournal[] = "C:\\Winpack\\BULLS\\MARKED.JNL";
/// A journal being rewritten; it takes the journal's name once it is whole.
inline constexpr char kNewJournal[] = "C:\\Winpack\\BULLS\\MARKED.JNW";
/// Where archive copies are written before they get their final name (no group folder can
/// bear this name: group names have at most six characters).
inline constexpr char kStaging[] = "C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp";
/// Ends the name of a staged copy set aside for the user; such a copy is never removed.
inline constexpr char kKept[] = ".kept";
/// Every name the program may create in Winpack's tree beside the group folders and their
/// archive files, in Winpack's folder or in the archive's: what an operator is told of.
inline constexpr std::array<std::string_view, 9> kNamesCreated = {
    kNewMarkedList,       kOldMarkedList,         kRunLock, kJournal, kNewJournal, kStaging, kKept,
    settings::kParamFile, settings::kNewParamFile};
/// Bulletins whose copies are made durable together before they go to the trash.
inline constexpr std::size_t kBatchSize = 512;

}  // namespace run
