#pragma once

// Where Winpack keeps its files on drive C:, and where Kelvaron keeps its own beside them:
// every part of the program names them from here.
namespace winpack {

inline constexpr char kBulls[] = "C:\\Winpack\\Bulls";
inline constexpr char kMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.TXT";
inline constexpr char kLastNumFile[] = "C:\\Winpack\\Bulls\\Lastnum.txt";
inline constexpr char kPacketIni[] = "C:\\Winpack\\Packet.ini";
/// Winpack's own selection of groups, read when Kelvaron.INI says "Select".
inline constexpr char kSelectFile[] = "C:\\Winpack\\Bulls\\Select.TXT";
inline constexpr char kArchiveRoot[] = "C:\\Winpack\\Archive\\Bulls";

/// Kelvaron's settings file: the groups it moves.
inline constexpr char kParamFile[] = "C:\\Winpack\\Kelvaron.INI";
/// Where the default Kelvaron.INI is written before it takes its name.
inline constexpr char kNewParamFile[] = "C:\\Winpack\\Kelvaron.NEW";

inline constexpr char kNewMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.TMP";
/// The second name a list being replaced gets, so that what is written to it in the instant of
/// its replacement is found and carried over; the other serves while one is still in use.
/// Both stand beside the file MARKED.TXT names.
inline constexpr char kOldMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.WAS";
inline constexpr char kOtherOldMarkedList[] = "C:\\Winpack\\BULLS\\MARKED.WA2";
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

}  // namespace winpack
