#pragma once

#include <cstddef>

// Where a run finds Winpack's files and keeps its own.
namespace run {

inline constexpr char kMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.TXT";
inline constexpr char kNewMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.TMP";
/// The second name a list being replaced gets, so that what is written to it in the instant of
/// its replacement is found and carried over; the other serves while one is still in use.
/// Both stand beside the file MARKED.TXT names.
inline constexpr char kOldMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.WAS";
inline constexpr char kOtherOldMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.WA2";
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
/// Bulletins whose copies are made durable together before they go to the trash.
inline constexpr std::size_t kBatchSize = 512;

}  // namespace run
