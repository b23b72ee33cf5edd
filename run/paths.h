#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "platform/winpack_paths.h"

// What a run reads and writes, by the names of platform/winpack_paths.h.
namespace run {

using winpack::kArchiveRoot;
using winpack::kBulls;
using winpack::kJournal;
using winpack::kLastNumFile;
using winpack::kMarkedList;
using winpack::kNewJournal;
using winpack::kNewMarkedList;
using winpack::kOldMarkedList;
using winpack::kOtherOldMarkedList;
using winpack::kPacketIni;
using winpack::kRunLock;
using winpack::kStaging;

/// Ends the name of a staged copy set aside for the user; such a copy is never removed.
inline constexpr char kKept[] = ".kept";
/// Every name the program may create in Winpack's tree beside the group folders and their
/// archive files, in Winpack's folder or in the archive's: what an operator is told of.
inline constexpr std::array<std::string_view, 10> kNamesCreated = {kNewMarkedList,
                                                                   kOldMarkedList,
                                                                   kOtherOldMarkedList,
                                                                   kRunLock,
                                                                   kJournal,
                                                                   kNewJournal,
                                                                   kStaging,
                                                                   kKept,
                                                                   winpack::kParamFile,
                                                                   winpack::kNewParamFile};
/// Bulletins whose copies are made durable together before they go to the trash.
inline constexpr std::size_t kBatchSize = 512;

}  // namespace run
